#include "template/template_checksum.h"

#include <exception>
#include <new>

#include "base/text.h"
#include "env/settings.h"

namespace sccevtmon {

namespace {

// The checksum through the library; a Status that is not ok is the routine's own error.
Status generateChecksum(RunState& rs, Platform& os, const std::string& fileName,
                        std::string& failureReason, bool* failed) {
  subWriteLog(rs, "MSG : Preprocessing : Getting MD5 checksum of : " + fileName);
  // The same outputs go to both calls: the block-wise call sees what the first one left.
  ChecksumOutputs out;
  std::int16_t result = 0;
  // The bytes the parser read are the bytes checked (see ChecksumLibrary).
  const std::string* contents = rs.templateBytes ? &*rs.templateBytes : nullptr;
  if (Status s = os.checksum.getMd5(fileName, contents, out, &result); !s.ok()) return s;
  if (result == 0) {
    std::string blockSize =
        fncGetProfileValue(os, "BlockSize", "Size", rs.installPath + "MDCSFileList.ini", 0);
    if (Status s = os.checksum.getMd5WithBlock(fileName, contents, blockSize, out, &result);
        !s.ok()) {
      return s;
    }
    if (result == 0) {
      *failed = true;
      std::string detail = "Failed to Get MD5 check Sum for File " + fileName +
                           " Error = " + trimSpaces(out.errorInfo) + " with " + blockSize +
                           " KB Block Size";
      subWriteLog(rs, "ERR : " + detail);
      failureReason = "MD5: " + detail;
    }
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
