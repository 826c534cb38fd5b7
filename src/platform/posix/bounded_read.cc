#include "platform/posix/bounded_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace sccevtmon {

int readBoundedFile(const std::string& path, std::uint64_t maxBytes, std::string* bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno;
  struct stat st {};
  int err = 0;
  if (::fstat(fd, &st) != 0) {
    err = errno;
  } else if (S_ISDIR(st.st_mode)) {
    err = EISDIR;
  } else if (!S_ISREG(st.st_mode)) {
    err = EINVAL;
  } else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    err = EFBIG;
  }
  bytes->clear();
  // The file may grow while it is read: one byte more than the limit tells.
  char buffer[65536];
  while (err == 0) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno != EINTR) err = errno;
      continue;
    }
    if (n == 0) break;
    if (bytes->size() + static_cast<std::uint64_t>(n) > maxBytes) {
      err = EFBIG;
      break;
    }
    bytes->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  if (err != 0) bytes->clear();
  return err;
}

}  // namespace sccevtmon
