#include "platform/win32/file_system.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "platform/win32/error.h"

namespace sccevtmon {
namespace {

Status lastError() { return runtimeErrorFromWin32(GetLastError()); }

// The attributes of a path, or nothing (INVALID_FILE_ATTRIBUTES) when it does not exist.
DWORD attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

bool isFolder(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY); }
bool isFile(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY); }

bool isLink(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT); }

// Writes through a buffer: a report element costs no system call of its own.
class WinTextStream : public BufferedTextStream {
 public:
  WinTextStream(HANDLE file, bool syncOnClose) : file_(file), syncOnClose_(syncOnClose) {}
  ~WinTextStream() override { close(); }

  Status close() override {
    if (file_ == INVALID_HANDLE_VALUE) return Status::success();
    Status s = flush();
    if (s.ok() && syncOnClose_ && !FlushFileBuffers(file_)) s = lastError();
    BOOL closed = CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    if (s.ok() && !closed) s = lastError();
    return s;
  }

 protected:
  bool isOpen() const override { return file_ != INVALID_HANDLE_VALUE; }

  Status writeOut(const char* data, size_t size) override {
    size_t done = 0;
    while (done < size) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
      DWORD written = 0;
      if (!WriteFile(file_, data + done, chunk, &written, nullptr)) return lastError();
      done += written;
    }
    return Status::success();
  }

 private:
  HANDLE file_;
  bool syncOnClose_;
};

class WinFileHold : public FileHold {
 public:
  explicit WinFileHold(HANDLE file) : file_(file) {}
  ~WinFileHold() override { CloseHandle(file_); }
  WinFileHold(const WinFileHold&) = delete;
  WinFileHold& operator=(const WinFileHold&) = delete;

 private:
  HANDLE file_;
};

// The run's lock: its byte range is unlocked before the file is closed (Windows releases the
// locks of a closed handle only some time later).
class WinFileLock : public FileHold {
 public:
  explicit WinFileLock(HANDLE file) : file_(file) {}
  ~WinFileLock() override {
    OVERLAPPED range{};
    UnlockFileEx(file_, 0, 1, 0, &range);
    CloseHandle(file_);
  }
  WinFileLock(const WinFileLock&) = delete;
  WinFileLock& operator=(const WinFileLock&) = delete;

 private:
  HANDLE file_;
};

// Opens a text file for writing; a folder of that name is a path/file access error, as on the
// portable build. A symbolic link or junction in the last part of the path is not followed:
// rewriting or appending to one fails, and creating a new file where one is fails as existing.
Status openStream(const std::string& path, DWORD access, DWORD disposition,
                  std::unique_ptr<TextStream>* stream) {
  DWORD a = attributes(path);
  if (isFolder(a)) return runtimeError(kErrPathFileAccess);
  if (isLink(a)) {
    return disposition == CREATE_NEW ? runtimeError(kErrFileExists)
                                     : runtimeError(kErrPathFileAccess);
  }
  HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lastError();
  *stream = std::make_unique<WinTextStream>(file, false);
  return Status::success();
}

// Creates a new, empty file named prefix + six characters no file in the folder has;
// *path receives its name.
HANDLE createUnique(const std::string& prefix, std::string* path) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  std::uint64_t seed = static_cast<std::uint64_t>(now.QuadPart) ^
                       (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      name += kLetters[(seed >> 33) % (sizeof kLetters - 1)];
    }
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      *path = name;
      return file;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

// The files of a folder (not folders), those reached through a reparse point (a symbolic
// link) included when followLinks.
Status listFolderFiles(const std::string& folder, bool followLinks,
                       std::vector<std::string>* names) {
  std::string pattern = folder;
  if (pattern.empty() || pattern.back() != '\\') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA(pattern.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    // An existing folder with nothing in it.
    if (error == ERROR_FILE_NOT_FOUND && isFolder(attributes(folder))) {
      names->clear();
      return Status::success();
    }
    return runtimeErrorFromWin32(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
  }
  names->clear();
  do {
    DWORD skipped = FILE_ATTRIBUTE_DIRECTORY | (followLinks ? 0 : FILE_ATTRIBUTE_REPARSE_POINT);
    if (!(entry.dwFileAttributes & skipped)) {
      names->push_back(entry.cFileName);
    }
  } while (FindNextFileA(find, &entry));
  FindClose(find);
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

Status WinFileSystem::readFile(const std::string& path, std::string* bytes,
                               std::uint64_t maxBytes) {
  // Only a file on disk of at most maxBytes is read: a pipe or a device may never end.
  std::unique_ptr<ReadableFile> file;
  if (Status s = openForReading(path, &file); !s.ok()) return s;
  if (file->size() > maxBytes) return runtimeError(kErrPathFileAccess);
  bytes->clear();
  char buffer[65536];
  for (;;) {
    std::size_t n = 0;
    Status s = file->readAt(bytes->size(), buffer, sizeof buffer, &n);
    if (s.ok() && n == 0) return s;
    if (s.ok()) bytes->append(buffer, n);
    if (s.ok() && bytes->size() > maxBytes) s = runtimeError(kErrPathFileAccess);  // it grew
    if (!s.ok()) {
      bytes->clear();
      return s;
    }
  }
}

namespace {

class WinReadableFile : public ReadableFile {
 public:
  WinReadableFile(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
  ~WinReadableFile() override { CloseHandle(file_); }
  WinReadableFile(const WinReadableFile&) = delete;
  WinReadableFile& operator=(const WinReadableFile&) = delete;

  std::uint64_t size() const override { return size_; }
  Status readAt(std::uint64_t offset, char* buffer, std::size_t size, std::size_t* count) override {
    *count = 0;
    while (*count < size) {
      OVERLAPPED at{};
      std::uint64_t from = offset + *count;
      at.Offset = static_cast<DWORD>(from);
      at.OffsetHigh = static_cast<DWORD>(from >> 32);
      DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - *count, 1u << 30));
      DWORD n = 0;
      if (!ReadFile(file_, buffer + *count, want, &n, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        return lastError();
      }
      if (n == 0) break;
      *count += n;
    }
    return Status::success();
  }

 private:
  HANDLE file_;
  std::uint64_t size_;
};

}  // namespace

Status WinFileSystem::openForReading(const std::string& path, std::unique_ptr<ReadableFile>* file) {
  DWORD a = attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return runtimeErrorFromWin32(error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error);
  }
  if (isFolder(a)) return runtimeError(kErrPathFileAccess);
  // Shared for writing and deleting: the log may be written while it is read.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return lastError();
  LARGE_INTEGER size;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size) || size.QuadPart < 0) {
    CloseHandle(handle);
    return runtimeError(kErrPathFileAccess);
  }
  *file = std::make_unique<WinReadableFile>(handle, static_cast<std::uint64_t>(size.QuadPart));
  return Status::success();
}

