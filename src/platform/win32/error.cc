#include "platform/win32/error.h"

#include <windows.h>

namespace sccevtmon {

std::string fillInserts(const std::string& text, const std::vector<std::string>& inserts) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t digits = i + 1;
    while (digits < text.size() && digits < i + 3 && text[digits] >= '0' && text[digits] <= '9') {
      ++digits;
    }
    if (text[i] != '%' || digits == i + 1 || text[i + 1] == '0') {
      out += text[i];
      continue;
    }
    std::size_t number = std::stoul(text.substr(i + 1, digits - i - 1));
    std::size_t end = digits;
    if (end < text.size() && text[end] == '!') {
      std::size_t close = text.find('!', end + 1);
      if (close != std::string::npos) end = close + 1;
    }
    if (number <= inserts.size()) {
      out += inserts[number - 1];
    } else if (!out.empty() && out.back() == ' ') {
      out.pop_back();
    } else if (out.empty() && end < text.size() && text[end] == ' ') {
      ++end;
    }
    i = end - 1;
  }
  return out;
}

std::string win32Message(std::uint32_t code, const std::vector<std::string>& inserts) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
      nullptr);
  std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  return fillInserts(message, inserts);
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
