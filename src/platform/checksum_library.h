#pragma once

#include <cstdint>
#include <string>

#include "util/status.h"

namespace sccevtmon {

// The three out-arguments both checksum functions share, read as text.
struct ChecksumOutputs {
  std::string checksum;
  std::string fileSize;
  std::string errorInfo;
};

// The agent's checksum library. Each call's *result is the function's 16-bit answer
// (non-zero: the checksum and size outputs are set). A Status that is not ok means the call
// could not be made at all (the library missing, an argument it cannot take).
class ChecksumLibrary {
 public:
  virtual ~ChecksumLibrary() = default;
  virtual Status getMd5(const std::string& fileName, ChecksumOutputs& out,
                        std::int16_t* result) = 0;
  // blockSize is the block size in kilobytes as text.
  virtual Status getMd5WithBlock(const std::string& fileName, const std::string& blockSize,
                                 ChecksumOutputs& out, std::int16_t* result) = 0;
  // A command an operator can type to compute the same checksum of a file.
  virtual std::string operatorCommand(const std::string& fileName) = 0;
};

}  // namespace sccevtmon
