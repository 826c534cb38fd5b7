#include "platform/win32/file_system.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/error.h"

namespace sccevtmon {
namespace {

Status lastError() { return runtimeErrorFromWin32(GetLastError()); }

// The attributes of a path, or nothing (INVALID_FILE_ATTRIBUTES) when it does not exist.
DWORD attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

bool isFolder(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY); }
bool isFile(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY); }

class WinTextStream : public TextStream {
 public:
  explicit WinTextStream(HANDLE file) : file_(file) {}
  ~WinTextStream() override { close(); }

  Status writeLine(const std::string& text) override {
    Status s = write(text);
    return s.ok() ? write("\r\n") : s;
  }

  Status write(const std::string& text) override {
    if (file_ == INVALID_HANDLE_VALUE) return runtimeError(kErrBadFileName);
    size_t done = 0;
    while (done < text.size()) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 30));
      DWORD written = 0;
      if (!WriteFile(file_, text.data() + done, chunk, &written, nullptr)) return lastError();
      done += written;
    }
    return Status::success();
  }

  Status close() override {
    if (file_ == INVALID_HANDLE_VALUE) return Status::success();
    BOOL closed = CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    return closed ? Status::success() : lastError();
  }

 private:
  HANDLE file_;
};

// Opens a text file for writing; a folder of that name is a path/file access error, as on the
// portable build.
Status openStream(const std::string& path, DWORD access, DWORD disposition,
                  std::unique_ptr<TextStream>* stream) {
  if (isFolder(attributes(path))) return runtimeError(kErrPathFileAccess);
  HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lastError();
  *stream = std::make_unique<WinTextStream>(file);
  return Status::success();
}

}  // namespace

bool WinFileSystem::folderExists(const std::string& path) { return isFolder(attributes(path)); }

Status WinFileSystem::createFolder(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) ? Status::success() : lastError();
}

bool WinFileSystem::fileExists(const std::string& path) { return isFile(attributes(path)); }

Status WinFileSystem::fileSize(const std::string& path, std::uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return runtimeError(kErrFileNotFound);
  }
  *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return Status::success();
}

Status WinFileSystem::readFile(const std::string& path, std::string* bytes) {
  DWORD a = attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return runtimeErrorFromWin32(error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error);
  }
  if (isFolder(a)) return runtimeError(kErrPathFileAccess);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lastError();
  bytes->clear();
  char buffer[65536];
  Status result;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
      result = lastError();
      break;
    }
    if (n == 0) break;
    bytes->append(buffer, n);
  }
  CloseHandle(file);
  return result;
}

Status WinFileSystem::createTextFile(const std::string& path, bool overwrite,
                                     std::unique_ptr<TextStream>* stream) {
  return openStream(path, GENERIC_WRITE, overwrite ? CREATE_ALWAYS : CREATE_NEW, stream);
}

Status WinFileSystem::openTextFileForAppending(const std::string& path,
                                               std::unique_ptr<TextStream>* stream) {
  // With append access alone every write goes to the end of the file.
  return openStream(path, FILE_APPEND_DATA, OPEN_ALWAYS, stream);
}

Status WinFileSystem::copyFile(const std::string& source, const std::string& destination,
                               bool overwrite) {
  if (!isFile(attributes(source))) return runtimeError(kErrFileNotFound);
  return CopyFileA(source.c_str(), destination.c_str(), overwrite ? FALSE : TRUE)
             ? Status::success()
             : lastError();
}

Status WinFileSystem::deleteFile(const std::string& path, bool force) {
  DWORD a = attributes(path);
  if (!isFile(a)) return runtimeError(kErrFileNotFound);
  if (a & FILE_ATTRIBUTE_READONLY) {
    if (!force) return runtimeError(kErrPermissionDenied);
    if (!SetFileAttributesA(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY)) return lastError();
  }
  return DeleteFileA(path.c_str()) ? Status::success() : lastError();
}

bool WinFileSystem::isWritable(const std::string& path) {
  DWORD a = attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  // The attribute protects a file; on a folder it means nothing for the files in it.
  return isFolder(a) || !(a & FILE_ATTRIBUTE_READONLY);
}

std::string WinFileSystem::nativePath(const std::string& path) {
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    // A UNC path keeps its two leading separators.
    if (path[i] == '\\' && i > 1 && out.back() == '\\') continue;
    out += path[i];
  }
  bool root = out.size() == 3 && out[1] == ':';
  if (out.size() > 1 && out.back() == '\\' && !root) out.pop_back();
  return out;
}

}  // namespace sccevtmon
