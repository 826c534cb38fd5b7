// The log query engine over the largest sample .evtx file and over a generated rendered-XML
// log of 100,000 events: a full read and a one-hour window, each walked through the record
// set as the loading does. Counters: records of the log per second, rows returned, and the
// process's peak resident memory (run one benchmark per process for a figure of its own;
// bench/run-query-bench does).

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/eventlog/exported_log_engine.h"
#include "query_run.h"

namespace sccevtmon {
namespace {

constexpr int kGeneratedEvents = 100000;

std::string dataFolder() {
  const char* v = getenv("SCCEVTMON_DATA_DIR");
  return std::string(v != nullptr && *v != '\0' ? v : SCCEVTMON_SOURCE_DIR "/../shared/data") +
         "/evtx-samples/large";
}

// A rendered-XML log of kGeneratedEvents events, one every 10 seconds from 2020-01-01 00:00:00
// UTC, cycling through the three events of the test data's export; written once per run.
std::string generatedFolder() {
  static std::string folder = [] {
    std::string dir = std::filesystem::temp_directory_path() / "sccevtmon_bench_xml";
    std::filesystem::create_directories(dir);
    std::ifstream in(SCCEVTMON_SOURCE_DIR "/src/platform/posix/testdata/rendered_events.xml");
    std::string sample((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> events;
    for (size_t at = sample.find("<Event "); at != std::string::npos;
         at = sample.find("<Event ", at + 1)) {
      events.push_back(sample.substr(at, sample.find("</Event>", at) + 8 - at));
    }
    std::ofstream out(dir + "/Generated.xml", std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Events>\n";
    for (int k = 0; k < kGeneratedEvents; ++k) {
      std::string e = events[k % events.size()];
      size_t t = e.find("SystemTime=\"") + 12;
      time_t when = 1577836800 + 10L * k;
      struct tm tm {};
      gmtime_r(&when, &tm);
      char stamp[40];
      strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S.0000000Z", &tm);
      e.replace(t, 28, stamp);
      out << e << "\n";
    }
    out << "</Events>\n";
    return dir;
  }();
  return folder;
}

const char kSelect[] =
    "SELECT EventTypeName AS evttype, TimeGenerated AS datetime, SourceName AS evtsrc, "
    "EventCategoryName AS cat, EventID as evtid,  Message as msg  FROM '";

std::string window(const char* from, const char* to) {
  return std::string("' WHERE 0=0  AND TimeGenerated Between TIMESTAMP('") + from +
         "','yyyy-MM-dd hh:mm:ss') AND TIMESTAMP('" + to + "','yyyy-MM-dd hh:mm:ss')";
}

void BM_EvtxFullRead(benchmark::State& state) {
  if (!std::filesystem::exists(dataFolder() + "/Security.evtx")) {
    state.SkipWithError("sample data not found (set SCCEVTMON_DATA_DIR)");
    return;
  }
  runQuery(state, dataFolder(), kSelect + std::string("Security'"));
}

void BM_EvtxOneHourWindow(benchmark::State& state) {
  if (!std::filesystem::exists(dataFolder() + "/Security.evtx")) {
    state.SkipWithError("sample data not found (set SCCEVTMON_DATA_DIR)");
    return;
  }
  runQuery(
      state, dataFolder(),
      kSelect + std::string("Security") + window("2019-03-25 12:00:00", "2019-03-25 12:59:59"));
}

void BM_RenderedXmlFullRead(benchmark::State& state) {
  runQuery(state, generatedFolder(), kSelect + std::string("Generated'"));
}

void BM_RenderedXmlOneHourWindow(benchmark::State& state) {
  runQuery(
      state, generatedFolder(),
      kSelect + std::string("Generated") + window("2020-01-05 10:00:00", "2020-01-05 10:59:59"));
}

BENCHMARK(BM_EvtxFullRead)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_EvtxOneHourWindow)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_RenderedXmlFullRead)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_RenderedXmlOneHourWindow)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
}  // namespace sccevtmon

int main(int argc, char** argv) {
  // Times are compared and shown in UTC, so that the window finds the same events anywhere.
  setenv("TZ", "UTC0", 1);
  tzset();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
