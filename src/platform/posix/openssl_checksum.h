#pragma once

#include "platform/checksum_library.h"

namespace sccevtmon {

// MD5 of a file's bytes through OpenSSL's EVP interface, in upper-case hex: of the bytes given,
// or of the file when none are given. Both calls give the same digest; the block size only
// decides how much is hashed (or read) at a time (its text in kilobytes, clamped to 1..65536,
// 64 when missing or not a number).
class OpenSslChecksum : public ChecksumLibrary {
 public:
  Status getMd5(const std::string& fileName, const std::string* contents, ChecksumOutputs& out,
                std::int16_t* result) override;
  Status getMd5WithBlock(const std::string& fileName, const std::string* contents,
                         const std::string& blockSize, ChecksumOutputs& out,
                         std::int16_t* result) override;
  // md5sum with the file's path, quoted for the shell when it needs to be.
  std::string operatorCommand(const std::string& fileName) override;

  // The block size in bytes that a block-size text selects.
  static std::size_t blockBytes(const std::string& blockSize);
};

}  // namespace sccevtmon
