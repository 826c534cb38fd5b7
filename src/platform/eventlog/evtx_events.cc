#include "platform/eventlog/evtx_events.h"

#include <algorithm>

#include "evtx/evtx.h"
#include "platform/clock.h"
#include "platform/eventlog/event_record.h"
#include "util/text_encoding.h"

namespace sccevtmon {
namespace {

// Seconds from 1601-01-01 (FILETIME's origin) to 1970-01-01.
constexpr long long kFileTimeToUnix = 11644473600LL;
// FILETIME of 10000-01-01 00:00:00: a time from there on has no four-digit year.
constexpr std::uint64_t kFileTimeYear10000 = 2650467744000000000ULL;

bool isControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n';
}

// The text an XML parser gives of a value: line ends read as LF in element content, every
// tab, CR and LF as a space in attributes (CR LF as one); other control characters, which
// XML does not allow, read as '?'. Then in the program's code page.
std::string xmlText(std::string_view utf8, bool attribute) {
  std::string t;
  t.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    char c = utf8[i];
    if (c == '\r') {
      if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
      t += attribute ? ' ' : '\n';
    } else if (attribute && (c == '\n' || c == '\t')) {
      t += ' ';
    } else {
      t += isControl(c) ? '?' : c;
    }
  }
  for (unsigned char c : t) {
    if (c >= 0x80) return utf8ToAnsi(t);
  }
  return t;
}

std::string elementText(const evtx::Field& f) { return f.present ? xmlText(f.text, false) : ""; }

// The local civil seconds of a TimeCreated.
std::optional<long long> localTime(const evtx::CreationTime& created) {
  if (created.kind != evtx::CreationTime::Kind::kFileTime) return std::nullopt;
  if (created.fileTime >= kFileTimeYear10000) return std::nullopt;
  return utcToLocalCivil(static_cast<long long>(created.fileTime / 10000000) - kFileTimeToUnix);
}

std::optional<long long> localTime(const evtx::Field& systemTime) {
  if (!systemTime.present) return std::nullopt;
  std::optional<long long> utc = parseSystemTime(xmlText(systemTime.text, true));
  if (!utc) return std::nullopt;
  return utcToLocalCivil(*utc);
}

class RowSink : public evtx::RecordSink {
  // What the columns are made of (TimeCreated comes as a FILETIME, else as text).
  static constexpr std::uint32_t kParts =
      evtx::kEventId | evtx::kLevel | evtx::kTask | evtx::kKeywords | evtx::kProviderName |
      evtx::kEventSourceName | evtx::kRenderedTask | evtx::kRenderedMessage | evtx::kStrings;

 public:
  RowSink(const EventWindow& window, EventLogContents* out) : window_(window), out_(out) {}

  std::uint32_t wanted(std::uint64_t, const evtx::CreationTime& created) override {
    created_ = created;
    if (created.kind == evtx::CreationTime::Kind::kFileTime) {
      time_ = localTime(created);
      if (time_ ? !window_.contains(*time_) : window_.limited) return 0;
      return kParts;
    }
    time_.reset();
    // Another form of time is read from its text.
    if (created.kind == evtx::CreationTime::Kind::kOther) return kParts | evtx::kSystemTime;
    return window_.limited ? 0 : kParts;
  }

  void take(const evtx::Event& e) override {
    if (created_.kind == evtx::CreationTime::Kind::kOther) {
      time_ = localTime(e.systemTime);
      if (window_.limited && !(time_ && window_.contains(*time_))) return;
    }
    EventRow row;
    row.recordId = e.recordNumber;
    EventTexts texts;
    texts.keywords = elementText(e.keywords);
    texts.level = elementText(e.level);
    texts.task = elementText(e.task);
    texts.eventId = elementText(e.eventId);
    texts.created = time_;
    if (e.eventSourceName.present) {
      texts.source = xmlText(e.eventSourceName.text, true);
    } else if (e.providerName.present) {
      texts.source = xmlText(e.providerName.text, true);
    }
    texts.renderedTask = elementText(e.renderedTask);
    texts.renderedMessage = elementText(e.renderedMessage);
    if (texts.renderedMessage.empty()) {
      for (std::string_view value : e.strings) texts.strings.push_back(xmlText(value, false));
    }
    fillEventRow(texts, &row);
    out_->rows.push_back(std::move(row));
  }

 private:
  const EventWindow& window_;
  EventLogContents* out_;
  evtx::CreationTime created_;
  std::optional<long long> time_;
};

}  // namespace

bool decodeEvtxBytes(std::span<const std::byte> bytes, const EventWindow& window,
                     EventLogContents* out, std::string* why) {
  *out = EventLogContents{};
  // The decoder keeps its compiled templates' buffers from one file to the next, which saves
  // their allocations on every read; it is not safe to share, hence one per thread.
  static thread_local evtx::Decoder decoder;
  RowSink sink(window, out);
  evtx::Summary s = decoder.read(bytes, sink);
  if (!s.isEventLog) {
    *why = s.error;
    return false;
  }
  out->processed = s.records;
  out->skipped = s.skipped;
  return true;
}

Status readEvtxExport(const std::string& path, std::span<const std::byte> bytes,
                      const EventWindow& window, EventLogContents* out) {
  std::string why;
  if (!decodeEvtxBytes(bytes, window, out, &why)) {
    return Status{kErrAutomation,
                  "The event log file " + path + " cannot be opened as an event log: " + why};
  }
  if (out->processed > 0 && out->skipped == out->processed) {
    return Status{kErrAutomation, "The event log file " + path + " cannot be read: none of its " +
                                      std::to_string(out->processed) + " records is readable"};
  }
  // An exported log renumbers its record headers from 1 and keeps the original EventRecordID
  // in the event; the header's number orders the records.
  std::stable_sort(out->rows.begin(), out->rows.end(),
                   [](const EventRow& a, const EventRow& b) { return a.recordId < b.recordId; });
  return Status::success();
}

}  // namespace sccevtmon
