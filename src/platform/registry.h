#pragma once

#include <cstdint>
#include <string>

#include "util/status.h"

namespace sccevtmon {

// Read-only access to the Windows registry, shaped like the Win32 calls the monitor makes.
// Failures carry Windows system codes (ErrorDomain::kSystem: kErrorFileNotFound,
// kErrorMoreData, ...).

enum class RegistryRoot { kLocalMachine, kCurrentUser, kClassesRoot, kUsers, kCurrentConfig };

inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// An open key; 0 is no key.
using RegistryKey = std::uint64_t;

// Hands a value's bytes out as RegQueryValueEx does: with data null only *size is set;
// otherwise *size is the capacity on entry, kErrorMoreData when too small, and on success the
// bytes are copied to the start of data and *size is their count.
Status copyRegistryData(const std::string& bytes, std::string* data, std::uint32_t* size);

class Registry {
 public:
  virtual ~Registry() = default;

  // Opens root\subKey with the access mask (kKeyRead plus an optional view flag). The 32-bit
  // view (no flag or kKeyWow64_32Key) redirects SOFTWARE\X of HKEY_LOCAL_MACHINE to
  // SOFTWARE\WOW6432Node\X, as for a 32-bit process on 64-bit Windows.
  virtual Status openKey(RegistryRoot root, const std::string& subKey, std::uint32_t access,
                         RegistryKey* key) = 0;

  // Queries a value of an open key, as RegQueryValueExA does. *type receives the value type.
  // With data null, only *size is set (the data size in bytes). Otherwise *size is the buffer
  // capacity on entry: when it is too small the result is kErrorMoreData and *size the size
  // needed; on success data holds the bytes (text values as ANSI with their NUL) and *size
  // their count. A missing value gives kErrorFileNotFound.
  virtual Status queryValue(RegistryKey key, const std::string& name, std::uint32_t* type,
                            std::string* data, std::uint32_t* size) = 0;

  virtual void closeKey(RegistryKey key) = 0;

  // Why the registry cannot be read at all (a missing or malformed registry file on the
  // portable build), as one line without the program-name prefix; empty when it can be read.
  virtual std::string unavailableReason() const { return {}; }
  // Where the registry is read from, for texts an operator reads ("registry file PATH" on the
  // portable build); empty for the system's own registry.
  virtual std::string sourceName() const { return {}; }
};

}  // namespace sccevtmon
