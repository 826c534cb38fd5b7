#include "platform/posix/openssl_checksum.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/posix/path.h"

namespace sccevtmon {
namespace {

// The digest's text and the size of what was hashed into the outputs.
std::int16_t finish(EVP_MD_CTX* ctx, unsigned long long total, ChecksumOutputs& out) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx, digest, &length);
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  out.checksum = text;
  out.fileSize = std::to_string(total);
  return 1;
}

// Hashes bytes already read, block by block; fills the outputs and answers 1.
std::int16_t md5OfBytes(const std::string& bytes, std::size_t block, ChecksumOutputs& out) {
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) {
    out.errorInfo = "MD5 is not available";
    return 0;
  }
  for (std::size_t at = 0; at < bytes.size(); at += block) {
    EVP_DigestUpdate(ctx.get(), bytes.data() + at, std::min(block, bytes.size() - at));
  }
  return finish(ctx.get(), bytes.size(), out);
}

// Hashes the file in blocks; fills the outputs and answers 1, or 0 with errorInfo set.
std::int16_t md5OfFile(const std::string& fileName, std::size_t block, ChecksumOutputs& out) {
  // Opening never waits (a pipe put in the file's place), and only a regular file is read.
  int fd = ::open(toPosixPath(fileName).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    fd = -1;
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(fd < 0 ? nullptr : ::fdopen(fd, "rb"),
                                                       &std::fclose);
  if (!file) {
    out.errorInfo = std::to_string(errno) + " " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return 0;
  }
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) {
    out.errorInfo = "MD5 is not available";
    return 0;
  }
  // A block larger than the file is never filled: read the file at most whole.
  std::size_t size = 0;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    long end = std::ftell(file.get());
    if (end > 0) size = static_cast<std::size_t>(end);
    std::rewind(file.get());
  }
  std::vector<unsigned char> buffer(std::max<std::size_t>(1, std::min(block, size)));
  unsigned long long total = 0;
  for (;;) {
    std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
    if (n > 0) {
      EVP_DigestUpdate(ctx.get(), buffer.data(), n);
      total += n;
    }
    if (n < buffer.size()) {
      if (std::ferror(file.get())) {
        out.errorInfo = std::to_string(errno) + " " + std::strerror(errno);
        return 0;
      }
      break;
    }
  }
  return finish(ctx.get(), total, out);
}

}  // namespace

std::size_t OpenSslChecksum::blockBytes(const std::string& blockSize) {
  std::size_t i = 0;
  while (i < blockSize.size() && (blockSize[i] == ' ' || blockSize[i] == '\t')) ++i;
  // A negative size is a number too: it clamps to the smallest block.
  bool negative = false;
  if (i < blockSize.size() && (blockSize[i] == '-' || blockSize[i] == '+')) {
    negative = blockSize[i] == '-';
    ++i;
  }
  unsigned long long kb = 0;
  bool any = false;
  for (; i < blockSize.size() && blockSize[i] >= '0' && blockSize[i] <= '9'; ++i) {
    any = true;
    if (kb < 1000000) kb = kb * 10 + static_cast<unsigned>(blockSize[i] - '0');
  }
  if (!any) {
    kb = 64;
  } else if (negative || kb < 1) {
    kb = 1;
  }
  if (kb > 65536) kb = 65536;
  return static_cast<std::size_t>(kb) * 1024;
}

Status OpenSslChecksum::getMd5(const std::string& fileName, const std::string* contents,
                               ChecksumOutputs& out, std::int16_t* result) {
  *result = contents != nullptr ? md5OfBytes(*contents, 64 * 1024, out)
                                : md5OfFile(fileName, 64 * 1024, out);
  return Status::success();
}

Status OpenSslChecksum::getMd5WithBlock(const std::string& fileName, const std::string* contents,
                                        const std::string& blockSize, ChecksumOutputs& out,
                                        std::int16_t* result) {
  *result = contents != nullptr ? md5OfBytes(*contents, blockBytes(blockSize), out)
                                : md5OfFile(fileName, blockBytes(blockSize), out);
  return Status::success();
}

std::string OpenSslChecksum::operatorCommand(const std::string& fileName) {
  std::string path = toPosixPath(fileName);
  bool plain = !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr("/._-+,:=@%", c) != nullptr);
  });
  if (plain) return "md5sum " + path;
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return "md5sum " + quoted + "'";
}

}  // namespace sccevtmon
