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
//
// The file checked must be the file used: contents, when not null, holds the bytes of
// fileName that the monitor read and parsed. The portable library hashes those bytes and
// never reads the file again, so a file swapped between the parse and the hash cannot pass
// unchecked. The Windows build calls the agent's library, which reads fileName itself
// (readsTheFile); there the run holds the file (FileSystem::holdForReading) only while it is
// parsed, since the library may open it without sharing, and the caller reads the file again
// after the call to see that it still holds the parsed bytes. With null contents (the monitor
// could not read the file) the library reads the file and reports why it cannot.
class ChecksumLibrary {
 public:
  virtual ~ChecksumLibrary() = default;
  virtual Status getMd5(const std::string& fileName, const std::string* contents,
                        ChecksumOutputs& out, std::int16_t* result) = 0;
  // blockSize is the block size in kilobytes as text.
  virtual Status getMd5WithBlock(const std::string& fileName, const std::string* contents,
                                 const std::string& blockSize, ChecksumOutputs& out,
                                 std::int16_t* result) = 0;
  // Whether the library reads fileName itself rather than hashing contents.
  virtual bool readsTheFile() { return false; }
  // A command an operator can type to compute the same checksum of a file.
  virtual std::string operatorCommand(const std::string& fileName) = 0;
};

}  // namespace sccevtmon
