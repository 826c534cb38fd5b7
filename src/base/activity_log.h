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
  // Writes "MM/DD/YYYY HH:NN:SS", TAB, the message and CR LF. Any failure is swallowed.
  void write(const std::string& message) noexcept;
  // Closes the stream; later writes are dropped.
  void close() noexcept;

 private:
  std::unique_ptr<TextStream> stream_;
  Clock* clock_ = nullptr;
};

// The one writer of the activity log. Never fails towards its caller: a line written before
// the log is open or after it is closed is dropped without notice.
void subWriteLog(RunState& rs, const std::string& message) noexcept;

}  // namespace sccevtmon
