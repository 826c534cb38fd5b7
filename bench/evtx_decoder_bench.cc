// The .evtx decoder over the largest sample log (large/Security.evtx, 16 MiB, 24,839 records):
//  - BM_DecodeAllRecords: the decoder alone over the file's bytes in memory, checksums checked,
//    every record wanted and every field the monitor maps made;
//  - BM_EvtxHourlyRun: the log query engine as an hourly run uses it (the file read, the window
//    2019-03-25 12:00:00 to 12:59:59 on TimeCreated, every column of every kept row read);
//  - BM_EvtxDensestDay20Entries: the engine and the record loading with a template of 20
//    entries over the densest day (2016-09-19 16:00:00 to 2016-09-20 16:59:59);
//  - BM_Crc32Chunk: the records checksum of one 64 KiB chunk, by the tables alone (0) and by
//    crc32() as the decoder calls it (1), side by side.
// Counters are per CPU second; peak_rss_MiB is the process's peak (run one benchmark per
// process for a figure of its own; bench/run-evtx-bench does).

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "evtx/crc32.h"
#include "evtx/evtx.h"
#include "extract/record_loading.h"
#include "platform/eventlog/exported_log_engine.h"
#include "query_run.h"

namespace sccevtmon {
namespace {

std::string dataFolder() {
  const char* v = getenv("SCCEVTMON_DATA_DIR");
  return std::string(v != nullptr && *v != '\0' ? v : SCCEVTMON_SOURCE_DIR "/../shared/data") +
         "/evtx-samples/large";
}

// Makes every field of every record that the monitor's columns are made of.
class AllFields : public evtx::RecordSink {
  static constexpr std::uint32_t kMonitorParts =
      evtx::kEventId | evtx::kLevel | evtx::kTask | evtx::kKeywords | evtx::kProviderName |
      evtx::kEventSourceName | evtx::kRenderedTask | evtx::kRenderedMessage | evtx::kStrings;

 public:
  std::uint32_t wanted(std::uint64_t, const evtx::CreationTime& created) override {
    sum_ += created.fileTime;
    return kMonitorParts;
  }
  void take(const evtx::Event& e) override {
    for (const evtx::Field* f :
         {&e.systemTime, &e.eventId, &e.level, &e.task, &e.keywords, &e.providerName,
          &e.eventSourceName, &e.renderedTask, &e.renderedMessage}) {
      sum_ += f->text.size();
    }
    for (std::string_view s : e.strings) sum_ += s.size();
  }
  std::uint64_t sum_ = 0;
};

void BM_DecodeAllRecords(benchmark::State& state) {
  std::ifstream in(dataFolder() + "/Security.evtx", std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) {
    state.SkipWithError("sample data not found (set SCCEVTMON_DATA_DIR)");
    return;
  }
  evtx::Decoder decoder;
  AllFields sink;
  long records = 0;
  for (auto _ : state) {
    evtx::Summary s = decoder.read(std::as_bytes(std::span(bytes.data(), bytes.size())), sink);
    records += s.records;
  }
  benchmark::DoNotOptimize(sink.sum_);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes.size()) * state.iterations());
  state.counters["records_per_s"] = benchmark::Counter(records, benchmark::Counter::kIsRate);
  state.counters["peak_rss_MiB"] = peakMiB();
}

const char kSelect[] =
    "SELECT EventTypeName AS evttype, TimeGenerated AS datetime, SourceName AS evtsrc, "
    "EventCategoryName AS cat, EventID as evtid,  Message as msg  FROM 'Security' WHERE 0=0  "
    "AND TimeGenerated Between TIMESTAMP('";

std::string windowQuery(const char* from, const char* to) {
  return kSelect + std::string(from) + "','yyyy-MM-dd hh:mm:ss') AND TIMESTAMP('" + to +
         "','yyyy-MM-dd hh:mm:ss')";
}

void BM_EvtxHourlyRun(benchmark::State& state) {
  if (!std::filesystem::exists(dataFolder() + "/Security.evtx")) {
    state.SkipWithError("sample data not found (set SCCEVTMON_DATA_DIR)");
    return;
  }
  runQuery(state, dataFolder(), windowQuery("2019-03-25 12:00:00", "2019-03-25 12:59:59"));
}

