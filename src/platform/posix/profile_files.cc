#include "platform/posix/profile_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "platform/file_system.h"
#include "platform/posix/bounded_read.h"
#include "platform/posix/path.h"
#include "util/profile_text.h"

namespace sccevtmon {
namespace {

// The content of a settings file: a regular file of at most 16 MiB; anything else reads as
// missing (and fails a write).
std::optional<std::string> readWhole(const std::string& path) {
  std::string bytes;
  int err = readBoundedFile(path, kMaxSettingsFileBytes, &bytes);
  if (err != 0) {
    errno = err;
    return std::nullopt;
  }
  return bytes;
}

Status systemError(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return {kErrorPathNotFound, "The system cannot find the path specified."};
    case EACCES:
    case EPERM:
    case EROFS:
      return {kErrorAccessDenied, "Access is denied."};
    default:
      return {kErrorAccessDenied, "Access is denied."};
  }
}

}  // namespace

std::uint32_t PosixProfileFiles::getString(const std::string& section, const std::string& key,
                                           const std::string& defaultValue, std::string& buffer,
                                           const std::string& file) {
  std::optional<std::string> value;
  if (auto content = readWhole(toPosixPath(file))) {
    value = profileLookup(profileTextOf(*content), section, key);
  }
  return profileCopyToBuffer(profileStringOrDefault(value, defaultValue), buffer);
}

std::int32_t PosixProfileFiles::getInt(const std::string& section, const std::string& key,
                                       std::int32_t defaultValue, const std::string& file) {
  auto content = readWhole(toPosixPath(file));
  if (!content) return defaultValue;
  auto value = profileLookup(profileTextOf(*content), section, key);
  return profileIntegerOrDefault(value, defaultValue);
}

Status PosixProfileFiles::writeString(const std::string& section, const std::string& key,
                                      const std::string& value, const std::string& file) {
  std::string path = toPosixPath(file);
  struct stat st {};
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return {kErrorAccessDenied, "Access is denied."};
  if (exists && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    return {kErrorAccessDenied, "Access is denied."};
  }
  if (exists && ::access(path.c_str(), W_OK) != 0) return systemError(errno);
  std::string content;
  if (exists) {
    auto old = readWhole(path);
    if (!old) return systemError(errno);
    content = *old;
  }
  const bool utf16 = isUtf16Profile(content);
  std::string updated =
      profileBytesOf(profileUpdate(profileTextOf(content), section, key, value), utf16);

  // A new file of a name no other file has (never a planted link), renamed over the old one.
  std::string temp = path + kAsideMark + "XXXXXX";
  mode_t mode = exists ? (st.st_mode & 07777) : 0644;
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return systemError(errno);
  ::fchmod(fd, mode);
  size_t done = 0;
  while (done < updated.size()) {
    ssize_t n = ::write(fd, updated.data() + done, updated.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      ::unlink(temp.c_str());
      return systemError(err);
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return systemError(err);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return systemError(err);
  }
  return Status::success();
}

}  // namespace sccevtmon
