#pragma once

// What the agent's two components share on Windows: OLE Automation texts (BSTR) and VARIANTs
// to and from the monitor's ANSI text, and the run-time errors the classic runtime raises for
// failing COM and DLL calls.

#include <windows.h>
// After <windows.h>, whose types they use:
#include <oleauto.h>

#include <string>

#include "util/status.h"

namespace sccevtmon {

// Run-time error numbers of the classic runtime that only the Windows components meet.
inline constexpr long kErrDllLoad = 48;  // Error in loading DLL
inline constexpr long kErrInvalidUseOfNull = 94;
inline constexpr long kErrNoAutomation = 430;     // Class does not support Automation ...
inline constexpr long kErrNoSuchMember = 438;     // Object doesn't support this property or method
inline constexpr long kErrArgumentMissing = 449;  // Argument not optional
inline constexpr long kErrArgumentCount = 450;    // Wrong number of arguments ...
inline constexpr long kErrDllEntryPoint = 453;    // Can't find DLL entry point

// A BSTR owned by this object (freed with it). Null stands for the empty text, as Automation
// allows.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::string& ansi);
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const { return text_; }
  // The address a callee may replace the text through (by-reference arguments); the callee
  // frees what it replaces.
  BSTR* address() { return &text_; }
  // Gives the text up to the caller, who frees it.
  BSTR release();
  std::string ansi() const;

 private:
  BSTR text_ = nullptr;
};

// The monitor's ANSI text (the process's code page) as UTF-16, and back; a character the code
// page cannot hold becomes '?'.
std::wstring ansiToWide(const std::string& ansi);
std::string wideToAnsi(const wchar_t* text, std::size_t length);

// A VARIANT read as text, as the classic runtime's CStr reads it: Empty and Null give empty
// text, a number its decimal text with '.' whatever the locale; anything that cannot become a
// text gives 13 (Type mismatch).
Status variantText(const VARIANT& value, std::string* text);

// A VARIANT read as a Boolean, as CBool reads it: Empty gives false, Null 94, anything that is
// not a number or a Boolean text 13.
Status variantBool(const VARIANT& value, bool* result);

// The run-time error the classic runtime raises for a failing HRESULT: 0x800401F3 (no such
// ProgID) and 0x80040154 (class not registered) are 429; the runtime's own numbers come back
// from FACILITY_CONTROL; the dispatch errors have their numbers (438, 449, 450, 13, 6, ...);
// any other HRESULT is its own (negative) number with "Automation error" and the system's
// text for it on one line.
Status automationError(HRESULT hr);

// Once per process (the monitor has one thread): COM in a single-threaded apartment, as the
// classic runtime has it. The error when COM cannot be initialised.
Status initialiseCom();

// A text as one line: each CR LF, CR or LF becomes one space, trailing blanks dropped.
std::string oneLine(const std::string& text);

}  // namespace sccevtmon
