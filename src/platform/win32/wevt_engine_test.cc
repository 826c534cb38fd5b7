// The live event-log engine through a fake of its wevtapi seam: the window's XPath, the
// mapping of rendered and formatted event XML to the columns, the fallback text, the record
// count and the error paths. What the fake cannot show, the real event log, is in
// docs/windows-acceptance.md.
#include "platform/win32/wevt_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cwchar>
#include <map>
#include <set>

#include "platform/clock.h"
#include "testing/native_fixture.h"
#include "testing/sample_data.h"
#include "testing/temp_folder.h"
#include "util/civil_time.h"

namespace sccevtmon {
namespace {

// One event of a fake channel.
struct FakeEvent {
  std::wstring rendered;   // what EvtRender gives; empty: rendering fails
  std::wstring formatted;  // what EvtFormatMessage gives (or wrote before failing)
  long formatError = 0;    // the code EvtFormatMessage fails with
  size_t size = 1;         // its share of a batch's data
};

struct FakeChannel {
  std::uint64_t count = 0;  // what EvtGetLogInfo says the channel holds
  std::vector<FakeEvent> events;
  long countError = 0;  // EvtOpenLog/EvtGetLogInfo fail with this code
  long queryError = 0;  // EvtQuery fails with this code
  // EvtNext fails with nextError once a result has reached event index failAt (by number).
  size_t failAt = SIZE_MAX;
  long nextError = 0;
  size_t byteLimit = 0;  // a batch whose sizes add up to more fails with 1734; 0: none
  // A result that reaches index staleAt goes stale (15011), staleTimes times in all.
  size_t staleAt = 0;
  int staleTimes = 0;
};

// The record number in an event's XML text.
size_t recordOf(const std::wstring& xml) {
  size_t at = xml.find(L"<EventRecordID>");
  return at == std::wstring::npos ? 0 : std::wcstoul(xml.c_str() + at + 15, nullptr, 10);
}

Status systemFailure(long code) {
  static const std::map<long, std::string> kTexts = {
      {5, "Access is denied."},
      {kErrorEvtChannelNotFound, "The specified channel could not be found."},
      {kErrorEvtPublisherMetadataNotFound, "The publisher metadata cannot be found."},
      {kErrorEvtMessageNotFound,
       "The message resource is present but the message was not "
       "found in the message table."},
      {kErrorEvtUnresolvedValueInsert,
       "The substitution string for insert index (%1) could not "
       "be found."},
      {15011, "The query result is stale or invalid."}};
  auto found = kTexts.find(code);
  return Status{code, found == kTexts.end() ? "" : found->second, ErrorDomain::kSystem};
}

// The seam over channels held in memory. Every handle it gives out must come back to close().
class FakeWevtApi : public WevtApi {
 public:
  std::map<std::wstring, FakeChannel> channelsByName;
  std::set<std::wstring> publishers;      // providers with metadata
  std::vector<std::wstring> channelList;  // what channels() gives
  long channelsError = 0;
  size_t batch = 2;  // events per EvtNext at most

  std::vector<std::string> calls;    // "recordCount", "query", "openPublisher NAME", ...
  std::vector<std::wstring> xpaths;  // the XPath of each query
  std::vector<std::wstring> channelsAsked;

  // Handles given out and not closed yet.
  size_t openHandles() const { return handles_.size(); }
  bool closedTwice = false;

  Status recordCount(const std::wstring& channel, std::uint64_t* count) override {
    calls.push_back("recordCount");
    channelsAsked.push_back(channel);
    auto found = channelsByName.find(channel);
    if (found == channelsByName.end()) return systemFailure(kErrorEvtChannelNotFound);
    if (found->second.countError != 0) return systemFailure(found->second.countError);
    *count = found->second.count;
    return Status::success();
  }

  Status query(const std::wstring& channel, const std::wstring& xpath,
               WevtHandle* results) override {
    calls.push_back("query");
    xpaths.push_back(xpath);
    auto found = channelsByName.find(channel);
    if (found == channelsByName.end()) return systemFailure(kErrorEvtChannelNotFound);
    if (found->second.queryError != 0) return systemFailure(found->second.queryError);
    // A reissued query starts after the record it names.
    size_t first = 0;
    size_t after = xpath.find(L"EventRecordID>");
    if (after != std::wstring::npos) {
      size_t record = std::wcstoul(xpath.c_str() + after + 14, nullptr, 10);
      const auto& events = found->second.events;
      while (first < events.size() && recordOf(events[first].rendered) <= record) ++first;
    }
    *results = give({Kind::kResults, &found->second, first, L""});
    return Status::success();
  }

