// Whole runs against inputs and surroundings that a healthy machine does not give: an event
// nested a megabyte deep, a report file that cannot be handed over, planted symbolic
// links, a second run while one is going on, a REGID that is not a file name, settings files
// that are not files.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <thread>

#include "e2e_support.h"
#include "testing/http_receiver.h"

namespace sccevtmon::e2e {
namespace {

using sccevtmon::testing::HttpReceiver;
using Lines = std::vector<std::string>;

const char kNow[] = "2026-03-07 14:05:09";
const char kSummary[] = "wpevntsummdsk_N_4711_03072026140509.xml";
const char kDetail[] = "wpevntdumpdsk_Y_4711_03072026140509.xml";
const char kStatusKept[] = "wpdcmscctmpevtlgst_N_4711_030720261405099.xml";

std::string event(const std::string& body, long recordId) {
  return "<Event xmlns=\"http://schemas.microsoft.com/win/2004/08/events/event\"><System>"
         "<Provider Name=\"Disk\"/><EventID>7</EventID><Level>2</Level><Task>0</Task>"
         "<Keywords>0x80000000000000</Keywords><TimeCreated SystemTime=\"2026-03-07T13:10:00Z\"/>"
         "<EventRecordID>" +
         std::to_string(recordId) + "</EventRecordID></System>" + body + "</Event>\r\n";
}

const char kTemplate[] =
    "<dcmevntlgtemplat><template id=\"7\" version=\"2\"/>"
    "<dcm scriptid=\"1\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
    "<evnttype>0</evnttype><outputopt>3</outputopt></dcm></dcmevntlgtemplat>";

// The messages of an activity log, without their time stamps.
Lines messages(const std::string& log) {
  Lines out;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    out.push_back(line.substr(line.find('\t') + 1));
    start = end + 2;
  }
  return out;
}

bool has(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class HardeningE2eTest : public ::testing::Test {
 protected:
  HardeningE2eTest() {
    inst.writeRegistry();
    inst.writeTemplate(kTemplate);
    inst.write("EventLogs/System.xml", event("<EventData><Data>first</Data></EventData>", 1) +
                                           event("<EventData><Data>last</Data></EventData>", 2));
  }
  RunResult run(const std::string& time = kNow) { return inst.run(time, {}, {{"no_proxy", "*"}}); }
  void pointAt(const HttpReceiver& receiver) {
    inst.write("Configuration/qScriptDNS.ini",
               "[wpdcmodjobexestsins]\r\nURL=" + receiver.baseUrl() +
                   "\r\n[wpdcmscctmpevtlgfail]\r\nURL=" + receiver.baseUrl() + "\r\n");
  }

  Installation inst;
};

// An event nested far deeper than any walk over it may go (a megabyte of nested elements) is
// skipped and counted; the run goes on to its reports.
TEST_F(HardeningE2eTest, AnEventNestedAMegabyteDeepIsSkipped) {
  std::string open, close;
  for (int k = 0; k < 150'000; ++k) {
    open += "<a>";
    close += "</a>";
  }
  inst.write("EventLogs/System.xml", event("<EventData><Data>first</Data></EventData>", 1) +
                                         event("<UserData>" + open + close + "</UserData>", 2) +
                                         event("<EventData><Data>last</Data></EventData>", 3));
  RunResult r = run();
  EXPECT_EQ(r.exitCode, 0);
  Lines log = messages(inst.activityLog());
  EXPECT_TRUE(has(log, "MSG : total records :: 3"));
  EXPECT_TRUE(has(log, "MSG : Record Count without filter conditions :2"));
  EXPECT_EQ(log.back(), "MSG : Application Ended");
  std::string detail = inst.read(std::string("SCCPostLogs/") + kDetail);
  EXPECT_NE(detail.find("included with the event: first"), std::string::npos);
  EXPECT_NE(detail.find("included with the event: last"), std::string::npos);
}

// A report file that cannot be handed over fails the run, named in the failure report; it
// waits whole in the installation folder, and the next run hands it over before its gate.
TEST_F(HardeningE2eTest, AFailedHandOverIsReportedAndTheNextRunHandsTheFileOver) {
  HttpReceiver receiver;
  receiver.answer(200, "OK", "<ok/>");
  pointAt(receiver);
  // A folder where the copy of the detail file should go.
  std::filesystem::create_directories(inst.path(std::string("SCCPostLogs/") + kDetail));
  RunResult r = run();
  EXPECT_EQ(r.exitCode, 0);
  std::vector<HttpReceiver::Request> requests = receiver.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[0].body.find("<status>0</status>"), std::string::npos);
  const std::string source = inst.path("") + "\\" + kDetail;
  EXPECT_NE(requests[1].body.find("<faildesc><![CDATA[The report file " + source +
                                  " could not be handed over: Permission denied]]>"),
            std::string::npos)
      << requests[1].body;
  EXPECT_TRUE(inst.exists(kDetail));  // whole, in place
  EXPECT_TRUE(inst.exists(std::string("SCCPostLogs/") + kSummary));

  std::filesystem::remove(inst.path(std::string("SCCPostLogs/") + kDetail));
  run("2026-03-07 14:40:00");  // the same hour: the gate refuses, the file goes out first
  Lines log = messages(inst.activityLog());
  EXPECT_TRUE(has(log, "MSG : Handing over the report file " + source + " left by an earlier run"));
  EXPECT_TRUE(has(log,
                  "Last exection is less than an hour. Last execution time 03/07/2026 "
                  "14:05:09, Current time 03/07/2026 14:40:00"));
  EXPECT_FALSE(inst.exists(kDetail));
  EXPECT_NE(inst.read(std::string("SCCPostLogs/") + kDetail).find("event: last"),
            std::string::npos);
}

// Links planted where the monitor writes lead nowhere: the files the monitor creates replace
// them, and the activity log is not opened through one.
TEST_F(HardeningE2eTest, NoFileIsWrittenThroughAPlantedSymbolicLink) {
  TempFolder outside;
  auto plant = [&](const std::string& relative, const std::string& target) {
    outside.write(target, "untouched");
    std::filesystem::create_directories(std::filesystem::path(inst.path(relative)).parent_path());
    std::filesystem::create_symlink(outside.file(target), inst.path(relative));
  };
  plant(kSummary, "summary");
  plant(std::string("SCCPostLogs/") + kDetail, "detail");
  plant(std::string("SCCPostLogs/") + kStatusKept, "status");  // no server: the status is kept
  RunResult r = run();
  EXPECT_EQ(r.err, "");
  for (const char* target : {"summary", "detail", "status"}) {
    EXPECT_EQ(outside.read(target), "untouched") << target;
  }
  for (const std::string& name :
       {std::string(kSummary), std::string(kDetail), std::string(kStatusKept)}) {
    std::string path = inst.path("SCCPostLogs/" + name);
    EXPECT_FALSE(std::filesystem::is_symlink(path)) << name;
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << name;
  }

  Installation other;
  other.writeRegistry();
  std::filesystem::create_directories(other.path("ApplicationLog/qSCCLog"));
  outside.write("log", "untouched");
  std::filesystem::create_symlink(outside.file("log"),
                                  other.path("ApplicationLog/qSCCLog/sccevtmon_4711.txt"));
  r = other.run(kNow);
  EXPECT_EQ(outside.read("log"), "untouched");
  EXPECT_NE(r.err.find("sccevtmon: cannot open activity log"), std::string::npos) << r.err;
}

// A run that finds another holding the installation's lock ends at once, touching nothing.
TEST_F(HardeningE2eTest, ARunThatFindsTheInstallationLockedEndsAtOnce) {
  HttpReceiver receiver;
  pointAt(receiver);
  int fd = ::open(inst.path("sccevtmon.lock").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  RunResult r = run();
  ::close(fd);
  EXPECT_EQ(r.exitCode, 0);  // another run is no failure
  EXPECT_EQ(r.err, "sccevtmon: cannot lock " + inst.path("sccevtmon.lock") +
                       ": another run holds it; the run ends\n");
  EXPECT_EQ(inst.list(""),
            (Lines{"Configuration", "EventLogs", "qSCC", "registry.reg", "sccevtmon.lock"}));
  EXPECT_EQ(inst.list("qSCC/MonitorTemplate"), Lines{"SCCEventLogTemplate.xml"});
  EXPECT_TRUE(receiver.requests().empty());

  // Once the lock is free, the run goes ahead.
  run();
  EXPECT_EQ(receiver.requests().size(), 1u);
}

// A lock file that cannot keep a second run out ends the run with exit status 1 and its path.
TEST_F(HardeningE2eTest, AnUnusableLockFileEndsTheRunWithStatusOne) {
  const std::string lock = inst.path("sccevtmon.lock");
  for (const char* kind : {"link", "pipe"}) {
    std::filesystem::remove(lock);
    if (std::string(kind) == "link") {
      std::filesystem::create_symlink(inst.path("elsewhere"), lock);
    } else {
      ASSERT_EQ(::mkfifo(lock.c_str(), 0644), 0);
    }
    RunResult r = run();
    EXPECT_EQ(r.exitCode, 1) << kind;
    EXPECT_TRUE(r.err.starts_with("sccevtmon: cannot lock " + lock + ": ")) << r.err;
    EXPECT_FALSE(inst.exists("ApplicationLog")) << kind;
  }
}

// A REGID that would take a file name out of its folder ends the run before the activity log
// is opened; any other REGID keeps the numeric rule.
TEST_F(HardeningE2eTest, ARegIdThatIsNoFileNameEndsTheRunBeforeTheLog) {
  HttpReceiver receiver;
  pointAt(receiver);
  const struct {
    std::string regId;
    std::string shown;
  } kRegIds[] = {
      {"1/../../escape", "1/../../escape"},
      {"1\\x", "1\\x"},
      {"1:stream", "1:stream"},
      {"1|2", "1|2"},
      {"1\x01", "1?"},
  };
  for (const auto& c : kRegIds) {
    inst.writeRegistry({{"REGID", c.regId}});
    RunResult r = run();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "sccevtmon: the REGID \"" + c.shown +
                         "\" cannot be part of a file name; the run ends\n");
    EXPECT_FALSE(inst.exists("ApplicationLog")) << c.shown;
    EXPECT_FALSE(inst.exists("SCCPostLogs")) << c.shown;
    EXPECT_TRUE(receiver.requests().empty());
  }
  // Dots inside a name are harmless: such a REGID runs.
  for (const char* regId : {"12abc", "12..3"}) {
    inst.writeRegistry({{"REGID", regId}});
    run();
    EXPECT_TRUE(inst.exists("ApplicationLog/qSCCLog/sccevtmon_" + std::string(regId) + ".txt"))
        << regId;
  }
}

// A registry file that is not a regular file of at most 16 MiB is not read: a pipe does not
// hang the run, a folder says so.
TEST_F(HardeningE2eTest, ARegistryFileThatIsNoSmallRegularFileIsRefused) {
  TempFolder folder;
  std::string fifo = folder.file("fifo.reg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string big = folder.file("big.reg");
  folder.write("big.reg", "");
  std::filesystem::resize_file(big, (16u << 20) + 1);
  // Should a run wait on the pipe, this lets it go after a while (and the test fail).
  std::promise<void> done;
  std::thread unblock([&, finished = done.get_future()] {
    if (finished.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return;
    int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  });
  const struct {
    std::string path;
    std::string why;
  } kFiles[] = {
      {fifo, "not a regular file"},
      {folder.path(), "Is a directory"},
      {big, "larger than 16 MiB"},
  };
  for (const auto& f : kFiles) {
    RunResult r = inst.run(kNow, {}, {{"SCCEVTMON_REGISTRY", f.path}});
    EXPECT_EQ(r.err, "sccevtmon: cannot read registry file " + f.path + ": " + f.why + "\n");
  }
  done.set_value();
  unblock.join();
}

}  // namespace
}  // namespace sccevtmon::e2e
