#include "platform/win32/process.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/win32/error.h"

namespace sccevtmon {

std::string ownExecutablePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

void WinProcess::hideFromTaskList() {}

std::string WinProcess::executableBaseName() {
  std::string path = ownExecutablePath();
  if (path.empty()) return "sccevtmon";
  std::string name = path.substr(path.find_last_of("\\/") + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

Status WinProcess::ownFileVersion(std::string* version) {
  std::string path = ownExecutablePath();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return win32Error(GetLastError());
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return win32Error(GetLastError());
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  char root[] = "\\";
  if (!VerQueryValueA(data.data(), root, reinterpret_cast<void**>(&info), &length) ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return win32Error(ERROR_RESOURCE_TYPE_NOT_FOUND);
  }
  *version = std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
             std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
             std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
             std::to_string(LOWORD(info->dwFileVersionLS));
  return Status::success();
}

Status WinProcess::startProcess(const std::string& commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  std::string line = commandLine;  // CreateProcessA may write into the command line
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return runtimeErrorFromWin32(GetLastError());
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return Status::success();
}

std::string WinProcess::systemMessage(long code) {
  return win32Message(static_cast<std::uint32_t>(code));
}

void WinProcess::printError(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

void WinProcess::attachConsole() {
  auto connected = [](DWORD which) {
    HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE;
  };
  bool out = connected(STD_OUTPUT_HANDLE);
  bool err = connected(STD_ERROR_HANDLE);
  if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!out) std::freopen("CONOUT$", "w", stdout);
  if (!err) std::freopen("CONOUT$", "w", stderr);
}

bool WinProcess::standardErrorIsJournal() { return false; }

// A run has no console of its own; only the operator's options attach one.
bool WinProcess::standardErrorIsTerminal() { return false; }

std::string WinProcess::helpIntroduction() {
  return "Runs the event-log monitor once for the agent named in the registry, writes its\n"
         "report files to the agent's post-logs folder and its activity log under\n"
         "ApplicationLog\\qSCCLog.\n";
}

std::string WinProcess::helpConfiguration() {
  return "Configuration:\n"
         "  The agent's identity: HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVEN (a 32-bit program reads\n"
         "  SOFTWARE\\WOW6432Node\\TORVEN on 64-bit Windows). The event logs: this computer's\n"
         "  (wevtutil el lists them); exported logs only through --replay --logs.\n";
}

}  // namespace sccevtmon
