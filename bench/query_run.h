#pragma once

// What the query benchmarks share: one query run per iteration through the portable engine,
// every column of every row read, and the counters they report.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <memory>
#include <string>

#include "platform/eventlog/exported_log_engine.h"
#include "platform/posix/file_system.h"
#include "testing/sample_data.h"

namespace sccevtmon {

// The process's peak resident memory so far.
inline double peakMiB() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

// Runs query over the logs of folder once per iteration and reads each row's six columns.
inline void runQuery(benchmark::State& state, const std::string& folder, const std::string& query) {
  ExportedLogQueryEngine engine(hostFiles(), [&] { return folder; });
  long processed = 0, rows = 0;
  for (auto _ : state) {
    std::unique_ptr<LogQuery> q;
    std::unique_ptr<LogInputFormat> f;
    engine.createQuery(&q);
    engine.createEventLogInputFormat(&f);
    std::unique_ptr<LogRecordSet> set;
    Status s = q->execute(query, *f, &set);
    if (!s.ok()) {
      state.SkipWithError(s.description.c_str());
      return;
    }
    processed += set->inputUnitsProcessed();
    for (; !set->atEnd(); set->moveNext()) {
      for (const char* c : {"evttype", "datetime", "evtsrc", "cat", "evtid", "msg"}) {
        LogValue v;
        set->getRecord().getValue(c, &v);
        benchmark::DoNotOptimize(v);
      }
      ++rows;
    }
  }
  state.counters["records_per_s"] = benchmark::Counter(processed, benchmark::Counter::kIsRate);
  state.counters["rows"] = benchmark::Counter(rows, benchmark::Counter::kAvgIterations);
  state.counters["peak_rss_MiB"] = peakMiB();
}

}  // namespace sccevtmon
