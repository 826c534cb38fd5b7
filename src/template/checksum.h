#pragma once

#include <cstdint>
#include <string>

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// A key of a profile file as text: mode non-zero reads it as an integer (default 0) and gives
// its decimal text; mode 0 reads it as text (default empty) through a 255-character buffer.
std::string fncGetProfileValue(Platform& os, const std::string& section, const std::string& key,
                               const std::string& file, std::int16_t mode);

// Computes the checksum of fileName through the checksum library: the whole-file call, and the
// block-wise call (block size from the checksum list file) when that fails. Empties
// failureReason first. Returns true when no checksum could be obtained (failureReason says
// why), false when computedChecksum holds it. Traps its own errors.
bool fncGenerateChecksum(RunState& rs, Platform& os, const std::string& fileName,
                         std::string& failureReason);

}  // namespace sccevtmon
