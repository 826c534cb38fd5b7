// Feeds arbitrary bytes to both event-log readers as a file: the .evtx reader over the
// project's decoder and the rendered-XML reader that streams <Event> elements. Aborts when a
// result breaks what the record set relies on: every record counted once, skipped ones
// included, and every kept row with the five texts that are never null in a mapped event; or
// when the .evtx reader reads more than a chunk at once.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "evtx/evtx.h"
#include "platform/eventlog/evtx_events.h"
#include "platform/eventlog/rendered_xml_reader.h"
#include "testing/fake_file_system.h"

namespace {

using namespace sccevtmon;

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
  for (const EventRow& row : c.eventRows()) {
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
  setenv("TZ", "UTC0", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FakeFileSystem files;
  files.addFile("/logs/fuzz", std::string(reinterpret_cast<const char*>(data), size));
  EventWindow window{size % 2 == 0, 0, 2000000000LL};
  EventLogContents contents;
  checkContents(readEvtxExport(files, "/logs/fuzz", window, &contents), contents);
  check(files.largestRead <= evtx::kChunkSize, "a read larger than a chunk");
  checkContents(readRenderedXmlExport(files, "/logs/fuzz", window, &contents), contents);
  return 0;
}