  Status next(WevtHandle results, std::size_t max, std::vector<WevtHandle>* events) override {
    calls.push_back("next " + std::to_string(max));
    Handle& h = handles_.at(results);
    FakeChannel& channel = *h.channel;
    if (h.stale) return systemFailure(kErrorEvtQueryResultStale);
    if (channel.staleTimes > 0 && h.index >= channel.staleAt) {
      --channel.staleTimes;
      h.stale = true;
      return systemFailure(kErrorEvtQueryResultStale);
    }
    if (h.index >= channel.failAt) return systemFailure(channel.nextError);
    size_t end = std::min({h.index + max, h.index + batch, channel.events.size()});
    size_t bytes = 0;
    for (size_t k = h.index; k < end; ++k) bytes += channel.events[k].size;
    if (channel.byteLimit != 0 && bytes > channel.byteLimit) {
      return systemFailure(kRpcInvalidBound);
    }
    while (h.index < end) events->push_back(give({Kind::kEvent, &channel, h.index++, L""}));
    return Status::success();
  }

  Status skip(WevtHandle results) override {
    calls.push_back("skip");
    handles_.at(results).index++;
    return Status::success();
  }

  Status renderXml(WevtHandle event, std::wstring* xml) override {
    const FakeEvent& e = eventOf(event);
    if (e.rendered.empty()) return systemFailure(13);
    *xml = e.rendered;
    return Status::success();
  }

  Status openPublisher(const std::wstring& provider, WevtHandle* publisher) override {
    calls.push_back("openPublisher " + std::string(provider.begin(), provider.end()));
    if (publishers.count(provider) == 0) return systemFailure(kErrorEvtPublisherMetadataNotFound);
    *publisher = give({Kind::kPublisher, nullptr, 0, provider});
    return Status::success();
  }

  Status formatXml(WevtHandle publisher, WevtHandle event, std::wstring* xml) override {
    EXPECT_EQ(handles_.at(publisher).kind, Kind::kPublisher);
    const FakeEvent& e = eventOf(event);
    *xml = e.formatted;
    if (e.formatError != 0) return systemFailure(e.formatError);
    return Status::success();
  }

  Status channels(std::vector<std::wstring>* names) override {
    if (channelsError != 0) return systemFailure(channelsError);
    *names = channelList;
    return Status::success();
  }

  void close(WevtHandle handle) override {
    if (handle == 0) return;
    if (handles_.erase(handle) == 0) closedTwice = true;
  }

 private:
  enum class Kind { kResults, kEvent, kPublisher };
  struct Handle {
    Kind kind;
    FakeChannel* channel;
    size_t index;  // kResults: the next event; kEvent: the event
    std::wstring provider;
    bool stale = false;
  };

  WevtHandle give(Handle h) {
    handles_.emplace(++last_, std::move(h));
    return last_;
  }
  const FakeEvent& eventOf(WevtHandle event) {
    Handle& h = handles_.at(event);
    EXPECT_EQ(h.kind, Kind::kEvent);
    return h.channel->events.at(h.index);
  }

