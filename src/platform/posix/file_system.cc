#include "platform/posix/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/posix/bounded_read.h"
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
    case ELOOP:  // a symbolic link where a file is created or written
    case EINVAL:
    case EFBIG:
      return runtimeError(kErrPathFileAccess);
    default:
      return runtimeError(kErrDeviceIo);
  }
}

bool isReadOnly(const struct stat& st) { return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

// Writes through a buffer: a report element costs no system call of its own.
class PosixTextStream : public BufferedTextStream {
 public:
  PosixTextStream(int fd, bool syncOnClose) : fd_(fd), syncOnClose_(syncOnClose) {}
  ~PosixTextStream() override { close(); }

  Status close() override {
    if (fd_ < 0) return Status::success();
    Status s = flush();
    if (s.ok() && syncOnClose_ && ::fsync(fd_) != 0) s = fromErrno(errno);
    int rc = ::close(fd_);
    fd_ = -1;
    if (s.ok() && rc != 0) s = fromErrno(errno);
    return s;
  }

 protected:
  bool isOpen() const override { return fd_ >= 0; }

  Status writeOut(const char* data, size_t size) override {
    size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(fd_, data + done, size - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return fromErrno(errno);
      }
      done += static_cast<size_t>(n);
    }
    return Status::success();
  }

 private:
  int fd_;
  bool syncOnClose_;
};

