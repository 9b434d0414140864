#pragma once

// The text of a command's menu item, a number of framework/TextIds.h.
namespace korvex {

// The text number of a command's menu item (0 when it has none).
unsigned MenuTextId(int command);

} // namespace korvex
