#include "template/template_checksum.h"

#include <exception>
#include <new>

#include "base/text.h"
#include "env/settings.h"

namespace sccevtmon {

namespace {

// One pass through the library: the whole-file call, and the block-wise call when it answers
// 0; *result is the last call's answer and *blockSize the block size it was given, if any.
// The same outputs go to both calls: the block-wise call sees what the first one left.
Status callLibrary(RunState& rs, Platform& os, const std::string& fileName,
                   const std::string* contents, ChecksumOutputs& out, std::int16_t* result,
                   std::string* blockSize) {
  if (Status s = os.checksum.getMd5(fileName, contents, out, result); !s.ok()) return s;
  if (*result != 0) return Status::success();
  *blockSize = fncGetProfileValue(os, "BlockSize", "Size", rs.installPath + "MDCSFileList.ini", 0);
  return os.checksum.getMd5WithBlock(fileName, contents, *blockSize, out, result);
}

// Why the file no longer holds the bytes that were parsed; empty when it does.
std::string differenceFromParsed(Platform& os, const std::string& fileName,
                                 const std::string& parsed) {
  std::string bytes;
  if (Status s = os.files.readFile(fileName, &bytes, kMaxSettingsFileBytes); !s.ok()) {
    return "The template could not be read again after its checksum was taken: " + s.description;
  }
  return bytes == parsed ? std::string() : "The template changed while its checksum was taken";
}

// The checksum through the library; a Status that is not ok is the routine's own error.
Status generateChecksum(RunState& rs, Platform& os, const std::string& fileName,
                        std::string& failureReason, bool* failed) {
  subWriteLog(rs, "MSG : Preprocessing : Getting MD5 checksum of : " + fileName);
  ChecksumOutputs out;
  std::int16_t result = 0;
  std::string blockSize;
  // The bytes the parser read are the bytes checked (see ChecksumLibrary).
  const std::string* contents = rs.templateBytes ? &*rs.templateBytes : nullptr;
  if (Status s = callLibrary(rs, os, fileName, contents, out, &result, &blockSize); !s.ok()) {
    return s;
  }
  // A library that reads the file itself is given the file unheld (it may open it without
  // sharing); that it hashed the parsed bytes shows when the file still holds them after the
  // call. A second pass covers a writer that was midway through the same bytes.
  if (result != 0 && contents != nullptr && os.checksum.readsTheFile()) {
    for (int pass = 1;; ++pass) {
      std::string difference = differenceFromParsed(os, fileName, *contents);
      if (difference.empty()) break;
      if (pass == 2) return Status{kErrPathFileAccess, difference};
      out = ChecksumOutputs{};
      if (Status s = callLibrary(rs, os, fileName, contents, out, &result, &blockSize); !s.ok()) {
        return s;
      }
      if (result == 0) break;
    }
  }
  if (result == 0) {
    *failed = true;
    std::string detail = "Failed to Get MD5 check Sum for File " + fileName +
                         " Error = " + trimSpaces(out.errorInfo) + " with " + blockSize +
                         " KB Block Size";
    subWriteLog(rs, "ERR : " + detail);
    failureReason = "MD5: " + detail;
  }
  subWriteLog(rs, "MSG : Preprocessing : Filesize : " + out.fileSize + " Bytes for " + fileName);
  subWriteLog(rs, "MSG : Preprocessing : FileMD5CheckSum : " + out.checksum + " for " + fileName);
  rs.computedChecksum = out.checksum;
  return Status::success();
}

}  // namespace

bool fncGenerateChecksum(RunState& rs, Platform& os, const std::string& fileName,
                         std::string& failureReason) {
  failureReason.clear();
  bool failed = false;
  Status s;
  try {
    s = generateChecksum(rs, os, fileName, failureReason, &failed);
  } catch (const std::bad_alloc&) {
    s = runtimeError(kErrOutOfMemory);
  } catch (const std::exception& e) {
    s = Status{kErrAutomation, e.what()};
  }
  if (!s.ok()) {
    failureReason = "fncGenerateChecksum: " + s.description;
    subWriteLog(rs, "ERR : " + failureReason);
    return true;
  }
  return failed;
}

}  // namespace sccevtmon
