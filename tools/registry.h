#pragma once

#include "framework/commands.h"

namespace ondu {

/// The catalogue with every built tool registered; the others answer "not available yet".
const CommandCatalogue& toolCatalogue();

}  // namespace ondu
