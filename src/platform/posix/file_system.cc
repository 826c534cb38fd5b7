#include "platform/posix/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/path.h"

namespace sccevtmon {
namespace {

// The run-time error the file-system object raises for an errno.
Status fromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return runtimeError(kErrPathNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return runtimeError(kErrPermissionDenied);
    case EEXIST:
      return runtimeError(kErrFileExists);
    case ENOSPC:
    case EDQUOT:
      return runtimeError(kErrDiskFull);
    case ENAMETOOLONG:
      return runtimeError(kErrBadFileName);
    case EISDIR:
      return runtimeError(kErrPathFileAccess);
    default:
      return runtimeError(kErrDeviceIo);
  }
}

bool isReadOnly(const struct stat& st) { return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

class PosixTextStream : public TextStream {
 public:
  explicit PosixTextStream(int fd) : fd_(fd) {}
  ~PosixTextStream() override { close(); }

  Status writeLine(const std::string& text) override {
    Status s = write(text);
    return s.ok() ? write("\r\n") : s;
  }

  Status write(const std::string& text) override {
    if (fd_ < 0) return runtimeError(kErrBadFileName);
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return fromErrno(errno);
      }
      done += static_cast<size_t>(n);
    }
    return Status::success();
  }

  Status close() override {
    if (fd_ < 0) return Status::success();
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? Status::success() : fromErrno(errno);
  }

 private:
  int fd_;
};

Status openStream(const std::string& path, int flags, std::unique_ptr<TextStream>* stream) {
  std::string p = toPosixPath(path);
  struct stat st {};
  if (::stat(p.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return runtimeError(kErrPathFileAccess);
    if (isReadOnly(st)) return runtimeError(kErrPermissionDenied);
  }
  int fd = ::open(p.c_str(), flags | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0) return fromErrno(errno);
  *stream = std::make_unique<PosixTextStream>(fd);
  return Status::success();
}

}  // namespace

bool PosixFileSystem::folderExists(const std::string& path) {
  struct stat st {};
  return ::stat(toPosixPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status PosixFileSystem::createFolder(const std::string& path) {
  if (::mkdir(toPosixPath(path).c_str(), 0755) != 0) return fromErrno(errno);
  return Status::success();
}

bool PosixFileSystem::fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(toPosixPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

Status PosixFileSystem::fileSize(const std::string& path, std::uint64_t* size) {
  struct stat st {};
  if (::stat(toPosixPath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return runtimeError(kErrFileNotFound);
  }
  *size = static_cast<std::uint64_t>(st.st_size);
  return Status::success();
}

Status PosixFileSystem::readFile(const std::string& path, std::string* bytes) {
  std::string p = toPosixPath(path);
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0)
    return errno == ENOENT ? runtimeError(kErrFileNotFound) : fromErrno(errno);
  if (!S_ISREG(st.st_mode)) return runtimeError(kErrPathFileAccess);
  int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fromErrno(errno);
  bytes->clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      Status s = fromErrno(errno);
      ::close(fd);
      return s;
    }
    if (n == 0) break;
    bytes->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return Status::success();
}

Status PosixFileSystem::createTextFile(const std::string& path, bool overwrite,
                                       std::unique_ptr<TextStream>* stream) {
  if (!overwrite && fileExists(path)) return runtimeError(kErrFileExists);
  return openStream(path, O_CREAT | O_TRUNC, stream);
}

Status PosixFileSystem::openTextFileForAppending(const std::string& path,
                                                 std::unique_ptr<TextStream>* stream) {
  return openStream(path, O_CREAT | O_APPEND, stream);
}

Status PosixFileSystem::copyFile(const std::string& source, const std::string& destination,
                                 bool overwrite) {
  std::string from = toPosixPath(source);
  std::string to = toPosixPath(destination);
  struct stat st {};
  if (::stat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return runtimeError(kErrFileNotFound);
  struct stat dst {};
  if (::stat(to.c_str(), &dst) == 0) {
    if (!overwrite) return runtimeError(kErrFileExists);
    if (S_ISDIR(dst.st_mode) || isReadOnly(dst)) return runtimeError(kErrPermissionDenied);
  }
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return fromErrno(errno);
  // Copy into a temporary file beside the destination and rename it over, so the destination
  // folder never holds a half-copied file.
  std::string temp = to + ".part" + std::to_string(::getpid());
  int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
  if (out < 0) {
    Status s = fromErrno(errno);
    ::close(in);
    return s;
  }
  char buffer[65536];
  Status result;
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      result = fromErrno(errno);
      break;
    }
    if (n == 0) break;
    ssize_t done = 0;
    while (done < n) {
      ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        result = fromErrno(errno);
        break;
      }
      done += w;
    }
    if (!result.ok()) break;
  }
  ::close(in);
  if (::close(out) != 0 && result.ok()) result = fromErrno(errno);
  if (result.ok() && ::rename(temp.c_str(), to.c_str()) != 0) result = fromErrno(errno);
  if (!result.ok()) ::unlink(temp.c_str());
  return result;
}

Status PosixFileSystem::deleteFile(const std::string& path, bool force) {
  std::string p = toPosixPath(path);
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return runtimeError(kErrFileNotFound);
  if (!force && isReadOnly(st)) return runtimeError(kErrPermissionDenied);
  if (::unlink(p.c_str()) != 0) return fromErrno(errno);
  return Status::success();
}

bool PosixFileSystem::isWritable(const std::string& path) {
  std::string p = toPosixPath(path);
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) return false;
  // A read-only file is never rewritten (see openStream); a folder takes new files only when
  // it can also be searched.
  if (!S_ISDIR(st.st_mode) && isReadOnly(st)) return false;
  int mode = S_ISDIR(st.st_mode) ? W_OK | X_OK : W_OK;
  return ::faccessat(AT_FDCWD, p.c_str(), mode, AT_EACCESS) == 0;
}

std::string PosixFileSystem::nativePath(const std::string& path) {
  std::string p = toPosixPath(path);
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

}  // namespace sccevtmon
