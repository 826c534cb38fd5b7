#include "platform/win32/missing_components.h"

namespace sccevtmon {

Status MissingWebPost::create(std::unique_ptr<WebPostObject>*) {
  return runtimeError(kErrCannotCreateObject);
}

Status MissingChecksumLibrary::getMd5(const std::string&, const std::string*, ChecksumOutputs&,
                                      std::int16_t*) {
  return runtimeError(kErrCannotCreateObject);
}

Status MissingChecksumLibrary::getMd5WithBlock(const std::string&, const std::string*,
                                               const std::string&, ChecksumOutputs&,
                                               std::int16_t*) {
  return runtimeError(kErrCannotCreateObject);
}

std::string MissingChecksumLibrary::operatorCommand(const std::string& fileName) {
  return "certutil -hashfile \"" + fileName + "\" MD5";
}

}  // namespace sccevtmon
