// Loading, filtering and row output of one event log's rows, fed through the log query
// interface by a generator (so no decoding is measured), with a template of 20 entries for
// that log. Reports rows per second and the process's peak resident memory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "base/run_state.h"
#include "extract/record_loading.h"

namespace sccevtmon {
namespace {

const char* const kTypes[] = {"Error event", "Warning event", "Information event",
                              "Success Audit event", "Failure Audit event"};

// Rows made on the fly from their number.
class GeneratedRecord : public LogRecord {
 public:
  long index = 0;
  Status getValue(const std::string& column, LogValue* value) const override {
    if (column == "evttype") {
      *value = kTypes[index % 5];
    } else if (column == "datetime") {
      *value = "03/07/2026 13:" + std::to_string(10 + index % 50) + ":00";
    } else if (column == "evtsrc") {
      *value = "Source" + std::to_string(index % 50);
    } else if (column == "cat") {
      *value = "None";
    } else if (column == "evtid") {
      *value = std::to_string(1000 + index % 200);
    } else {
      *value = "Event " + std::to_string(index) +
               " of the generated log: the service reported a condition that needs attention "
               "(code " +
               std::to_string(index % 97) + ").";
    }
    return Status::success();
  }
};

class GeneratedRows : public LogRecordSet {
 public:
  explicit GeneratedRows(long count) : count_(count) {}
  long inputUnitsProcessed() override { return count_; }
  bool atEnd() override { return record_.index >= count_; }
  const LogRecord& getRecord() override { return record_; }
  Status moveNext() override {
    ++record_.index;
    return Status::success();
  }

 private:
  long count_;
  GeneratedRecord record_;
};

class GeneratedQuery : public LogQuery {
 public:
  explicit GeneratedQuery(long count) : count_(count) {}
  Status execute(const std::string&, LogInputFormat&,
                 std::unique_ptr<LogRecordSet>* result) override {
    *result = std::make_unique<GeneratedRows>(count_);
    return Status::success();
  }

 private:
  long count_;
};

class DiscardStream : public TextStream {
 public:
  Status writeLine(const std::string&) override { return Status::success(); }
  Status write(const std::string&) override { return Status::success(); }
  Status flush() override { return Status::success(); }
  Status close() override { return Status::success(); }
};

class FixedClock : public Clock {
 public:
  LocalTime now() override { return {2026, 3, 7, 14, 5, 9}; }
};

// Twenty entries of every filter kind, each selecting a small share of the rows.
std::vector<MonitorEntry> twentyEntries(const std::string& option) {
  std::vector<MonitorEntry> entries;
  for (int i = 0; i < 20; ++i) {
    MonitorEntry e;
    e.evntlgsourcestr = "System";
    e.outputopt = option;
    e.scriptid = std::to_string(100 + i);
    e.scriptver = "1";
    switch (i % 5) {
      case 0:  // type and source
        e.evnttype = "1;2";
        e.evntsource = "Source" + std::to_string(i) + ",Source" + std::to_string(i + 5);
        break;
      case 1:  // IDs
        e.evnttype = "0";
        e.evntid = std::to_string(1000 + i) + "," + std::to_string(1100 + i);
        break;
      case 2:  // description
        e.evnttype = "4";
        e.evntsource = "Source" + std::to_string(i + 10);
        e.evntdesc = "needs attention##code";
        e.evntdescstrt = "contain";
        e.evntdescandor = "OR";
        break;
      case 3:  // pairs
        e.evnttype = "0";
        e.evntsourandid = "Source" + std::to_string(i) + ";" + std::to_string(1000 + i) + "," +
                          std::to_string(1050 + i) + "##Source" + std::to_string(i + 1) + ";" +
                          std::to_string(1001 + i);
        break;
      default:  // failure audits of one source
        e.evnttype = "16";
        e.evntsource = "Source" + std::to_string(i);
        break;
    }
    entries.push_back(e);
  }
  return entries;
}

double peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_LoadFilterOutput(benchmark::State& state) {
  const long rows = state.range(0);
  const std::string option = std::to_string(state.range(1));
  FixedClock clock;
  std::size_t copies = 0;
  for (auto _ : state) {
    RunState rs;
    rs.activityLog.open(std::make_unique<DiscardStream>(), clock);
    rs.summaryStream = std::make_unique<DiscardStream>();
    rs.detailStream = std::make_unique<DiscardStream>();
    rs.monitorEntries = twentyEntries(option);
    rs.logInputFormat = std::make_unique<LogInputFormat>();
    std::unique_ptr<LogQuery> query = std::make_unique<GeneratedQuery>(rows);
    fncCreateRecordSet(rs, query, "SELECT ...", "System", rs.failureReason);
    copies = rs.summaryXml.size() + rs.detailXml.size();
    benchmark::DoNotOptimize(rs.totalEventCount);
  }
  state.SetItemsProcessed(state.iterations() * rows);
  state.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(rows) * state.iterations(),
                                                    benchmark::Counter::kIsRate);
  state.counters["peak_MB"] = peakMegabytes();
  state.counters["text_copies_MB"] = static_cast<double>(copies) / (1024.0 * 1024.0);
}

BENCHMARK(BM_LoadFilterOutput)
    ->Args({1000000, 1})
    ->Args({1000000, 3})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace sccevtmon

BENCHMARK_MAIN();
