// Feeds arbitrary bytes to the rendered-XML reader and to the element stream under it, in read
// blocks of a size the input chooses, so events, markup and UTF-16 pairs fall across block
// boundaries. The stream runs with a small element limit, so long and deeply nested events
// meet the paths that step over them. Aborts when a result breaks what the readers promise:
// every event counted once, nothing handed out longer than the limit, each kept row on one line.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/eventlog/rendered_xml_reader.h"
#include "platform/eventlog/xml_element_stream.h"

namespace {

using namespace sccevtmon;

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "rendered_xml_fuzz: %s\n", what);
    std::abort();
  }
}

// A reader over bytes that gives at most block bytes a call.
XmlElementStream::ByteReader blockReader(std::string_view bytes, std::size_t block) {
  return [bytes, block, at = std::size_t{0}](char* buffer, std::size_t size,
                                             std::size_t* count) mutable {
    *count = std::min({size, block, bytes.size() - at});
    std::memcpy(buffer, bytes.data() + at, *count);
    at += *count;
    return Status::success();
  };
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "UTC0", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t block = 1 + data[0] % 64 * 7;     // 1 to 442 bytes a read
  const std::size_t limit = 16 + data[1] % 128 * 32;  // 16 to 4,080 bytes an element
  std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  EventWindow window{size % 2 == 0, 0, 2000000000LL};
  EventLogContents contents;
  Status s = readRenderedXml("fuzz.xml", blockReader(bytes, block), window, &contents);
  if (s.ok()) {
    check(contents.skipped >= 0 && contents.skipped <= contents.processed,
          "more events skipped than read");
    check(static_cast<long>(contents.rows.size()) + contents.skipped <= contents.processed,
          "more rows than events");
    for (const EventRow& row : contents.eventRows()) {
      const LogValue& msg = row.values[static_cast<int>(EventField::kMessage)];
      check(msg.has_value() && msg->find_first_of("\r\n\t") == std::string::npos,
            "a message that is missing or on more than one line");
    }
  } else {
    check(s.number == kErrAutomation && !s.description.empty(), "a failure without a reason");
  }

  XmlElementStream stream;
  stream.open(blockReader(bytes, block), "Event", limit);
  std::string element;
  std::size_t total = 0;
  for (;;) {
    bool found = false;
    check(stream.next(&element, &found).ok(), "a reader that cannot fail failed");
    if (!found) break;
    check(++total <= bytes.size(), "more elements than bytes");
    if (element.empty()) continue;  // longer than the limit
    // The file's XML declaration goes in front of every element.
    std::size_t at = element.starts_with("<?xml") ? element.find("?>") + 2 : 0;
    check(element.compare(at, 6, "<Event") == 0, "an element that is not an Event");
    check(element.size() - at <= limit, "an element longer than the limit");
  }
  return 0;
}
