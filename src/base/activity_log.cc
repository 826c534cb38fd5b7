#include "base/activity_log.h"

#include "base/run_state.h"
#include "util/text_format.h"

namespace sccevtmon {
namespace {

constexpr std::size_t kKeptLineBytes = 4096;

}  // namespace

void ActivityLog::open(std::unique_ptr<TextStream> stream, Clock& clock) {
  stream_ = std::move(stream);
  clock_ = &clock;
}

void ActivityLog::write(const std::string& message) noexcept {
  if (!stream_ || clock_ == nullptr) return;
  try {
    line_.clear();
    appendTimestamp(line_, clock_->now());
    line_ += '\t';
    line_ += message;
    stream_->writeLine(line_);
    // A report text logged whole would keep its size for the rest of the run.
    if (line_.capacity() > kKeptLineBytes) std::string().swap(line_);
  } catch (...) {
    // The log never fails its caller.
  }
}

void ActivityLog::flush() noexcept {
  if (!stream_) return;
  try {
    stream_->flush();
  } catch (...) {
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

void flushActivityLog(RunState& rs) noexcept { rs.activityLog.flush(); }

}  // namespace sccevtmon
