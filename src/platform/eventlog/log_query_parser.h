#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/status.h"

namespace sccevtmon {

// The input fields of the event-log input format that a query can select.
enum class EventField {
  kEventTypeName,
  kTimeGenerated,
  kSourceName,
  kEventCategoryName,
  kEventId,
  kMessage,
};
inline constexpr int kEventFieldCount = 6;

// One item of the SELECT list: the field and the column name it is read by (its alias, or the
// field name itself when the item has none).
struct SelectedColumn {
  EventField field;
  std::string name;
};

// A parsed query over one event log.
struct LogQueryText {
  std::vector<SelectedColumn> columns;
  std::string logName;  // the text between the quotes of FROM, unchanged
  // The window on TimeGenerated, both bounds included, as seconds of the local civil time
  // since 1970-01-01 00:00:00 (see civilSeconds). Without WHERE every record is selected.
  bool hasWindow = false;
  long long windowFrom = 0;
  long long windowTo = 0;
};

// Parses the query subset the monitor writes:
//
//   SELECT field [AS alias] {, field [AS alias]}
//   FROM 'log name'
//   [WHERE [n=n AND] TimeGenerated BETWEEN TIMESTAMP('text', 'format')
//                                      AND TIMESTAMP('text', 'format')]
//
// Keywords and field names match without regard to case. A format holds yyyy, MM, dd, hh
// (00 to 23), mm and ss, and any other character except a letter stands for itself. Any other
// text fails with number 440 and a description that names the 1-based character position of
// the fault, for example "Syntax error at position 8: expected a field name, found 'FROM'".
Status parseLogQuery(std::string_view text, LogQueryText* query);

// The field's name as the query writes it ("EventTypeName").
const char* eventFieldName(EventField field);

}  // namespace sccevtmon
