#include "platform/posix/profile_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/posix/path.h"
#include "util/profile_text.h"

namespace sccevtmon {
namespace {

std::optional<std::string> readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
  if (auto content = readWhole(toPosixPath(file))) value = profileLookup(*content, section, key);
  return profileCopyToBuffer(profileStringOrDefault(value, defaultValue), buffer);
}

std::int32_t PosixProfileFiles::getInt(const std::string& section, const std::string& key,
                                       std::int32_t defaultValue, const std::string& file) {
  auto content = readWhole(toPosixPath(file));
  if (!content) return defaultValue;
  auto value = profileLookup(*content, section, key);
  return profileIntegerOrDefault(value, defaultValue);
}

Status PosixProfileFiles::writeString(const std::string& section, const std::string& key,
                                      const std::string& value, const std::string& file) {
  std::string path = toPosixPath(file);
  struct stat st {};
  bool exists = ::stat(path.c_str(), &st) == 0;
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
  std::string updated = profileUpdate(content, section, key, value);

  std::string temp = path + ".tmp" + std::to_string(::getpid());
  mode_t mode = exists ? (st.st_mode & 07777) : 0644;
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
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
