// Parses templates whose entries name many distinct event logs, as fncParseWebpostData reads a
// template: every entry's log name is checked against the names recorded so far.

#include <benchmark/benchmark.h>

#include <string>

#include "template/template_parser.h"
#include "testing/fake_platform.h"

namespace {

using namespace sccevtmon;

const char* const kTemplatePath = "C:\\Agent\\qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml";

std::string templateWithLogs(int logs) {
  std::string xml = "<dcmevntlgtemplat><template id=\"1\" version=\"1\"/>";
  for (int k = 0; k < logs; ++k) {
    xml += "<dcm scriptid=\"" + std::to_string(k) + "\" scriptver=\"1\"><evntlgsourcestr>Log-" +
           std::to_string(k) +
           "</evntlgsourcestr><evnttype>0</evnttype><outputopt>1</outputopt></dcm>";
  }
  return xml + "</dcmevntlgtemplat>";
}

void BM_ParseTemplateWithDistinctLogs(benchmark::State& state) {
  const int logs = static_cast<int>(state.range(0));
  FakePlatform fake;
  fake.files.addFile(kTemplatePath, templateWithLogs(logs));
  for (auto _ : state) {
    RunState rs;
    fncParseWebpostData(rs, fake.platform, kTemplatePath);
    if (rs.eventLogNames.size() != static_cast<size_t>(logs)) state.SkipWithError("names lost");
  }
  state.counters["logs"] = logs;
}
BENCHMARK(BM_ParseTemplateWithDistinctLogs)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
