#include "platform/win32/wevt_engine.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cwchar>
#include <map>
#include <optional>

#include "platform/clock.h"
#include "platform/eventlog/exported_logs.h"
#include "platform/eventlog/log_query_parser.h"
#include "util/civil_time.h"
#include "util/text_encoding.h"
#include "util/xml_document.h"

namespace sccevtmon {
namespace {

// How many events one EvtNext asks for at first. A batch whose data passes the RPC limit fails
// with RPC_S_INVALID_BOUND; readers of busy logs settled near 30 events.
constexpr std::size_t kFirstBatch = 30;
// How often one read reissues its query after the log was cleared or rolled over.
constexpr int kMaxReissues = 3;
// The zone offsets of the world lie within 14 hours of UTC.
constexpr long long kMaxOffset = 14 * 3600;
// FILETIME, which event times are, covers the years 1601 to 30827; XPath times are written
// with four-digit years.
const long long kFirstTime = civilSeconds({1601, 1, 1, 0, 0, 0});
const long long kLastTime = civilSeconds({9999, 12, 31, 23, 59, 59});

std::wstring widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The program's (code page) text as UTF-16: every byte of the code page has its BMP character.
std::wstring ansiToWide(const std::string& ansi) {
  std::wstring wide;
  wide.reserve(ansi.size());
  for (unsigned char c : ansi) wide += static_cast<wchar_t>(ansiToUnicode(c));
  return wide;
}

std::string_view wideBytes(const std::wstring& wide) {
  return {reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t)};
}

// "2009-01-05T07:07:03.000Z" for UTC seconds.
std::wstring systemTimeText(long long utc) {
  LocalTime t = fromCivilSeconds(std::clamp(utc, kFirstTime, kLastTime));
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.000Z", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return widen(buffer);
}

// The attribute Name of the event's Provider element, found in its XML text without parsing
// it (the text EvtRender gives, with the predefined entities decoded). Empty when missing.
std::wstring providerName(const std::wstring& xml) {
  size_t at = xml.find(L"<Provider");
  if (at == std::wstring::npos) return {};
  size_t close = xml.find(L'>', at);
  std::wstring tag = xml.substr(at, close == std::wstring::npos ? close : close - at);
  size_t attr = std::wstring::npos;
  for (const wchar_t* space : {L" ", L"\t", L"\r", L"\n"}) {
    attr = std::min(attr, tag.find(std::wstring(space) + L"Name"));
  }
  if (attr == std::wstring::npos) return {};
  size_t k = attr + 5;
  while (k < tag.size() &&
         (tag[k] == L' ' || tag[k] == L'\t' || tag[k] == L'\r' || tag[k] == L'\n'))
    ++k;
  if (k >= tag.size() || tag[k] != L'=') return {};
  ++k;
  while (k < tag.size() &&
         (tag[k] == L' ' || tag[k] == L'\t' || tag[k] == L'\r' || tag[k] == L'\n'))
    ++k;
  if (k >= tag.size() || (tag[k] != L'\'' && tag[k] != L'"')) return {};
  size_t end = tag.find(tag[k], k + 1);
  if (end == std::wstring::npos) return {};
  std::wstring raw = tag.substr(k + 1, end - k - 1);
  static const std::pair<const wchar_t*, wchar_t> kEntities[] = {
      {L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&apos;", L'\''}};
  std::wstring name;
  for (size_t i = 0; i < raw.size(); ++i) {
    bool decoded = false;
    if (raw[i] == L'&') {
      for (const auto& [entity, c] : kEntities) {
        if (raw.compare(i, std::wcslen(entity), entity) == 0) {
          name += c;
          i += std::wcslen(entity) - 1;
          decoded = true;
          break;
        }
      }
    }
    if (!decoded) name += raw[i];
  }
  return name;
}

// The EventRecordID of an event's XML text, found without parsing it.
std::optional<std::uint64_t> scanRecordNumber(std::string_view xml) {
  constexpr std::string_view kTag = "<EventRecordID>";
  size_t at = xml.find(kTag);
  if (at == std::string_view::npos) return std::nullopt;
  std::uint64_t number = 0;
  const char* first = xml.data() + at + kTag.size();
  auto [end, ec] = std::from_chars(first, xml.data() + xml.size(), number);
  if (ec != std::errc() || end == first) return std::nullopt;
  return number;
}

// The query xpath limited to the records after record (a log's record numbers only grow), or
// xpath itself when no record was read yet.
std::wstring afterRecord(const std::wstring& xpath, std::optional<std::uint64_t> record) {
  if (!record) return xpath;
  std::wstring after = L"EventRecordID>" + std::to_wstring(*record);
  if (xpath == L"*") return L"*[System[" + after + L"]]";
  // "*[System[TimeCreated[...]]]": the record test joins the time test inside System.
  return L"*[System[" + after + L" and " + xpath.substr(9);
}

// What the monitor reports for a call on channel name that failed with a system error; any
// other failure is already the monitor's.
Status logError(const std::string& name, const Status& s) {
  if (s.domain != ErrorDomain::kSystem) return s;
  if (s.number == kErrorEvtChannelNotFound || s.number == kErrorFileNotFound) {
    return Status{kErrAutomation,
                  "The specified event log " + name + " was not found on this computer"};
  }
  std::string why = s.description.empty() ? "" : s.description + " ";
  return Status{kErrAutomation, "The event log " + name + " cannot be read: " + why +
                                    "(system error " + std::to_string(s.number) + ")"};
}

// The handles of one live query, closed when it ends.
class LiveRead {
 public:
  LiveRead(WevtApi& api, const EventWindow& window) : api_(api), window_(window) {}
  ~LiveRead() {
    for (WevtHandle h : events_) api_.close(h);
    for (const auto& [name, publisher] : publishers_) api_.close(publisher);
    api_.close(results_);
  }
  LiveRead(const LiveRead&) = delete;
  LiveRead& operator=(const LiveRead&) = delete;

  // Every event of the query on channel (named name) into *out; count is what the channel
  // holds. A batch too large for the RPC limit is asked again at half its size, down to one
  // event; an event too large even alone is passed over and counted as skipped. A result gone
  // stale (the log cleared or rolled over) is released and the query reissued after the last
  // record read, at most kMaxReissues times; any other failure fails the read.
  Status read(const std::string& name, const std::wstring& channel, std::uint64_t count,
              EventLogContents* out) {
    const std::wstring xpath = windowXPath(window_, utcToLocalCivil);
    Status s = api_.query(channel, xpath, &results_);
    if (!s.ok()) return s;
    long returned = 0;
    std::size_t batch = kFirstBatch;
    int reissues = 0;
    for (;;) {
      s = api_.next(results_, batch, &events_);
      if (!s.ok() && s.number == kRpcInvalidBound && s.domain == ErrorDomain::kSystem) {
        if (batch > 1) {
          batch /= 2;
          continue;
        }
        s = api_.skip(results_);
        if (!s.ok()) return s;
        ++returned;
        ++out->skipped;
        // The event that forced the shrinking is behind; its neighbours are likely small.
        batch = kFirstBatch;
        continue;
      }
      if (!s.ok() && s.number == kErrorEvtQueryResultStale && s.domain == ErrorDomain::kSystem &&
          reissues < kMaxReissues) {
        ++reissues;
        api_.close(results_);
        results_ = 0;
        s = api_.query(channel, afterRecord(xpath, lastRecord_), &results_);
        if (!s.ok()) return s;
        continue;
      }
      if (!s.ok()) return s;
      if (events_.empty()) break;
      for (WevtHandle event : events_) {
        ++returned;
        take(event, out);
      }
      for (WevtHandle h : events_) api_.close(h);
      events_.clear();
      // Back towards the first size once a batch fits: a few large events (a burst of script
      // blocks) do not slow the rest of the log.
      batch = std::min(kFirstBatch, batch * 2);
    }
    // Records written after the count was taken can be among those returned.
    out->processed = static_cast<long>(std::max<std::uint64_t>(count, returned));
    if (returned > 0 && out->skipped == returned) {
      return Status{kErrAutomation, "The event log " + name + " cannot be read: none of the " +
                                        std::to_string(returned) +
                                        " records the query returned is readable"};
    }
    return Status::success();
  }

 private:
  // One event: its row when it lies in the window, or counted as skipped.
  void take(WevtHandle event, EventLogContents* out) {
    std::wstring rendered;
    if (!api_.renderXml(event, &rendered).ok()) {
      ++out->skipped;
      return;
    }
    std::string xml = utf16leToUtf8(wideBytes(rendered));
    if (std::optional<std::uint64_t> record = scanRecordNumber(xml)) lastRecord_ = *record;
    // The XPath lets through the events of the hour a daylight-saving change shifts; those
    // outside the window need no message.
    if (window_.limited) {
      std::optional<long long> created = scanTimeCreated(xml);
      if (created && !window_.contains(*created)) return;
    }
    EventRow row;
    bool inWindow = false;
    std::string formatted = formattedXml(event, rendered);
    if (formatted.empty() || !takeEventXml(formatted, window_, doc_, &row, &inWindow)) {
      if (!takeEventXml(xml, window_, doc_, &row, &inWindow)) {
        ++out->skipped;
        return;
      }
    }
    if (inWindow) out->add(row);
  }

  // The event's XML with RenderingInfo from its publisher; empty when there is no publisher
  // or it rendered nothing.
  std::string formattedXml(WevtHandle event, const std::wstring& rendered) {
    std::wstring provider = providerName(rendered);
    if (provider.empty()) return {};
    auto found = publishers_.find(provider);
    if (found == publishers_.end()) {
      WevtHandle publisher = 0;
      // A provider without metadata is asked once per query.
      if (!api_.openPublisher(provider, &publisher).ok()) publisher = 0;
      found = publishers_.emplace(provider, publisher).first;
    }
    if (found->second == 0) return {};
    // Failing, EvtFormatMessage can still have written the event's XML with what it could
    // render: the task's name without a message it cannot find, or the message with inserts it
    // cannot resolve left as they are. Whatever parses is taken; an XML without a message gives
    // the "cannot be found" text.
    std::wstring xml;
    api_.formatXml(found->second, event, &xml);
    return utf16leToUtf8(wideBytes(xml));
  }

  WevtApi& api_;
  const EventWindow window_;
  XmlDocument doc_;
  WevtHandle results_ = 0;
  std::optional<std::uint64_t> lastRecord_;  // the record number of the last event rendered
  std::vector<WevtHandle> events_;
  std::map<std::wstring, WevtHandle> publishers_;
};

class WevtLogQuery : public LogQuery {
 public:
  WevtLogQuery(WevtApi& api, std::function<std::string()> exportFolder,
               std::unique_ptr<LogQuery> exported)
      : api_(api), exportFolder_(std::move(exportFolder)), exported_(std::move(exported)) {}

  Status execute(const std::string& text, LogInputFormat& format,
                 std::unique_ptr<LogRecordSet>* result) override {
    if (!exportFolder_().empty()) return exported_->execute(text, format, result);
    if (dynamic_cast<EventLogInputFormat*>(&format) == nullptr) {
      return Status{kErrInvalidCall, "The input format is not an event-log input format"};
    }
    LogQueryText query;
    Status s = parseLogQuery(text, &query);
    if (!s.ok()) return s;
    const std::string& name = query.logName;
    // A NUL would cut the channel's name short; no channel has an empty name.
    if (name.empty() || name.find('\0') != std::string::npos) {
      return logError(name, Status::systemError(kErrorEvtChannelNotFound));
    }
    std::wstring channel = ansiToWide(name);
    std::uint64_t count = 0;
    s = api_.recordCount(channel, &count);
    if (!s.ok()) return logError(name, s);
    EventLogContents contents;
    s = LiveRead(api_, {query.hasWindow, query.windowFrom, query.windowTo})
            .read(name, channel, count, &contents);
    if (!s.ok()) return logError(name, s);
    *result = makeEventRecordSet(std::move(query.columns), std::move(contents));
    return Status::success();
  }

 private:
  WevtApi& api_;
  std::function<std::string()> exportFolder_;
  std::unique_ptr<LogQuery> exported_;
};

}  // namespace

std::wstring windowXPath(const EventWindow& window,
                         const std::function<long long(long long)>& toLocal) {
  if (!window.limited) return L"*";
  // The zone's offsets at UTC instants around a local bound: within 14 hours of it lies every
  // instant whose local time is the bound, and no zone changes its offset twice in 28 hours.
  auto offsets = [&](long long local, long long* least, long long* most) {
    *least = kMaxOffset;
    *most = -kMaxOffset;
    for (long long utc : {local - kMaxOffset, local, local + kMaxOffset}) {
      long long offset = toLocal(utc) - utc;
      *least = std::min(*least, offset);
      *most = std::max(*most, offset);
    }
  };
  long long least = 0;
  long long most = 0;
  offsets(window.from, &least, &most);
  const long long from = window.from - most;
  offsets(window.to, &least, &most);
  // Times carry fractions of a second; the window's last second counts whole.
  const long long toExclusive = window.to - least + 1;
  return L"*[System[TimeCreated[@SystemTime>='" + systemTimeText(from) + L"' and @SystemTime<'" +
         systemTimeText(toExclusive) + L"']]]";
}

WevtLogQueryEngine::WevtLogQueryEngine(WevtApi& api, FileSystem& files,
                                       std::function<std::string()> exportFolder)
    : api_(api),
      exportFolder_(std::move(exportFolder)),
      exported_(files, [this] { return exportFolder_(); }) {}

Status WevtLogQueryEngine::createQuery(std::unique_ptr<LogQuery>* query) {
  std::unique_ptr<LogQuery> exported;
  Status s = exported_.createQuery(&exported);
  if (!s.ok()) return s;
  *query = std::make_unique<WevtLogQuery>(
      api_, [this] { return exportFolder_(); }, std::move(exported));
  return Status::success();
}

Status WevtLogQueryEngine::createEventLogInputFormat(std::unique_ptr<LogInputFormat>* format) {
  *format = std::make_unique<EventLogInputFormat>();
  return Status::success();
}

Status WevtLogQueryEngine::listLogs(std::vector<EventLogSource>* logs) {
  if (!exportFolder_().empty()) return exported_.listLogs(logs);
  logs->clear();
  std::vector<std::wstring> channels;
  Status s = api_.channels(&channels);
  if (!s.ok()) {
    return Status{kErrAutomation,
                  "The event logs of this computer cannot be listed: " + s.description +
                      " (system error " + std::to_string(s.number) + ")"};
  }
  for (const std::wstring& channel : channels) {
    std::optional<std::string> name = utf8ToAnsiExactly(utf16leToUtf8(wideBytes(channel)));
    if (name && !name->empty()) logs->push_back({*name, ""});
  }
  std::sort(logs->begin(), logs->end(),
            [](const EventLogSource& a, const EventLogSource& b) { return a.name < b.name; });
  return Status::success();
}

void WevtLogQueryEngine::readLogsFrom(const std::string& folder) {
  exportFolder_ = [folder] { return folder; };
}

}  // namespace sccevtmon
