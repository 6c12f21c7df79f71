#pragma once
// Whether the host's editor is editing: asked by the commands that need an open edit session
// and by the map helpers.

namespace ondu {

/// True while the host editor ("ESRI Object Editor") is editing. A failure (no application, no
/// editor) shows the map-style message for "EditSession" and answers false.
bool editSessionOpen();

}  // namespace ondu
