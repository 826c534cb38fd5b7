// Feeds arbitrary text to the log query parser. Aborts when a result breaks what the engine
// relies on: a parsed query has columns and a window only with both bounds; a failure carries
// number 440 and names a position inside the text or just past its end.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/eventlog/log_query_parser.h"

namespace {

using namespace sccevtmon;

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "query_parser_fuzz: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  LogQueryText query;
  Status s = parseLogQuery(text, &query);
  if (s.ok()) {
    check(!query.columns.empty(), "a parsed query without columns");
    for (const SelectedColumn& c : query.columns) check(!c.name.empty(), "an empty column name");
    check(query.hasWindow || (query.windowFrom == 0 && query.windowTo == 0),
          "window bounds without a window");
  } else {
    check(s.number == kErrAutomation, "a failure with another number");
    const std::string prefix = "Syntax error at position ";
    check(s.description.compare(0, prefix.size(), prefix) == 0, "a failure without a position");
    long position = std::strtol(s.description.c_str() + prefix.size(), nullptr, 10);
    check(position >= 1 && static_cast<std::size_t>(position) <= size + 1,
          "a position outside the text");
    check(query.columns.empty() && query.logName.empty(), "a failed parse left a result");
  }
  return 0;
}
