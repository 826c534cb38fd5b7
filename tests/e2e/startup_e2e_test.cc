#include <gtest/gtest.h>

#include "e2e_support.h"

namespace sccevtmon::e2e {
namespace {

const std::string kStars(85, '*');

// The activity-log lines of a run at the frozen time 03/07/2026 14:05:09.
std::string logLines(const std::vector<std::string>& messages) {
  std::string out;
  for (const std::string& m : messages) out += "03/07/2026 14:05:09\t" + m + "\r\n";
  return out;
}

std::vector<std::string> startLines(const Installation& inst, bool createsPostLogs) {
  std::vector<std::string> lines = {kStars, "MSG : Application started", kStars,
                                    "MSG : TORV installation path : " + inst.path() + "\\"};
  if (createsPostLogs) {
    lines.push_back("MSG : Preprocessing : Creating Folder " + inst.path() + "\\\\SCCPostLogs");
  }
  lines.push_back("MSG : RegId : 4711");
  lines.push_back("MSG : Exe version :: 1.0.0.0");
  return lines;
}

// The reports of a run whose template is missing, on an installation without server settings:
// neither can be posted, so both are kept in the post-logs folder.
std::vector<std::string> missingTemplateReportLines(const Installation& inst) {
  const std::string ids =
      "<mmid>11</mmid><siteid>22</siteid><regid>4711</regid>"
      "<scandt>03/07/2026 14:05:09</scandt>";
  const std::string versions = "<exever>1.0.0.0</exever><tmpid>0</tmpid><tmpver>0</tmpver>";
  const std::string failurePage = "tfr_wpdcmscctmpevtlgfail.asp?mmid=11&sid=22&rid=4711&rty=3";
  const std::string postLogs = "MSG : Creating File " + inst.path() + "\\\\SCCPostLogs\\";
  return {"MSG : Webposting data :: <wpdcmscctmpevtlgst>" + ids + "<status>0</status>" + versions +
              "</wpdcmscctmpevtlgst>",
          "MSG : Webposting Source :: ",
          "ERR : WebPost Failed : No URL to post to::",
          postLogs + "wpdcmscctmpevtlgst_N_4711_030720261405099.xml",
          "MSG : Webposting data :: <wpdcmscctmpevtlgfail>" + ids +
              "<faildesc><![CDATA[Event Template is missing.]]></faildesc>" + versions +
              "</wpdcmscctmpevtlgfail>",
          "MSG : Webposting Source :: " + failurePage,
          "ERR : WebPost Failed : Not an http:// or https:// URL: " + failurePage + "::",
          postLogs + "wpdcmscctmpevtlgfail_N_4711_030720261405099.xml"};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(StartupE2eTest, ActivityLogIsWrittenByteForByte) {
  Installation inst;
  inst.writeRegistry();
  RunResult r = inst.run("2026-03-07 14:05:09");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  std::vector<std::string> lines = startLines(inst, true) + missingTemplateReportLines(inst);
  lines.push_back("MSG : Application Ended");
  EXPECT_EQ(inst.activityLog(), logLines(lines));
  // The lock file stays: removing it would let a third run lock a file of another name.
  EXPECT_EQ(inst.list(""), (std::vector<std::string>{"ApplicationLog", "SCCPostLogs",
                                                     "registry.reg", "sccevtmon.lock"}));

  // A second run appends, and finds the post-logs folder in place.
  inst.run("2026-03-07 14:05:09");
  std::vector<std::string> again = startLines(inst, false) + missingTemplateReportLines(inst);
  again.push_back("MSG : Application Ended");
  EXPECT_EQ(inst.activityLog(), logLines(lines) + logLines(again));
}

TEST(StartupE2eTest, ALogOfFiveMegabytesStartsAnew) {
  struct Case {
    size_t size;
    bool kept;
  } cases[] = {{5242880, false}, {5242879, true}};
  for (const Case& c : cases) {
    Installation inst;
    inst.writeRegistry();
    std::string old(c.size, 'x');
    inst.write("ApplicationLog/qSCCLog/sccevtmon_4711.txt", old);
    inst.run("2026-03-07 14:05:09");
    std::vector<std::string> lines = startLines(inst, true) + missingTemplateReportLines(inst);
    lines.push_back("MSG : Application Ended");
    EXPECT_EQ(inst.activityLog(), (c.kept ? old : "") + logLines(lines)) << c.size;
  }
}

TEST(StartupE2eTest, InvalidRegIdEndsTheRunAfterTheBanner) {
  Installation inst;
  inst.writeRegistry({{"REGID", "0"}});
  inst.run("2026-03-07 14:05:09");
  EXPECT_EQ(inst.read("ApplicationLog/qSCCLog/sccevtmon_0.txt"),
            logLines({kStars, "MSG : Application started", kStars,
                      "MSG : TORV installation path : " + inst.path() + "\\",
                      "MSG : Preprocessing : Creating Folder " + inst.path() + "\\\\SCCPostLogs",
                      "MSG : RegId : 0", "MSG : Invalid RegId", "MSG : Application Ended"}));
  EXPECT_TRUE(inst.list("SCCPostLogs").empty());
}

TEST(StartupE2eTest, EndsBeforeTheLogIsOpenWithOneLineOnStandardError) {
  Installation inst;
  RunResult missing = inst.run();
  // Not started: systemd hears of it through the exit status.
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "sccevtmon: cannot read registry file " + inst.registryFile() +
                             ": No such file or directory\n");

  inst.write("registry.reg", "Windows Registry Editor Version 5.00\n\"A\"=\"b\"\n");
  RunResult malformed = inst.run();
  EXPECT_EQ(malformed.exitCode, 1);
  EXPECT_EQ(malformed.err, "sccevtmon: registry file " + inst.registryFile() +
                               " line 2: value before the first key\n");

  inst.writeRegistry({{"InstallationPath", inst.path("gone")}});
  RunResult noFolder = inst.run();
  EXPECT_EQ(noFolder.exitCode, 1);
  EXPECT_EQ(noFolder.err,
            "sccevtmon: installation folder " + inst.path("gone") + " does not exist\n");
  EXPECT_FALSE(inst.exists("ApplicationLog"));
  EXPECT_EQ(noFolder.out, "");
}

TEST(StartupE2eTest, CommandLine) {
  Installation inst;
  RunResult version = inst.run("", {"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "sccevtmon 1.0.0.0\n");
  RunResult help = inst.run("", {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("SCCEVTMON_REGISTRY"), std::string::npos);
  RunResult bad = inst.run("", {"--now"});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err,
            "usage: sccevtmon [--version | --help | --check |\n"
            "                  --replay --from T --to T --out DIR [--template FILE] [--logs DIR]\n"
            "                           [--threshold N]]\n");
  EXPECT_FALSE(inst.exists("ApplicationLog"));
}

TEST(StartupE2eTest, MissingTemplateEndsTheRunAfterStartUp) {
  Installation inst;
  inst.writeRegistry();
  inst.run("2026-03-07 14:05:09");
  std::vector<std::string> lines = startLines(inst, true) + missingTemplateReportLines(inst);
  lines.push_back("MSG : Application Ended");
  EXPECT_EQ(inst.activityLog(), logLines(lines));
}

}  // namespace
}  // namespace sccevtmon::e2e
