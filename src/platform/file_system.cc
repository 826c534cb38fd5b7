#include "platform/file_system.h"

namespace sccevtmon {

Status BufferedTextStream::writeLine(const std::string& text) {
  Status s = write(text);
  return s.ok() ? write("\r\n") : s;
}

Status BufferedTextStream::write(const std::string& text) {
  if (!isOpen()) return runtimeError(kErrBadFileName);
  if (!failure_.ok()) return failure_;
  buffer_ += text;
  return buffer_.size() >= kBufferBytes ? flush() : Status::success();
}

Status BufferedTextStream::flush() {
  if (!isOpen()) return runtimeError(kErrBadFileName);
  if (!failure_.ok()) return failure_;
  failure_ = writeOut(buffer_.data(), buffer_.size());
  buffer_.clear();
  return failure_;
}

}  // namespace sccevtmon
