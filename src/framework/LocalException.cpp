#include "framework/LocalException.h"

#include "framework/StringTable.h"

namespace korvex {

void RaiseError(unsigned id) { throw LocalException(LoadTextA(id)); }

void RaiseMessage(std::string text) { throw LocalException(std::move(text)); }

} // namespace korvex