class DiscardStream : public TextStream {
 public:
  Status writeLine(const std::string&) override { return Status::success(); }
  Status write(const std::string&) override { return Status::success(); }
  Status flush() override { return Status::success(); }
  Status close() override { return Status::success(); }
};

class FixedClock : public Clock {
 public:
  LocalTime now() override { return {2016, 9, 20, 17, 5, 0}; }
};

// Twenty entries for the Security log, of every filter kind.
std::vector<MonitorEntry> twentyEntries() {
  const char* ids[] = {"4625", "4624", "4672", "4907", "5058", "5061", "4648", "4634"};
  std::vector<MonitorEntry> entries;
  for (int i = 0; i < 20; ++i) {
    MonitorEntry e;
    e.evntlgsourcestr = "Security";
    e.outputopt = i % 2 == 0 ? "3" : "1";
    e.scriptid = std::to_string(100 + i);
    e.scriptver = "1";
    const std::string id = ids[i % 8];
    switch (i % 5) {
      case 0:  // type and source
        e.evnttype = "16";
        e.evntsource = "Microsoft-Windows-Security-Auditing";
        break;
      case 1:  // IDs
        e.evnttype = "0";
        e.evntid = id + ",4776";
        break;
      case 2:  // description
        e.evnttype = "8;16";
        e.evntdesc = "NtLmSsp##Kerberos";
        e.evntdescstrt = "contain";
        e.evntdescandor = "OR";
        break;
      case 3:  // source and ID pairs
        e.evnttype = "0";
        e.evntsourandid = "Microsoft-Windows-Security-Auditing;" + id + ",4625";
        break;
      default:  // success audits of one ID
        e.evnttype = "8";
        e.evntid = id;
        break;
    }
    entries.push_back(e);
  }
  return entries;
}

void BM_EvtxDensestDay20Entries(benchmark::State& state) {
  if (!std::filesystem::exists(dataFolder() + "/Security.evtx")) {
    state.SkipWithError("sample data not found (set SCCEVTMON_DATA_DIR)");
    return;
  }
  std::string folder = dataFolder();
  ExportedLogQueryEngine engine(hostFiles(), [&] { return folder; });
  std::string query = windowQuery("2016-09-19 16:00:00", "2016-09-20 16:59:59");
  FixedClock clock;
  long loaded = 0;
  for (auto _ : state) {
    RunState rs;
    rs.activityLog.open(std::make_unique<DiscardStream>(), clock);
    rs.summaryStream = std::make_unique<DiscardStream>();
    rs.detailStream = std::make_unique<DiscardStream>();
    rs.monitorEntries = twentyEntries();
    std::unique_ptr<LogInputFormat> f;
    engine.createEventLogInputFormat(&f);
    rs.logInputFormat = std::move(f);
    std::unique_ptr<LogQuery> q;
    engine.createQuery(&q);
    if (!fncCreateRecordSet(rs, q, query, "Security", rs.failureReason)) {
      state.SkipWithError(rs.failureReason.c_str());
      return;
    }
    loaded += rs.totalEventCount;
  }
  state.counters["rows"] = benchmark::Counter(loaded, benchmark::Counter::kAvgIterations);
  state.counters["peak_rss_MiB"] = peakMiB();
}

void BM_Crc32Chunk(benchmark::State& state) {
  std::vector<std::byte> records(65536 - 512);
  for (std::size_t i = 0; i < records.size(); ++i)
    records[i] = static_cast<std::byte>(i * 131 >> 3);
  const bool portable = state.range(0) == 0;
  std::uint32_t sum = 0;
  for (auto _ : state) {
    sum += portable ? evtx::detail::crc32Portable(records) : evtx::crc32(records);
  }
  benchmark::DoNotOptimize(sum);
  state.SetBytesProcessed(static_cast<std::int64_t>(records.size()) * state.iterations());
  state.SetLabel(portable ? "tables" : evtx::detail::crc32Folds() ? "folded" : "tables");
}

BENCHMARK(BM_DecodeAllRecords)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_EvtxHourlyRun)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_EvtxDensestDay20Entries)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Crc32Chunk)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sccevtmon

int main(int argc, char** argv) {
  // Times are compared and shown in UTC, so that the windows find the same events anywhere.
  setenv("TZ", "UTC0", 1);
  tzset();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
