#include "template/checksum.h"

#include "base/text.h"

namespace sccevtmon {

std::string fncGetProfileValue(Platform& os, const std::string& section, const std::string& key,
                               const std::string& file, std::int16_t mode) {
  if (mode != 0) return decimal(os.profile.getInt(section, key, 0, file));
  std::string buffer(255, ' ');
  std::uint32_t n = os.profile.getString(section, key, "", buffer, file);
  return buffer.substr(0, n);
}

bool fncGenerateChecksum(RunState& rs, Platform& os, const std::string& fileName,
                         std::string& failureReason) {
  failureReason.clear();
  bool failed = false;
  subWriteLog(rs, "MSG : Preprocessing : Getting MD5 checksum of : " + fileName);
  ChecksumOutputs out;
  std::int16_t result = 0;
  Status s = os.checksum.getMd5(fileName, out, &result);
  if (s.ok() && result == 0) {
    std::string blockSize =
        fncGetProfileValue(os, "BlockSize", "Size", rs.installPath + "MDCSFileList.ini", 0);
    s = os.checksum.getMd5WithBlock(fileName, blockSize, out, &result);
    if (s.ok() && result == 0) {
      failed = true;
      std::string detail = "Failed to Get MD5 check Sum for File " + fileName +
                           " Error = " + trimSpaces(out.errorInfo) + " with " + blockSize +
                           " KB Block Size";
      subWriteLog(rs, "ERR : " + detail);
      failureReason = "MD5: " + detail;
    }
  }
  if (!s.ok()) {
    // The library could not be called at all: the routine's own error trap.
    failureReason = "fncGenerateChecksum: " + s.description;
    subWriteLog(rs, "ERR : " + failureReason);
    return true;
  }
  subWriteLog(rs, "MSG : Preprocessing : Filesize : " + out.fileSize + " Bytes for " + fileName);
  subWriteLog(rs, "MSG : Preprocessing : FileMD5CheckSum : " + out.checksum + " for " + fileName);
  rs.computedChecksum = out.checksum;
  return failed;
}

}  // namespace sccevtmon
