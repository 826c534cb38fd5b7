#pragma once

#include <windows.h>

#include <string>

#include "platform/checksum_library.h"

namespace sccevtmon {

// The agent's checksum library QGnMD5 on Windows, called as the classic runtime's Declare
// statements call it: loaded by name (LoadLibraryA, the standard search path with the
// monitor's own folder first) on the first call and kept loaded, each function found by its
// undecorated name and called with the standard calling convention:
//
//   short __stdcall QGetMD5(VARIANT fileName, VARIANT* checksum, VARIANT* size, VARIANT* error)
//   short __stdcall QGetMD5WBlock(VARIANT fileName, VARIANT blockSize, VARIANT* checksum,
//                                 VARIANT* size, VARIANT* error)
//
// fileName and blockSize are strings passed by value; the three outputs go in holding what the
// previous call left in `out` (strings; an empty checksum goes in as an empty string, the
// other two empty outputs as Empty) and are read back as text.
//
// A call that cannot be made fails as the runtime fails it: the library not found 53 ("File
// not found: QGnMD5"), found but not loadable 48 ("Error in loading DLL"), a function missing
// 453 ("Can't find DLL entry point QGetMD5 in QGnMD5"), an output that cannot become a text 13.
// A function that answers 0 is not an error: *result is 0 and `out` holds what it reported.
//
// The library reads the file itself: the bytes the monitor read (the contents argument) play
// no part here; the caller compares them with the file after the call (readsTheFile).
class AgentChecksumLibrary : public ChecksumLibrary {
 public:
  // library: the name LoadLibraryA is given (tests load their own stand-in).
  explicit AgentChecksumLibrary(std::string library = "QGnMD5");
  ~AgentChecksumLibrary() override;
  AgentChecksumLibrary(const AgentChecksumLibrary&) = delete;
  AgentChecksumLibrary& operator=(const AgentChecksumLibrary&) = delete;

  Status getMd5(const std::string& fileName, const std::string* /*contents*/, ChecksumOutputs& out,
                std::int16_t* result) override {
    return call("QGetMD5", fileName, nullptr, out, result);
  }
  Status getMd5WithBlock(const std::string& fileName, const std::string* /*contents*/,
                         const std::string& blockSize, ChecksumOutputs& out,
                         std::int16_t* result) override {
    return call("QGetMD5WBlock", fileName, &blockSize, out, result);
  }
  bool readsTheFile() override { return true; }
  // certutil, which every Windows has, with the file's path in double quotes.
  std::string operatorCommand(const std::string& fileName) override;

 private:
  // Calls QGetMD5 (blockSize null) or QGetMD5WBlock.
  Status call(const char* function, const std::string& fileName, const std::string* blockSize,
              ChecksumOutputs& out, std::int16_t* result);
  Status load();

  std::string library_;
  HMODULE module_ = nullptr;
};

}  // namespace sccevtmon
