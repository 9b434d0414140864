#pragma once

#include "composer/Composer.h"

#include <optional>

namespace korvex {

// The editing operation composer menu item `id` (a ComposerCommand) stands
// for; none for any other id.
std::optional<ComposerOp> ComposerOpOfCommand(unsigned id);

} // namespace korvex
