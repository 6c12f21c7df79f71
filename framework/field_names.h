#pragma once
// Field lookup by name, as stores compare field names: without regard to case.

#include <string>
#include <vector>

#include "framework/host_operations.h"

namespace ondu {

/// The index of the first of `fields` named `name`, compared without regard to case; -1 when
/// none is. Shared by the tables of every host.
int findFieldByName(const std::vector<Field>& fields, const std::string& name);

}  // namespace ondu
