#include "base/activity_log.h"

#include "base/run_state.h"
#include "base/time_stamp.h"

namespace sccevtmon {

void ActivityLog::open(std::unique_ptr<TextStream> stream, Clock& clock) {
  stream_ = std::move(stream);
  clock_ = &clock;
}

void ActivityLog::write(const std::string& message) noexcept {
  if (!stream_ || clock_ == nullptr) return;
  try {
    // One line, one write: a line is never torn, and none waits in a buffer when the run is
    // cut short.
    if (stream_->writeLine(runTimestamp(clock_->now()) + "\t" + message).ok()) stream_->flush();
  } catch (...) {
    // The log never fails its caller.
  }
}

void ActivityLog::close() noexcept {
  if (!stream_) return;
  try {
    stream_->close();
  } catch (...) {
  }
  stream_.reset();
}

void subWriteLog(RunState& rs, const std::string& message) noexcept {
  rs.activityLog.write(message);
}

}  // namespace sccevtmon
