#pragma once

#include <cstdint>
#include <string>

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Reads the agent identity from HKEY_LOCAL_MACHINE\subKey (opened with KEY_READ alone, so the
// 32-bit view) into installPath, memberId, siteId, regId, agentType and expectedChecksum. A
// non-blank installPath gets a trailing '\'. True when the identity is complete: installPath
// not blank and regId, memberId and siteId all read as non-zero numbers. Logs nothing.
bool fncGetRegInfo(RunState& rs, Platform& os, const std::string& subKey);

// The text of one REG_SZ value of an open key, cut at its first NUL; empty text for a missing
// value, another type or a failed query.
std::string fncQueryRegString(Platform& os, RegistryKey key, const std::string& name);

// Opens root\subKey by itself (64-bit view, then 32-bit view, then no flag) and returns one
// value as text: type 1 (REG_SZ) as stored without its NUL, type 4 (REG_DWORD) as signed
// decimal. Empty text when the key or value cannot be read or for any other type.
std::string fncReadRegValue(Platform& os, RegistryRoot root, const std::string& subKey,
                            const std::string& valueName, std::int16_t valueType);

// The text up to, not including, its first NUL.
std::string fncStripAtNull(const std::string& text);

// The system's message for an error code given as decimal text, in a 200-character buffer
// filled with spaces (the message, its NUL and the remaining spaces, nothing cut off).
std::string fncFormatMessage(Platform& os, const std::string& code);

}  // namespace sccevtmon
