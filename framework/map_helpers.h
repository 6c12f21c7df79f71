#pragma once
// maputil: the routines every dialog uses to reach the map.

namespace ondu::maputil {

/// True while the host editor ("ESRI Object Editor") is editing. A failure (no application, no
/// editor) shows the "Error in EditSession" message and answers false.
bool EditSession();

}  // namespace ondu::maputil