  std::map<WevtHandle, Handle> handles_;
  WevtHandle last_ = 0;
};

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// An event's XML as EvtRender gives it (single quotes, the event namespace, no declaration).
struct EventSpec {
  std::wstring provider = L"Service Control Manager";
  std::wstring sourceName;  // EventSourceName, when the provider has one
  int id = 7036;
  int level = 4;
  int task = 0;
  std::string keywords = "0x8080000000000000";
  std::string utc = "2026-03-07T13:10:00.1234567Z";
  int record = 1;
  std::wstring data;  // what follows System: EventData or UserData
};

std::wstring rendered(const EventSpec& e) {
  std::wstring source = e.sourceName.empty() ? L"" : L" EventSourceName='" + e.sourceName + L"'";
  return L"<Event xmlns='http://schemas.microsoft.com/win/2004/08/events/event'><System>"
         L"<Provider Name='" +
         e.provider + L"' Guid='{555908d1-a6d7-4695-8e1e-26931d2012f4}'" + source +
         L"/><EventID Qualifiers='16384'>" + std::to_wstring(e.id) +
         L"</EventID><Version>0"
         L"</Version><Level>" +
         std::to_wstring(e.level) + L"</Level><Task>" + std::to_wstring(e.task) +
         L"</Task><Opcode>0</Opcode><Keywords>" + widen(e.keywords) +
         L"</Keywords><TimeCreated SystemTime='" + widen(e.utc) + L"'/><EventRecordID>" +
         std::to_wstring(e.record) +
         L"</EventRecordID><Channel>System</Channel><Computer>"
         L"DESK-1</Computer><Security/></System>" +
         e.data + L"</Event>";
}

// The same event as EvtFormatMessage(EvtFormatMessageXml) gives it: with RenderingInfo.
std::wstring formatted(const EventSpec& e, const std::wstring& message,
                       const std::wstring& task = L"") {
  std::wstring xml = rendered(e);
  xml.insert(xml.size() - 8, L"<RenderingInfo Culture='en-US'>" +
                                 (message.empty() ? L"" : L"<Message>" + message + L"</Message>") +
                                 L"<Level>Information</Level><Task>" + task +
                                 L"</Task><Opcode>Info</Opcode><Channel>System</Channel>"
                                 L"<Provider>Microsoft-Windows-Service Control Manager</Provider>"
                                 L"<Keywords><Keyword>Classic</Keyword></Keywords>"
                                 L"</RenderingInfo>");
  return xml;
}

// The local time text the columns give for a UTC SystemTime, in this machine's zone.
std::string localText(const std::string& utc) {
  LocalTime t = fromCivilSeconds(utcToLocalCivil(*parseSystemTime(utc)));
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d", t.month, t.day, t.year,
                t.hour, t.minute, t.second);
  return buffer;
}

// A query over a window of local time given as "yyyy-MM-dd hh:mm:ss" texts.
std::string query(const std::string& log, const std::string& from = "",
                  const std::string& to = "") {
  std::string text =
      "SELECT EventTypeName AS evttype, TimeGenerated AS datetime, SourceName AS evtsrc, "
      "EventCategoryName AS cat, EventID as evtid,  Message as msg  FROM '" +
      log + "'";
  if (!from.empty()) {
    text += " WHERE 0=0  AND TimeGenerated Between TIMESTAMP('" + from +
            "','yyyy-MM-dd hh:mm:ss') AND TIMESTAMP('" + to + "','yyyy-MM-dd hh:mm:ss')";
  }
  return text;
}

const char kFrom[] = "2026-03-05 00:00:00";
const char kTo[] = "2026-03-09 23:59:59";

class WevtEngineTest : public ::testing::Test {
 protected:
  FakeWevtApi api;
  std::string exportFolder;  // none: the channels
  WevtLogQueryEngine engine{api, hostFiles(), [this] { return exportFolder; }};
  long processed = -1;

