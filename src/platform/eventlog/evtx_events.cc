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
    row_.recordId = e.recordNumber;
    fillEventRow(texts, &row_);
    out_->add(row_);
  }

 private:
  const EventWindow& window_;
  EventLogContents* out_;
  evtx::CreationTime created_;
  std::optional<long long> time_;
  EventRow row_;  // reused from record to record
};

Status engineError(const std::string& description) { return Status{kErrAutomation, description}; }

// The summary's reasons as the caller shows them, in the order the decoder lists reasons.
std::vector<std::string> skipNotesOf(const evtx::Summary& s) {
  std::vector<std::string> notes;
  for (int r = 0; r < static_cast<int>(evtx::Reason::kCount); ++r) {
    long count = s.byReason[r];
    if (count == 0) continue;
    auto reason = static_cast<evtx::Reason>(r);
    std::string text = std::to_string(count) + (count == 1 ? " record " : " records ") +
                       (reason == evtx::Reason::kValueLength ? "repaired: " : "skipped: ");
    // The summary keeps only the first few places; a reason met only later is named alone.
    auto place = std::find_if(s.places.begin(), s.places.end(),
                              [&](const evtx::Place& p) { return p.reason == reason; });
    notes.push_back(text + (place != s.places.end() ? evtx::Summary::line(*place)
                                                    : std::string(evtx::describe(reason))));
  }
  return notes;
}

// What both readers do once the records are decoded: an export renumbers its record headers
// from 1 and keeps the original EventRecordID in the event, so the header's number orders the
// rows (a wrapped log's oldest chunk may stand anywhere in the file).
Status finish(const std::string& path, const evtx::Summary& s, EventLogContents* out) {
  out->processed = s.records;
  out->skipped = s.skipped;
  out->skipNotes = skipNotesOf(s);
  if (out->processed > 0 && out->skipped == out->processed) {
    return engineError("The event log file " + path + " cannot be read: none of its " +
                       std::to_string(out->processed) + " records is readable");
  }
  out->rows.sortByKey();
  return Status::success();
}

}  // namespace

bool decodeEvtxBytes(std::span<const std::byte> bytes, const EventWindow& window,
                     EventLogContents* out, std::string* why) {
  *out = EventLogContents{};
  evtx::Decoder decoder;
  RowSink sink(window, out);
  evtx::Summary s = decoder.read(bytes, sink);
  if (!s.isEventLog) {
    *why = s.error;
    return false;
  }
  out->processed = s.records;
  out->skipped = s.skipped;
  out->skipNotes = skipNotesOf(s);
  return true;
}

Status readEvtxExport(FileSystem& files, const std::string& path, const EventWindow& window,
                      EventLogContents* out) {
  *out = EventLogContents{};
  std::unique_ptr<ReadableFile> file;
  if (Status s = files.openForReading(path, &file); !s.ok()) {
    return engineError("The event log file " + path +
                       " cannot be opened as an event log: " + s.description);
  }
  // One chunk's room, reused for every chunk: the file is never held whole.
  std::vector<std::byte> buffer(evtx::kChunkSize);
  auto* bytes = reinterpret_cast<char*>(buffer.data());
  auto readError = [&](const Status& s) {
    return engineError("The event log file " + path + " cannot be read: " + s.description);
  };
  std::size_t got = 0;
  if (Status s = file->readAt(0, bytes, evtx::kFileHeaderSize, &got); !s.ok()) return readError(s);
  evtx::Summary summary;
  if (!evtx::Decoder::checkFileHeader(std::span(buffer).first(got), &summary)) {
    return engineError("The event log file " + path +
                       " cannot be opened as an event log: " + summary.error);
  }
  evtx::Decoder decoder;
  RowSink sink(window, out);
  const std::uint64_t size = file->size();
  for (std::uint64_t at = evtx::kFileHeaderSize; at < size && size - at >= evtx::kChunkHeaderSize;
       at += evtx::kChunkSize) {
    if (Status s = file->readAt(at, bytes, evtx::kChunkHeaderSize, &got); !s.ok()) {
      return readError(s);
    }
    if (got < evtx::kChunkHeaderSize) break;  // the file shrank while it was read
    std::size_t need = evtx::Decoder::chunkBytesNeeded(std::span(buffer).first(got));
    if (need == 0) continue;
    std::size_t whole = static_cast<std::size_t>(std::min<std::uint64_t>(need, size - at));
    if (whole > got) {
      std::size_t more = 0;
      if (Status s = file->readAt(at + got, bytes + got, whole - got, &more); !s.ok()) {
        return readError(s);
      }
      got += more;
    }
    decoder.readChunk(std::span(buffer).first(got), at, sink, &summary);
  }
  return finish(path, summary, out);
}

}  // namespace sccevtmon
