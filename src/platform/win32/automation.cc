#include "platform/win32/automation.h"

#include <objbase.h>

#include "platform/win32/error.h"

namespace sccevtmon {
namespace {

// The texts of the numbers above, as the classic runtime words them.
std::string textOf(long number) {
  switch (number) {
    case kErrDllLoad:
      return "Error in loading DLL";
    case kErrInvalidUseOfNull:
      return "Invalid use of Null";
    case kErrNoAutomation:
      return "Class does not support Automation or does not support expected interface";
    case kErrNoSuchMember:
      return "Object doesn't support this property or method";
    case kErrArgumentMissing:
      return "Argument not optional";
    case kErrArgumentCount:
      return "Wrong number of arguments or invalid property assignment";
    case kErrDllEntryPoint:
      return "Specified DLL function not found";
    default:
      return runtimeErrorText(number);
  }
}

Status numbered(long number) { return Status{number, textOf(number)}; }

}  // namespace

Bstr::Bstr(const std::string& ansi) {
  std::wstring wide = ansiToWide(ansi);
  text_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

BSTR Bstr::release() {
  BSTR text = text_;
  text_ = nullptr;
  return text;
}

std::string Bstr::ansi() const {
  return text_ == nullptr ? std::string() : wideToAnsi(text_, SysStringLen(text_));
}

std::wstring ansiToWide(const std::string& ansi) {
  if (ansi.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
  return wide;
}

std::string wideToAnsi(const wchar_t* text, std::size_t length) {
  if (length == 0) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, "?", nullptr);
  std::string ansi(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), ansi.data(), n, "?", nullptr);
  return ansi;
}

Status variantText(const VARIANT& value, std::string* text) {
  text->clear();
  VARIANT copy;
  VariantInit(&copy);
  // A by-reference VARIANT is read through its reference.
  if (FAILED(VariantCopyInd(&copy, const_cast<VARIANT*>(&value))))
    return runtimeError(kErrTypeMismatch);
  Status status;
  if (V_VT(&copy) == VT_EMPTY || V_VT(&copy) == VT_NULL) {
    // nothing: empty text
  } else if (V_VT(&copy) == VT_BSTR || SUCCEEDED(VariantChangeTypeEx(&copy, &copy, LOCALE_INVARIANT,
                                                                     VARIANT_ALPHABOOL, VT_BSTR))) {
    *text = V_BSTR(&copy) == nullptr ? std::string()
                                     : wideToAnsi(V_BSTR(&copy), SysStringLen(V_BSTR(&copy)));
  } else {
    status = runtimeError(kErrTypeMismatch);
  }
  VariantClear(&copy);
  return status;
}

Status variantBool(const VARIANT& value, bool* result) {
  *result = false;
  VARIANT copy;
  VariantInit(&copy);
  if (FAILED(VariantCopyInd(&copy, const_cast<VARIANT*>(&value))))
    return runtimeError(kErrTypeMismatch);
  Status status;
  if (V_VT(&copy) == VT_EMPTY) {
    // false
  } else if (V_VT(&copy) == VT_NULL) {
    status = numbered(kErrInvalidUseOfNull);
  } else if (SUCCEEDED(VariantChangeTypeEx(&copy, &copy, LOCALE_INVARIANT, 0, VT_BOOL))) {
    *result = V_BOOL(&copy) != VARIANT_FALSE;
  } else {
    status = runtimeError(kErrTypeMismatch);
  }
  VariantClear(&copy);
  return status;
}

Status automationError(HRESULT hr) {
  switch (hr) {
    case CO_E_CLASSSTRING:     // 0x800401F3: the ProgID is not registered
    case REGDB_E_CLASSNOTREG:  // 0x80040154: its class is not
      return runtimeError(kErrCannotCreateObject);
    case E_OUTOFMEMORY:
      return runtimeError(kErrOutOfMemory);
    case E_NOINTERFACE:
      return numbered(kErrNoAutomation);
    case DISP_E_UNKNOWNNAME:
    case DISP_E_MEMBERNOTFOUND:
      return numbered(kErrNoSuchMember);
    case DISP_E_PARAMNOTOPTIONAL:
      return numbered(kErrArgumentMissing);
    case DISP_E_BADPARAMCOUNT:
      return numbered(kErrArgumentCount);
    case DISP_E_TYPEMISMATCH:
    case DISP_E_BADVARTYPE:
      return runtimeError(kErrTypeMismatch);
    case DISP_E_OVERFLOW:
      return runtimeError(kErrOverflow);
    case DISP_E_BADINDEX:
      return runtimeError(kErrSubscript);
    default:
      break;
  }
  // A run-time error raised inside a component built with the classic runtime.
  if (HRESULT_FACILITY(hr) == FACILITY_CONTROL && HRESULT_CODE(hr) != 0) {
    return numbered(HRESULT_CODE(hr));
  }
  std::string message = oneLine(win32Message(static_cast<std::uint32_t>(hr)));
  return Status{static_cast<long>(hr),
                message.empty() ? std::string("Automation error") : "Automation error: " + message};
}

Status initialiseCom() {
  // COM stays initialised until the process ends. A thread already in the multithreaded
  // apartment (RPC_E_CHANGED_MODE) can create the components too.
  static const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(initialised) && initialised != RPC_E_CHANGED_MODE) {
    return automationError(initialised);
  }
  return Status::success();
}

std::string oneLine(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line += text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
  }
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  return line;
}

}  // namespace sccevtmon