  // The rows as "evttype|datetime|evtsrc|cat|evtid|msg", or "failed NUMBER: description".
  std::vector<std::string> run(const std::string& text) {
    std::unique_ptr<LogQuery> q;
    std::unique_ptr<LogInputFormat> format;
    EXPECT_TRUE(engine.createQuery(&q).ok());
    EXPECT_TRUE(engine.createEventLogInputFormat(&format).ok());
    std::unique_ptr<LogRecordSet> set;
    Status s = q->execute(text, *format, &set);
    EXPECT_EQ(api.openHandles(), 0u) << "a handle was left open";
    EXPECT_FALSE(api.closedTwice);
    if (!s.ok()) return {"failed " + std::to_string(s.number) + ": " + s.description};
    processed = set->inputUnitsProcessed();
    std::vector<std::string> rows;
    for (; !set->atEnd(); set->moveNext()) {
      std::string row;
      for (const char* column : {"evttype", "datetime", "evtsrc", "cat", "evtid", "msg"}) {
        LogValue v;
        EXPECT_TRUE(set->getRecord().getValue(column, &v).ok());
        row += (row.empty() ? "" : "|") + v.value_or("<null>");
      }
      rows.push_back(row);
    }
    return rows;
  }
};

// ---------------------------------------------------------------------------------------------
// The window

long long civil(int y, int mo, int d, int h, int mi, int s) {
  return civilSeconds({y, mo, d, h, mi, s});
}

// A zone of central Europe in 2021: UTC+1, UTC+2 from 03-28 01:00 UTC to 10-31 01:00 UTC.
long long europe(long long utc) {
  bool summer = utc >= civil(2021, 3, 28, 1, 0, 0) && utc < civil(2021, 10, 31, 1, 0, 0);
  return utc + (summer ? 7200 : 3600);
}

// The UTC range [from, to) an XPath of windowXPath selects.
std::pair<long long, long long> xpathRange(const std::wstring& xpath) {
  auto at = [&](const wchar_t* marker) {
    size_t k = xpath.find(marker) + std::wcslen(marker);
    std::wstring text = xpath.substr(k, 24);
    return *parseSystemTime(std::string(text.begin(), text.end()));
  };
  return {at(L"@SystemTime>='"), at(L"@SystemTime<'")};
}

TEST(WevtWindowTest, TheWindowIsCarriedInTheQueryInUtc) {
  auto plusOne = [](long long utc) { return utc + 3600; };
  EXPECT_EQ(windowXPath({true, civil(2009, 1, 5, 8, 7, 3), civil(2009, 1, 5, 9, 0, 0)}, plusOne),
            L"*[System[TimeCreated[@SystemTime>='2009-01-05T07:07:03.000Z' and "
            L"@SystemTime<'2009-01-05T08:00:01.000Z']]]");
  // Across the turn of the year, west of Greenwich.
  auto minusFive = [](long long utc) { return utc - 5 * 3600; };
  EXPECT_EQ(
      windowXPath({true, civil(2009, 12, 31, 23, 30, 0), civil(2010, 1, 1, 0, 30, 0)}, minusFive),
      L"*[System[TimeCreated[@SystemTime>='2010-01-01T04:30:00.000Z' and "
      L"@SystemTime<'2010-01-01T05:30:01.000Z']]]");
  EXPECT_EQ(windowXPath({}, plusOne), L"*");
}

TEST(WevtWindowTest, ADaylightSavingChangeWidensTheRangeByTheHourItShifts) {
  // The repeated hour of the autumn: local 02:00 to 02:59:59 happens at UTC 00:00 and 01:00.
  EXPECT_EQ(
      windowXPath({true, civil(2021, 10, 31, 2, 0, 0), civil(2021, 10, 31, 2, 59, 59)}, europe),
      L"*[System[TimeCreated[@SystemTime>='2021-10-31T00:00:00.000Z' and "
      L"@SystemTime<'2021-10-31T02:00:00.000Z']]]");
  // Whatever the window, every instant whose local time lies in it is in the range.
  const long long starts[] = {civil(2021, 3, 28, 0, 0, 0), civil(2021, 3, 28, 2, 30, 0),
                              civil(2021, 10, 30, 23, 15, 0), civil(2021, 10, 31, 2, 30, 0),
                              civil(2021, 6, 1, 12, 0, 0)};
  for (long long from : starts) {
    for (long long length : {0LL, 1799LL, 3600LL, 7199LL, 86399LL}) {
      auto [lo, hi] = xpathRange(windowXPath({true, from, from + length}, europe));
      EXPECT_LE(hi - lo, length + 1 + 3600) << "wider than the window and one hour";
      for (long long utc = from - 20 * 3600; utc < from + length + 20 * 3600; utc += 60) {
        long long local = europe(utc);
        if (local >= from && local <= from + length) {
          ASSERT_TRUE(utc >= lo && utc < hi) << "local " << from << "+" << length << " utc " << utc;
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Live queries

TEST_F(WevtEngineTest, FormattedEventsGiveEveryColumnOldestFirst) {
  EventSpec scm;
  scm.sourceName = L"Service Control Manager";
  EventSpec audit;
  audit.provider = L"Microsoft-Windows-Security-Auditing";
  audit.id = 4625;
  audit.level = 0;
  audit.task = 12544;
  audit.keywords = "0x8010000000000000";
  audit.utc = "2026-03-07T13:20:05.9999999Z";
  audit.record = 2;
  audit.data = L"<EventData><Data Name='TargetUserName'>bob</Data></EventData>";
  EventSpec old = scm;
  old.utc = "2001-05-01T10:00:00.0000000Z";
  old.record = 3;
  EventSpec unicode = scm;
  unicode.record = 4;
  FakeChannel& system = api.channelsByName[L"System"];
  system.count = 9;
  system.events = {
      {rendered(scm), formatted(scm, L"The Windows Update service entered the running state.")},
      {rendered(audit),
       formatted(audit, L"An account failed to log on.\r\n\r\nSubject:\r\n\tSecurity ID:\t\tbob",
                 L"Logon")},
      {rendered(old), formatted(old, L"Too old.")},
      {rendered(unicode), formatted(unicode, L"Caf\u00e9 \u20ac5 \u4e2d &amp; &lt;ok&gt;")}};
  api.publishers = {L"Service Control Manager", L"Microsoft-Windows-Security-Auditing"};

  EXPECT_EQ(run(query("System", kFrom, kTo)),
            (std::vector<std::string>{
                "Information event|" + localText(scm.utc) +
                    "|Service Control Manager|None|7036|The Windows Update service entered the "
                    "running state.",
                "Failure Audit event|" + localText(audit.utc) +
                    "|Microsoft-Windows-Security-Auditing|Logon|4625|An account failed to log "
                    "on.  Subject:  Security ID:  bob",
                "Information event|" + localText(unicode.utc) +
                    "|Service Control Manager|None|7036|Caf\xE9 \x80"
                    "5 ? & <ok>"}));
  // Every record of the channel, not only those the window kept.
  EXPECT_EQ(processed, 9);
  ASSERT_EQ(api.xpaths.size(), 1u);
  auto [from, to] = xpathRange(api.xpaths[0]);
  EXPECT_LE(from, *parseSystemTime(scm.utc));
  EXPECT_GT(to, *parseSystemTime(audit.utc));
  EXPECT_LT(to - from, 6 * 86400);
  // One publisher opened per provider.
  EXPECT_EQ(std::count(api.calls.begin(), api.calls.end(), "openPublisher Service Control Manager"),
            1);
}

TEST_F(WevtEngineTest, WithoutPublisherOrMessageTheDescriptionCannotBeFoundTextCarriesTheData) {
  EventSpec legacy;
  legacy.provider = L"Legacy &amp; App";
  legacy.id = 1000;
  legacy.level = 2;
  legacy.task = 3;
  legacy.data =
      L"<EventData><Data>first</Data><Data></Data><Data>third\r\nline</Data>"
      L"<Binary>0A0B</Binary></EventData>";
  EventSpec noMessage = legacy;
  noMessage.provider = L"Has Metadata";
  noMessage.task = 0;
  noMessage.level = 3;
  EventSpec partial = noMessage;
  EventSpec user = legacy;
  user.data =
      L"<UserData><Log xmlns='x'><Name>Security</Name><Who><Sid>S-1-5</Sid></Who>"
      L"</Log></UserData>";
  FakeChannel& app = api.channelsByName[L"Application"];
  app.count = 4;
  app.events = {
      {rendered(legacy), L""},
      {rendered(noMessage), formatted(noMessage, L"", L"Disk"), kErrorEvtMessageNotFound},
      {rendered(partial), formatted(partial, L"Copied %1 files."), kErrorEvtUnresolvedValueInsert},
      {rendered(user), L""}};
  api.publishers = {L"Has Metadata"};
  const std::string cannot =
      "cannot be found. The following information was included with the "
      "event: ";
  std::string at = localText(legacy.utc);
  EXPECT_EQ(
      run(query("Application")),
      (std::vector<std::string>{"Error event|" + at +
                                    "|Legacy & App|(3)|1000|The description for Event ID 1000 "
                                    "from source Legacy & App " +
                                    cannot + "first, , third line",
                                // Without its message the publisher still names the task.
                                "Warning event|" + at +
                                    "|Has Metadata|Disk|1000|The description for Event ID "
                                    "1000 from source Has Metadata " +
                                    cannot + "first, , third line",
                                "Warning event|" + at + "|Has Metadata|None|1000|Copied %1 files.",
                                "Error event|" + at +
                                    "|Legacy & App|(3)|1000|The description for Event ID 1000 "
                                    "from source Legacy & App " +
                                    cannot + "Security, S-1-5"}));
  EXPECT_EQ(std::count(api.calls.begin(), api.calls.end(), "openPublisher Legacy & App"), 1);
  EXPECT_EQ(processed, 4);
}

TEST_F(WevtEngineTest, AChannelThatDoesNotExistOrCannotBeReadFailsTheQuery) {
  EXPECT_EQ(run(query("Nope", kFrom, kTo)),
            (std::vector<std::string>{
                "failed 440: The specified event log Nope was not found on this computer"}));
  EXPECT_EQ(api.calls, (std::vector<std::string>{"recordCount"}));

  api.channelsByName[L"Security"].countError = 5;
  EXPECT_EQ(run(query("Security", kFrom, kTo)),
            (std::vector<std::string>{
                "failed 440: The event log Security cannot be read: Access is denied. (system "
                "error 5)"}));
  api.channelsByName[L"Security"] = FakeChannel{};
  api.channelsByName[L"Security"].queryError = 5;
  EXPECT_EQ(run(query("Security", kFrom, kTo)),
            (std::vector<std::string>{
                "failed 440: The event log Security cannot be read: Access is denied. (system "
                "error 5)"}));
  // A NUL would name another channel.
  EXPECT_EQ(
      run(query(std::string("Sys\0tem", 7), kFrom, kTo)),
      (std::vector<std::string>{"failed 440: The specified event log " +
                                std::string("Sys\0tem", 7) + " was not found on this computer"}));
}

// Each failure EvtNext can meet, at the first, a middle and the last of the batches over a log
// of 70 events (30, 30, 10): what is read (the event IDs, which are the record numbers), the
// count, and how the engine asked.
TEST_F(WevtEngineTest, EvtNextFailuresAtEachBatch) {
  enum Failure { kLarge, kTooLargeAlone, kStale, kStaleTooOften, kDenied };
  const struct {
    const char* name;
    Failure failure;
    size_t at;  // the event index the failure is tied to
  } kCases[] = {
      {"large event, first batch", kLarge, 5},
      {"large event, middle batch", kLarge, 40},
      {"large event, last batch", kLarge, 69},
      {"event too large alone, first batch", kTooLargeAlone, 0},
      {"event too large alone, middle batch", kTooLargeAlone, 40},
      {"event too large alone, last batch", kTooLargeAlone, 69},
      {"stale result, first batch", kStale, 0},
      {"stale result, middle batch", kStale, 30},
      {"stale result, last batch", kStale, 60},
      {"stale four times, first batch", kStaleTooOften, 0},
      {"stale four times, middle batch", kStaleTooOften, 30},
      {"stale four times, last batch", kStaleTooOften, 60},
      {"access denied, first batch", kDenied, 0},
      {"access denied, middle batch", kDenied, 30},
      {"access denied, last batch", kDenied, 60},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    api = FakeWevtApi{};
    api.batch = 1000;
    FakeChannel& system = api.channelsByName[L"System"];
    system.count = 70;
    std::vector<std::string> ids;
    for (int k = 0; k < 70; ++k) {
      EventSpec e;
      e.id = e.record = 100 + k;
      system.events.push_back({rendered(e), formatted(e, L"m")});
      ids.push_back(std::to_string(e.id));
    }
    api.publishers = {EventSpec{}.provider};
    // The RPC limit holds 40 small events; a large one takes 35 of it, one too large alone 41.
    if (c.failure == kLarge || c.failure == kTooLargeAlone) {
      system.byteLimit = 40;
      system.events[c.at].size = c.failure == kLarge ? 35 : 41;
    }
    if (c.failure == kTooLargeAlone) ids.erase(ids.begin() + c.at);
    if (c.failure == kStale || c.failure == kStaleTooOften) {
      system.staleAt = c.at;
      system.staleTimes = c.failure == kStale ? 3 : 4;
    }
    if (c.failure == kDenied) {
      system.failAt = c.at;
      system.nextError = 5;
    }

    // Each row by its event ID ("...|7036|m"), a failure as it is.
    std::vector<std::string> read;
    for (std::string row : run(query("System"))) {
      if (row.size() > 2 && row.compare(row.size() - 2, 2, "|m") == 0) {
        row.resize(row.size() - 2);
        row.erase(0, row.rfind('|') + 1);
      }
      read.push_back(row);
    }
    if (c.failure == kStaleTooOften) {
      EXPECT_EQ(read, (std::vector<std::string>{
                          "failed 440: The event log System cannot be read: The query result is "
                          "stale or invalid. (system error 15011)"}));
    } else if (c.failure == kDenied) {
      EXPECT_EQ(read, (std::vector<std::string>{"failed 440: The event log System cannot be read: "
                                                "Access is denied. (system error 5)"}));
    } else {
      EXPECT_EQ(read, ids);
      EXPECT_EQ(processed, 70);
    }
    std::vector<std::string> asked;
    for (const std::string& call : api.calls) {
      if (call.rfind("next ", 0) == 0 || call == "skip") asked.push_back(call);
    }
    EXPECT_EQ(asked.front(), "next 30");
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "skip"), c.failure == kTooLargeAlone);
    if (c.failure == kTooLargeAlone) {
      // Halved down to one event, then passed over.
      auto skip = std::find(asked.begin(), asked.end(), "skip");
      EXPECT_EQ(*(skip - 1), "next 1");
      if (c.at == 0) {
        EXPECT_EQ(std::vector<std::string>(asked.begin(), skip),
                  (std::vector<std::string>{"next 30", "next 15", "next 7", "next 3", "next 1"}));
      }
    }
    // The stale result reissued after the last record read, with the first query's XPath.
    std::vector<std::wstring> xpaths = {L"*"};
    if (c.failure == kStale || c.failure == kStaleTooOften) {
      std::wstring reissued =
          c.at == 0 ? L"*" : L"*[System[EventRecordID>" + std::to_wstring(99 + c.at) + L"]]";
      xpaths.insert(xpaths.end(), 3, reissued);
    }
    EXPECT_EQ(api.xpaths, xpaths);
  }
}

TEST_F(WevtEngineTest, AReissuedQueryKeepsTheWindow) {
  EventSpec e;
  e.record = 7;
  FakeChannel& system = api.channelsByName[L"System"];
  system.count = 2;
  system.events = {{rendered(e), L""}};
  e.record = 8;
  system.events.push_back({rendered(e), L""});
  system.staleAt = 1;
  system.staleTimes = 1;
  api.batch = 1;
  EXPECT_EQ(run(query("System", kFrom, kTo)).size(), 2u);
  ASSERT_EQ(api.xpaths.size(), 2u);
  EXPECT_EQ(api.xpaths[1], L"*[System[EventRecordID>7 and " + api.xpaths[0].substr(9));
  EXPECT_EQ(api.xpaths[1].substr(0, 40), L"*[System[EventRecordID>7 and TimeCreated");
}

TEST_F(WevtEngineTest, AnEventThatCannotBeRenderedIsSkippedAndAllUnreadableFails) {
  EventSpec e;
  FakeChannel& system = api.channelsByName[L"System"];
  system.count = 3;
  system.events = {{L"", L""}, {rendered(e), L""}, {L"<Event><System>cut", L""}};
  EXPECT_EQ(run(query("System", kFrom, kTo)).size(), 1u);
  EXPECT_EQ(processed, 3);

  system.events = {{L"", L""}, {L"not xml", L""}};
  EXPECT_EQ(run(query("System", kFrom, kTo)),
            (std::vector<std::string>{
                "failed 440: The event log System cannot be read: none of the 2 records the "
                "query returned is readable"}));
}

TEST_F(WevtEngineTest, TheCountIsNeverBelowTheRecordsReturnedAndAnEmptyChannelCountsNone) {
  EventSpec e;
  FakeChannel& system = api.channelsByName[L"System"];
  system.count = 1;  // two records were written after the count was taken
  system.events = {{rendered(e), L""}, {rendered(e), L""}, {rendered(e), L""}};
  EXPECT_EQ(run(query("System", kFrom, kTo)).size(), 3u);
  EXPECT_EQ(processed, 3);
  api.channelsByName[L"Empty"];
  EXPECT_TRUE(run(query("Empty", kFrom, kTo)).empty());
  EXPECT_EQ(processed, 0);
}

TEST_F(WevtEngineTest, ChannelNamesAreTheProgramsTextInUtf16) {
  api.channelsByName[L"D\u00e9mo/Op\u00e9rationnel"];
  EXPECT_TRUE(run(query("D\xE9mo/Op\xE9rationnel")).empty());
  EXPECT_EQ(api.channelsAsked.back(), L"D\u00e9mo/Op\u00e9rationnel");

  api.channelList = {L"System", L"Application", L"\u4e2d-Log",
                     L"Microsoft-Windows-Sysmon/Operational"};
  std::vector<EventLogSource> logs;
  ASSERT_TRUE(engine.listLogs(&logs).ok());
  ASSERT_EQ(logs.size(), 3u);
  EXPECT_EQ(logs[0].name, "Application");
  EXPECT_EQ(logs[1].name, "Microsoft-Windows-Sysmon/Operational");
  EXPECT_EQ(logs[2].name, "System");
  EXPECT_EQ(logs[2].location, "");
  api.channelsError = 5;
  Status s = engine.listLogs(&logs);
  EXPECT_EQ(s.number, kErrAutomation);
  EXPECT_EQ(s.description,
            "The event logs of this computer cannot be listed: Access is denied. (system error 5)");
}

TEST_F(WevtEngineTest, ANamedFolderOfExportsIsReadInsteadOfTheChannels) {
  TempFolder folder;
  EventSpec e;
  std::wstring xml = formatted(e, L"From the export.");
  folder.write("System.xml", std::string(xml.begin(), xml.end()));
  api.channelsByName[L"System"].count = 1;

  engine.readLogsFrom(folder.path());
  EXPECT_EQ(run(query("System", kFrom, kTo)),
            (std::vector<std::string>{"Information event|" + localText(e.utc) +
                                      "|Service Control Manager|None|7036|From the export."}));
  EXPECT_EQ(processed, 1);
  EXPECT_EQ(run(query("Application", kFrom, kTo)),
            (std::vector<std::string>{"failed 440: The specified event log Application was not "
                                      "found in " +
                                      folder.path()}));
  std::vector<EventLogSource> logs;
  ASSERT_TRUE(engine.listLogs(&logs).ok());
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].location, folder.path() + "\\System.xml");
  EXPECT_TRUE(api.calls.empty()) << "the event log was asked";
}

TEST_F(WevtEngineTest, TheFolderIsAskedEachTimeAQueryRuns) {
  TempFolder folder;
  std::unique_ptr<LogQuery> q;
  std::unique_ptr<LogInputFormat> format;
  ASSERT_TRUE(engine.createQuery(&q).ok());
  ASSERT_TRUE(engine.createEventLogInputFormat(&format).ok());
  exportFolder = folder.path();  // known once the run has read the registry
  std::unique_ptr<LogRecordSet> set;
  Status s = q->execute(query("System"), *format, &set);
  EXPECT_EQ(s.description, "The specified event log System was not found in " + folder.path());
  EXPECT_TRUE(api.calls.empty());
}

// The system's wevtapi, as far as wine has one: its EvtOpenLog and EvtQuery are stubs that
// fail without an error code, so a query reaches the error path there too. On Windows the
// channel does not exist.
TEST(WevtSystemApiTest, AQueryOfAMissingChannelTakesTheErrorPath) {
  std::unique_ptr<WevtApi> api = makeSystemWevtApi();
  WevtLogQueryEngine engine(*api, hostFiles(), [] { return std::string(); });
  std::unique_ptr<LogQuery> q;
  std::unique_ptr<LogInputFormat> format;
  ASSERT_TRUE(engine.createQuery(&q).ok());
  ASSERT_TRUE(engine.createEventLogInputFormat(&format).ok());
  std::unique_ptr<LogRecordSet> set;
  Status s = q->execute(query("sccevtmon-no-such-channel", kFrom, kTo), *format, &set);
  EXPECT_EQ(s.number, kErrAutomation);
  const std::string notFound =
      "The specified event log sccevtmon-no-such-channel was not found on this computer";
  const std::string unreadable = "The event log sccevtmon-no-such-channel cannot be read: ";
  EXPECT_TRUE(s.description == notFound ||
              s.description.compare(0, unreadable.size(), unreadable) == 0)
      << s.description;
}

// Only on Windows (docs/windows-acceptance.md runs it there): the last day of the System log,
// read live. Prints what it read and how long it took.
TEST(WevtSystemApiTest, ReadsTheLastDayOfTheSystemLog) {
  if (runningUnderWine()) GTEST_SKIP() << "wine has no event log";
  std::unique_ptr<WevtApi> api = makeSystemWevtApi();
  WevtLogQueryEngine engine(*api, hostFiles(), [] { return std::string(); });
  auto text = [](long long civil) {
    LocalTime t = fromCivilSeconds(civil);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return std::string(buffer);
  };
  long long now = utcToLocalCivil(static_cast<long long>(std::time(nullptr)));
  std::unique_ptr<LogQuery> q;
  std::unique_ptr<LogInputFormat> format;
  ASSERT_TRUE(engine.createQuery(&q).ok());
  ASSERT_TRUE(engine.createEventLogInputFormat(&format).ok());
  std::unique_ptr<LogRecordSet> set;
  auto started = std::chrono::steady_clock::now();
  Status s = q->execute(query("System", text(now - 86400), text(now)), *format, &set);
  ASSERT_TRUE(s.ok()) << s.description;
  long rows = 0;
  for (; !set->atEnd(); set->moveNext(), ++rows) {
    LogValue type;
    LogValue id;
    LogValue msg;
    ASSERT_TRUE(set->getRecord().getValue("evttype", &type).ok());
    ASSERT_TRUE(set->getRecord().getValue("evtid", &id).ok());
    ASSERT_TRUE(set->getRecord().getValue("msg", &msg).ok());
    EXPECT_TRUE(type == "Error event" || type == "Warning event" || type == "Information event" ||
                type == "Success Audit event" || type == "Failure Audit event");
    EXPECT_TRUE(id && !id->empty());
    EXPECT_TRUE(msg && !msg->empty());
  }
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_GT(set->inputUnitsProcessed(), 0);
  std::printf("System: %ld records, %ld in the last day, %.3f s\n", set->inputUnitsProcessed(),
              rows, seconds);
}

}  // namespace
}  // namespace sccevtmon
