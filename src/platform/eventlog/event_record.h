#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/eventlog/log_query_parser.h"
#include "platform/log_query.h"
#include "util/text_rows.h"
#include "util/xml_document.h"

namespace sccevtmon {

// The values of one event record, indexed by EventField, and the record's number.
struct EventRow {
  std::uint64_t recordId = 0;
  std::array<LogValue, kEventFieldCount> values;
};

// The seconds since 1970-01-01 00:00:00 UTC of a SystemTime text such as
// "2012-03-14T04:17:43.354562700Z"; the fraction is cut off. Nothing for another form.
std::optional<long long> parseSystemTime(std::string_view text);

// The local civil seconds of an event's TimeCreated, found in the event's XML text without
// parsing it. Nothing when the text has no TimeCreated/@SystemTime in the usual form; the
// caller then parses the event.
std::optional<long long> scanTimeCreated(std::string_view eventXml);

// The local civil seconds of the TimeCreated of a parsed <Event> element.
std::optional<long long> eventTimeCreated(const XmlNode& event);

// What the columns of a row are made of, as an event's XML gives them (texts in the program's
// code page). Each reader collects them its own way; fillEventRow makes the columns, so every
// reader maps an event by the same rules.
struct EventTexts {
  std::string keywords;              // System/Keywords, hexadecimal
  std::string level;                 // System/Level
  std::string task;                  // System/Task
  std::string eventId;               // System/EventID
  LogValue source;                   // Provider/@EventSourceName, else Provider/@Name
  std::optional<long long> created;  // TimeCreated in local civil seconds
  std::string renderedTask;          // RenderingInfo/Task
  std::string renderedMessage;       // RenderingInfo/Message
  std::vector<std::string> strings;  // the insertion strings (used without a message)
};

// Fills the six columns of row (not its record number) from texts.
void fillEventRow(const EventTexts& texts, EventRow* row);

// Fills every column of row from an <Event> element (System, EventData or UserData, and
// RenderingInfo when the event was exported rendered). Texts are ANSI. The record number is
// EventRecordID (0 when missing).
void mapEvent(const XmlNode& event, EventRow* row);

// The time window of a query on TimeGenerated, in local civil seconds, both bounds included.
struct EventWindow {
  bool limited = false;  // false: every record
  long long from = 0;
  long long to = 0;

  bool contains(long long localSeconds) const {
    return !limited || (localSeconds >= from && localSeconds <= to);
  }
};

// What one read of an event log gives.
struct EventLogContents {
  long processed = 0;  // every record of the log, read or skipped
  long skipped = 0;    // records that could not be read
  // Why records were skipped or repaired, one text per reason: the count, the reason and where
  // it was first met, such as "3 records skipped: substitution length does not suit its type
  // (chunk 4, record 1021, offset 0x2f1c)". Empty when none was.
  std::vector<std::string> skipNotes;
  // The records inside the window, in the log's order: the values in EventField order, keyed
  // by record number. Every engine fills this one store, and the record loading takes it over
  // as its loaded rows, so each event is held once.
  TextRows rows{kEventFieldCount};

  void add(const EventRow& row);
  // Row k as an EventRow (a copy), and every row so.
  EventRow row(std::size_t k) const;
  std::vector<EventRow> eventRows() const;
};

// Events nested deeper than this many element levels cannot be read (skipped and counted).
constexpr std::size_t kMaxEventDepth = 1000;

// One event's XML text: tests its TimeCreated against the window (cheaply, without parsing,
// when the text allows) and maps it into *row when it is inside. *inWindow tells which. False
// when the text is not an <Event> element that can be parsed, or nests deeper than
// kMaxEventDepth; doc is a scratch document. Control characters, NULs included, and bytes
// that are not UTF-8 read as '?'.
bool takeEventXml(std::string_view xml, const EventWindow& window, XmlDocument& doc, EventRow* row,
                  bool* inWindow);

// Message text as one line: each CR LF, CR, LF or TAB becomes one space.
std::string oneLine(std::string_view text);

}  // namespace sccevtmon
