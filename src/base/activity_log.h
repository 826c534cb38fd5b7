#pragma once

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/file_system.h"

namespace sccevtmon {

struct RunState;

// The activity log: an open text stream and the clock that stamps its lines.
class ActivityLog {
 public:
  // Takes over an open stream; lines are stamped with clock's local time.
  void open(std::unique_ptr<TextStream> stream, Clock& clock);
  bool isOpen() const { return stream_ != nullptr; }
  // Writes "MM/DD/YYYY HH:NN:SS", TAB, the message and CR LF into the stream's buffer, which
  // reaches the file when it is full, on flush() and on close(). Any failure is swallowed.
  void write(const std::string& message) noexcept;
  // Passes the lines written so far to the file. Any failure is swallowed.
  void flush() noexcept;
  // Closes the stream; later writes are dropped.
  void close() noexcept;

 private:
  std::unique_ptr<TextStream> stream_;
  Clock* clock_ = nullptr;
  std::string line_;  // reused for every line
};

// The one writer of the activity log. Never fails towards its caller: a line written before
// the log is open or after it is closed is dropped without notice.
void subWriteLog(RunState& rs, const std::string& message) noexcept;

// Puts every line written so far into the log file. Lines gather in a buffer (a run over a busy
// day writes tens of thousands of them); the log must never be behind what the server or the
// agent has received, since an operator reads it beside what they got. So it is flushed:
// - at the end of each step of the run sequence, so a run killed mid-way loses at most the
//   lines of the step it was in;
// - before every post (WebPost), so the server never holds a report the log does not lead to;
// - before every hand-over of a file to the post-logs folder (subMoveFiles, the kept reports,
//   the start-up hand-over of an earlier run's files), for the same reason towards the agent;
// - on close, by subEndApplication.
void flushActivityLog(RunState& rs) noexcept;

}  // namespace sccevtmon
