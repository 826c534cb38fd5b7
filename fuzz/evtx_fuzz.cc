// Feeds arbitrary bytes to both event-log readers as a file: the .evtx reader over the
// project's decoder and the rendered-XML reader that streams <Event> elements. Aborts when a
// result breaks what the record set relies on: every record counted once, skipped ones
// included, and every kept row with the five texts that are never null in a mapped event.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/event_log_reader.h"

namespace {

using namespace sccevtmon;

std::string filePath;

void removeFile() { unlink(filePath.c_str()); }

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "evtx_fuzz: %s\n", what);
    std::abort();
  }
}

void checkContents(const Status& s, const EventLogContents& c) {
  if (!s.ok()) {
    check(s.number == kErrAutomation && !s.description.empty(), "a failure without a reason");
    return;
  }
  check(c.skipped >= 0 && c.skipped <= c.processed, "more records skipped than processed");
  check(static_cast<long>(c.rows.size()) + c.skipped <= c.processed, "more rows than records read");
  for (const EventRow& row : c.rows) {
    for (EventField f :
         {EventField::kEventTypeName, EventField::kEventCategoryName, EventField::kMessage}) {
      check(row.values[static_cast<int>(f)].has_value(), "a null type, category or message");
    }
    check(row.values[static_cast<int>(EventField::kMessage)]->find_first_of("\r\n\t") ==
              std::string::npos,
          "a message on more than one line");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/evtx_fuzz_XXXXXX";
  int fd = mkstemp(pattern);
  if (fd < 0) std::abort();
  close(fd);
  filePath = pattern;
  std::atexit(removeFile);
  setenv("TZ", "UTC0", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(filePath.c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  EventWindow window{size % 2 == 0, 0, 2000000000LL};
  EventLogContents contents;
  checkContents(readEvtxFile(filePath, window, &contents), contents);
  checkContents(readRenderedXmlFile(filePath, window, &contents), contents);
  return 0;
}