// Opens a file for writing without following a symbolic link in the last part of its path.
Status openStream(const std::string& path, int flags, std::unique_ptr<TextStream>* stream) {
  std::string p = toPosixPath(path);
  struct stat st {};
  if (::lstat(p.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return runtimeError(kErrPathFileAccess);
    if (S_ISREG(st.st_mode) && isReadOnly(st)) return runtimeError(kErrPermissionDenied);
  }
  int fd = ::open(p.c_str(), flags | O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) return fromErrno(errno);
  *stream = std::make_unique<PosixTextStream>(fd, false);
  return Status::success();
}

// Creates a new file named prefix + six unique characters, exclusively (so never through a
// link), with the given mode; *path receives its name.
int createUnique(const std::string& prefix, mode_t mode, std::string* path) {
  std::string name = prefix + "XXXXXX";
  int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  ::fchmod(fd, mode);
  *path = name;
  return fd;
}

class PosixFileHold : public FileHold {
 public:
  explicit PosixFileHold(int fd) : fd_(fd) {}
  ~PosixFileHold() override { ::close(fd_); }
  PosixFileHold(const PosixFileHold&) = delete;
  PosixFileHold& operator=(const PosixFileHold&) = delete;

 private:
  int fd_;
};

class PosixReadableFile : public ReadableFile {
 public:
  PosixReadableFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~PosixReadableFile() override { ::close(fd_); }
  PosixReadableFile(const PosixReadableFile&) = delete;
  PosixReadableFile& operator=(const PosixReadableFile&) = delete;

  std::uint64_t size() const override { return size_; }
  Status readAt(std::uint64_t offset, char* buffer, std::size_t size, std::size_t* count) override {
    *count = 0;
    while (*count < size) {
      ssize_t n = ::pread(fd_, buffer + *count, size - *count, static_cast<off_t>(offset + *count));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return fromErrno(errno);
      if (n == 0) break;
      *count += static_cast<std::size_t>(n);
    }
    return Status::success();
  }

 private:
  int fd_;
  std::uint64_t size_;
};

// The regular files of a folder, those a symbolic link names included when followLinks.
Status listRegularFiles(const std::string& folder, bool followLinks,
                        std::vector<std::string>* names) {
  std::string dir = toPosixPath(folder);
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return fromErrno(errno);
  names->clear();
  while (dirent* entry = ::readdir(d)) {
    struct stat st {};
    std::string full = dir + "/" + entry->d_name;
    int rc = followLinks ? ::stat(full.c_str(), &st) : ::lstat(full.c_str(), &st);
    if (rc != 0 || !S_ISREG(st.st_mode)) continue;
    // A name the program's text cannot hold is none of the monitor's files.
    if (std::optional<std::string> name = fromPosixName(entry->d_name)) names->push_back(*name);
  }
  ::closedir(d);
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

Status PosixFileSystem::readFile(const std::string& path, std::string* bytes,
                                 std::uint64_t maxBytes) {
  int err = readBoundedFile(toPosixPath(path), maxBytes, bytes);
  if (err == 0) return Status::success();
  return err == ENOENT ? runtimeError(kErrFileNotFound) : fromErrno(err);
}

Status PosixFileSystem::openForReading(const std::string& path,
                                       std::unique_ptr<ReadableFile>* file) {
  // Non-blocking, so a pipe put where a file belongs cannot hang the run.
  int fd = ::open(toPosixPath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno == ENOENT ? runtimeError(kErrFileNotFound) : fromErrno(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int err = errno;
    ::close(fd);
    return S_ISREG(st.st_mode) ? fromErrno(err) : runtimeError(kErrPathFileAccess);
  }
  *file = std::make_unique<PosixReadableFile>(fd, static_cast<std::uint64_t>(st.st_size));
  return Status::success();
}

Status PosixFileSystem::listFiles(const std::string& folder, std::vector<std::string>* names) {
  return listRegularFiles(folder, false, names);
}

Status PosixFileSystem::listReadableFiles(const std::string& folder,
                                          std::vector<std::string>* names) {
  return listRegularFiles(folder, true, names);
}

Status PosixFileSystem::createTextFile(const std::string& path, bool overwrite,
                                       std::unique_ptr<TextStream>* stream) {
  return openStream(path, O_CREAT | (overwrite ? O_TRUNC : O_EXCL), stream);
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
  int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) return fromErrno(errno);
  // Copy into a new file beside the source and rename it into place: the destination
  // folder, which another program collects, never holds a name but the destination's.
  std::string temp;
  int out = createUnique(from + kAsideMark, st.st_mode & 0777, &temp);
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
  if (result.ok() && ::fsync(out) != 0) result = fromErrno(errno);
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

PathKind PosixFileSystem::pathKind(const std::string& path) {
  struct stat st {};
  if (::lstat(toPosixPath(path).c_str(), &st) != 0) return PathKind::kMissing;
  if (S_ISREG(st.st_mode)) return PathKind::kFile;
  return S_ISDIR(st.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

std::string PosixFileSystem::ownerName(const std::string& path) {
  struct stat st {};
  if (::lstat(toPosixPath(path).c_str(), &st) != 0) return {};
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(st.st_uid, &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr) {
    return std::to_string(st.st_uid);  // a user without a name is still named by number
  }
  return found->pw_name;
}

std::string PosixFileSystem::nativePath(const std::string& path) {
  std::string p = toPosixPath(path);
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

Status PosixFileSystem::createFileAside(const std::string& path, std::string* asidePath,
                                        std::unique_ptr<TextStream>* stream) {
  std::string created;
  int fd = createUnique(toPosixPath(path) + kAsideMark, 0644, &created);
  if (fd < 0) return fromErrno(errno);
  // The caller's spelling of the path, with the unique characters (ASCII) the system chose.
  *asidePath = path + kAsideMark + created.substr(created.size() - 6);
  *stream = std::make_unique<PosixTextStream>(fd, true);
  return Status::success();
}

Status PosixFileSystem::renameFile(const std::string& from, const std::string& to) {
  if (::rename(toPosixPath(from).c_str(), toPosixPath(to).c_str()) != 0) return fromErrno(errno);
  return Status::success();
}

Status PosixFileSystem::tryLock(const std::string& path, std::unique_ptr<FileHold>* lock) {
  int fd = ::open(toPosixPath(path).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return fromErrno(errno);
  // A pipe or a device opens and locks too, but would not keep a second run out.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Status{kErrPathFileAccess, "not a regular file"};
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK ? Status{kErrPermissionDenied, kLockHeld} : fromErrno(err);
  }
  *lock = std::make_unique<PosixFileHold>(fd);
  return Status::success();
}

Status PosixFileSystem::holdForReading(const std::string& path, std::unique_ptr<FileHold>* hold) {
  int fd = ::open(toPosixPath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno == ENOENT ? runtimeError(kErrFileNotFound) : fromErrno(errno);
  *hold = std::make_unique<PosixFileHold>(fd);
  return Status::success();
}

}  // namespace sccevtmon
