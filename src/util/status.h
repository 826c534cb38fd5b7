#pragma once

#include <string>

namespace sccevtmon {

// Which numbering a Status number belongs to. The two overlap (5 is "access denied" as a
// Windows system code and "invalid procedure call" as a run-time error number), so a number
// is read only together with its domain.
enum class ErrorDomain {
  kRuntime,  // run-time error numbers: the file system, the objects, the routines
  kSystem,   // Windows system error codes: the registry
};

// The outcome of a platform call or of a routine whose errors reach its caller. Number 0 is
// success; anything else carries the number and description the monitor logs.
//
// This is how every failure travels in the monitor: platform calls and helper routines
// return a Status (nothing throws across a routine); the routines the run sequence calls keep
// their own fixed shapes (a flag, a count, a text) and trap their own errors into the run
// state and the activity log.
struct Status {
  long number = 0;
  std::string description;
  ErrorDomain domain = ErrorDomain::kRuntime;

  bool ok() const { return number == 0; }
  // Whether this is the Windows system error code.
  bool isSystemError(long code) const { return domain == ErrorDomain::kSystem && number == code; }

  static Status success() { return {}; }
  static Status systemError(long code) { return Status{code, {}, ErrorDomain::kSystem}; }
};

// Windows system error codes.
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorPathNotFound = 3;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorMoreData = 234;

// Run-time error numbers, with the texts the monitor reports for them.
inline constexpr long kErrInvalidCall = 5;
inline constexpr long kErrOverflow = 6;
inline constexpr long kErrOutOfMemory = 7;
inline constexpr long kErrSubscript = 9;
inline constexpr long kErrTypeMismatch = 13;
inline constexpr long kErrBadFileName = 52;
inline constexpr long kErrFileNotFound = 53;
inline constexpr long kErrDeviceIo = 57;
inline constexpr long kErrFileExists = 58;
inline constexpr long kErrDiskFull = 61;
inline constexpr long kErrPermissionDenied = 70;
inline constexpr long kErrPathFileAccess = 75;
inline constexpr long kErrPathNotFound = 76;
inline constexpr long kErrCannotCreateObject = 429;
inline constexpr long kErrAutomation = 440;
// The automation error for a type library that is not registered (0x8002801D).
inline constexpr long kErrTypeLibNotRegistered = -2147319779L;

// The standard text of a run-time error number ("Overflow" for 6); "Automation error" for a
// number without one of its own.
std::string runtimeErrorText(long number);

// A Status carrying a run-time error number and its standard text.
Status runtimeError(long number);

}  // namespace sccevtmon
