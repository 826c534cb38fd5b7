#include "platform/eventlog/evtx_events.h"

#include <charconv>
#include <cstdio>

#include "evtx/evtx.h"
#include "util/civil_time.h"
#include "platform/eventlog/event_record.h"
#include "util/text_encoding.h"

namespace sccevtmon {
namespace {

constexpr std::uint64_t kAuditFailure = 0x0010000000000000ULL;
constexpr std::uint64_t kAuditSuccess = 0x0020000000000000ULL;
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

std::string trimmed(std::string_view text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

// The number an element's text holds, as a decimal (or, base 16, with or without 0x).
template <typename T>
std::optional<T> number(const std::string& text, int base = 10) {
  std::string t = trimmed(text);
  std::string_view digits(t);
  if (base == 16 && digits.size() > 2 && digits[0] == '0' &&
      (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
  }
  T value{};
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
    return std::nullopt;
  }
  return value;
}

std::string eventType(std::uint64_t keywords, int level) {
  if (keywords & kAuditFailure) return "Failure Audit event";
  if (keywords & kAuditSuccess) return "Success Audit event";
  if (level == 1 || level == 2) return "Error event";
  if (level == 3) return "Warning event";
  return "Information event";
}

std::string localTimeText(long long civil) {
  LocalTime t = fromCivilSeconds(civil);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d", t.month, t.day, t.year,
                t.hour, t.minute, t.second);
  return buffer;
}

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
    auto set = [&](EventField f, LogValue v) { row.values[static_cast<int>(f)] = std::move(v); };

    std::uint64_t keywords = number<std::uint64_t>(elementText(e.keywords), 16).value_or(0);
    int level = number<int>(elementText(e.level)).value_or(0);
    set(EventField::kEventTypeName, eventType(keywords, level));

    set(EventField::kTimeGenerated, time_ ? LogValue(localTimeText(*time_)) : std::nullopt);

    LogValue source;
    if (e.eventSourceName.present) {
      source = xmlText(e.eventSourceName.text, true);
    } else if (e.providerName.present) {
      source = xmlText(e.providerName.text, true);
    }
    set(EventField::kSourceName, source);

    std::string category = elementText(e.renderedTask);
    if (category.empty()) {
      long long task = number<long long>(elementText(e.task)).value_or(0);
      category = task == 0 ? "None" : "(" + std::to_string(task) + ")";
    }
    set(EventField::kEventCategoryName, category);

    LogValue idText;
    if (std::optional<std::uint64_t> id = number<std::uint64_t>(elementText(e.eventId))) {
      idText = std::to_string(*id & 0xFFFF);
    }
    set(EventField::kEventId, idText);

    std::string text = elementText(e.renderedMessage);
    if (text.empty()) {
      text = "The description for Event ID " + idText.value_or("0") + " from source " +
             source.value_or("") +
             " cannot be found. The following information was included with the event: ";
      for (size_t k = 0; k < e.strings.size(); ++k) {
        if (k > 0) text += ", ";
        text += xmlText(e.strings[k], false);
      }
    }
    set(EventField::kMessage, oneLine(text));
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

}  // namespace sccevtmon
