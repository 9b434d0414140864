#pragma once

#include "framework/StopEvent.h"

#include <cstdint>

namespace korvex {

// Whether an SSH server answers on a fresh connection (its version line
// arrives) within `timeout_ms`; a stop request ends the wait with false.
// Asked of a device that was restarted and was not heard from again.
bool SshServerAnswers(uint32_t networkAddress, uint16_t port, unsigned timeout_ms, const StopEvent& stop);

} // namespace korvex
