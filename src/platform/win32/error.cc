#include "platform/win32/error.h"

#include <windows.h>

namespace sccevtmon {

std::string win32Message(std::uint32_t code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
      nullptr);
  std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  return message;
}

Status runtimeErrorFromWin32(std::uint32_t code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return runtimeError(kErrFileNotFound);
    case ERROR_PATH_NOT_FOUND:
      return runtimeError(kErrPathNotFound);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return runtimeError(kErrPermissionDenied);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return runtimeError(kErrFileExists);
    case ERROR_DISK_FULL:
      return runtimeError(kErrDiskFull);
    case ERROR_INVALID_NAME:
      return runtimeError(kErrBadFileName);
    default:
      return runtimeError(kErrDeviceIo);
  }
}

Status win32Error(std::uint32_t code) {
  std::string message = win32Message(code);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return Status{static_cast<long>(code), message, ErrorDomain::kSystem};
}

}  // namespace sccevtmon
