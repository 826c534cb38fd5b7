#pragma once

#include <cstdint>
#include <string>

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Computes the checksum of fileName through the checksum library: the whole-file call, and the
// block-wise call (block size from the checksum list file) when that fails. Empties
// failureReason first. Returns true when no checksum could be obtained (failureReason says
// why), false when computedChecksum holds it. Traps its own errors.
[[nodiscard]] bool fncGenerateChecksum(RunState& rs, Platform& os, const std::string& fileName,
                                       std::string& failureReason);

}  // namespace sccevtmon