Status WinFileSystem::listFiles(const std::string& folder, std::vector<std::string>* names) {
  return listFolderFiles(folder, false, names);
}

Status WinFileSystem::listReadableFiles(const std::string& folder,
                                        std::vector<std::string>* names) {
  return listFolderFiles(folder, true, names);
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

Status WinFileSystem::createFileAside(const std::string& path, std::string* asidePath,
                                      std::unique_ptr<TextStream>* stream) {
  HANDLE file = createUnique(path + kAsideMark, asidePath);
  if (file == INVALID_HANDLE_VALUE) return lastError();
  *stream = std::make_unique<WinTextStream>(file, true);
  return Status::success();
}

// About a second in all: long enough for a scanner to finish with a file just closed.
WinFileSystem::WinFileSystem() : pause_([] { Sleep(100); }) {}

Status WinFileSystem::replace(const std::string& from, const std::string& to) {
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return Status::success();
    }
    DWORD error = GetLastError();
    bool heldByAnother = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                         error == ERROR_LOCK_VIOLATION;
    if (!heldByAnother || attempt == kReplaceAttempts) return runtimeErrorFromWin32(error);
    pause_();
  }
}

Status WinFileSystem::renameFile(const std::string& from, const std::string& to) {
  return replace(from, to);
}

Status WinFileSystem::copyFile(const std::string& source, const std::string& destination,
                               bool overwrite) {
  if (!isFile(attributes(source))) return runtimeError(kErrFileNotFound);
  DWORD existing = attributes(destination);
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (!overwrite) return runtimeError(kErrFileExists);
    if (isFolder(existing) || (existing & FILE_ATTRIBUTE_READONLY)) {
      return runtimeError(kErrPermissionDenied);
    }
  }
  // Copy into a new file beside the source and rename it into place: the destination
  // folder, which another program collects, never holds a name but the destination's.
  std::string temp;
  HANDLE file = createUnique(source + kAsideMark, &temp);
  if (file == INVALID_HANDLE_VALUE) return lastError();
  CloseHandle(file);
  Status result;
  if (!CopyFileA(source.c_str(), temp.c_str(), FALSE)) {
    result = lastError();
  } else {
    result = replace(temp, destination);
  }
  if (!result.ok()) {
    SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(temp.c_str());
  }
  return result;
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

PathKind WinFileSystem::pathKind(const std::string& path) {
  DWORD a = attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (isLink(a)) return PathKind::kOther;
  return isFolder(a) ? PathKind::kFolder : PathKind::kFile;
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

Status WinFileSystem::tryLock(const std::string& path, std::unique_ptr<FileHold>* lock) {
  if (isLink(attributes(path))) return runtimeError(kErrPathFileAccess);
  // Read access is all a lock needs, and the least another opener must share. No delete
  // sharing: a lock file deleted while held would let the next run lock a new one.
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lastError();
  OVERLAPPED range{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
    DWORD error = GetLastError();
    CloseHandle(file);
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
      return Status{kErrPermissionDenied, kLockHeld};
    }
    return runtimeErrorFromWin32(error);
  }
  *lock = std::make_unique<WinFileLock>(file);
  return Status::success();
}

Status WinFileSystem::holdForReading(const std::string& path, std::unique_ptr<FileHold>* hold) {
  // Shares reading only: nobody may write, rename or delete the file while it is held.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return runtimeErrorFromWin32(error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error);
  }
  *hold = std::make_unique<WinFileHold>(file);
  return Status::success();
}

}  // namespace sccevtmon
