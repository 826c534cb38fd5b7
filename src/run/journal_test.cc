#include "run/journal.h"

#include "run/run_sequence.h"
#include "testing/test_support.h"

namespace sccevtmon {
namespace {

const char kTemplate[] = "/agent/qSCC/MonitorTemplate/SCCEventLogTemplate.xml";
const char kKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN";

FakeLogRow row(const char* type, const char* source, const char* id) {
  return {{"evttype", std::string(type)},  {"datetime", std::string("03/07/2026 13:30:00")},
          {"evtsrc", std::string(source)}, {"cat", std::string("None")},
          {"evtid", std::string(id)},      {"msg", std::string("Something happened.")}};
}

// An agent whose template reads System (two errors and a warning) and Missing, which is not
// there.
void installWithTemplate(FakePlatform& f) {
  for (auto [name, value] : {std::pair{"InstallationPath", "/agent"},
                             {"MEMBERID", "11"},
                             {"SITEID", "22"},
                             {"REGID", "4711"},
                             {"TYPE", "3"},
                             {"EVENT", "D41D8CD98F00B204E9800998ECF8427E"}}) {
    f.registry.setString(kKey, name, value);
  }
  f.files.addFolder("/agent/qSCC/MonitorTemplate");
  f.files.addFile(kTemplate,
                  "<dcmevntlgtemplat><template id=\"12\" version=\"3\"/>"
                  "<dcm scriptid=\"1\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
                  "<evnttype>1</evnttype><outputopt>3</outputopt></dcm>"
                  "<dcm scriptid=\"2\" scriptver=\"1\"><evntlgsourcestr>Missing</evntlgsourcestr>"
                  "<evnttype>0</evnttype><outputopt>3</outputopt></dcm></dcmevntlgtemplat>");
  f.logQuery.byLog["System"].rows = {row("Error event", "Disk", "7"),
                                     row("Error event", "Disk", "7"),
                                     row("Warning event", "Ntfs", "55")};
}

// Whole runs over the fakes whose standard error is the journal.
class JournalTest : public RunTest {
 protected:
  void SetUp() override {
    installAgent();
    fake.process.journal = true;
  }
};

TEST_F(JournalTest, ARunEndsWithOneLineOfWhatItDidAndWritesWhatItAlwaysWrote) {
  installWithTemplate(fake);
  fake.webPost.succeed("OK");
  subMain(rs, os);
  EXPECT_EQ(fake.process.errors,
            std::vector<std::string>{
                "sccevtmon: run 03/07/2026 14:05:09 failed: window 03/07/2026 13:05:09 to "
                "03/07/2026 14:05:09; logs System 3 rows (2 detail, 1 summary), Missing failed; "
                "report files wpevntsummdsk_N_4711_03072026140509.xml, "
                "wpevntdumpdsk_Y_4711_03072026140509.xml; status report posted; failure report "
                "posted; failure: 440 Err DescriptionAutomation error"});

  // The same run without the journal: the same files, byte for byte, and no line.
  FakePlatform plain;
  installWithTemplate(plain);
  plain.webPost.succeed("OK");
  RunState again;
  subMain(again, plain.platform);
  EXPECT_TRUE(plain.process.errors.empty());
  EXPECT_EQ(plain.files.files.size(), fake.files.files.size());
  for (const auto& [path, file] : fake.files.files) {
    EXPECT_EQ(plain.files.content(path), file.content) << path;
  }
}

TEST_F(JournalTest, NamesWhatWasNotPostedAndADiscardedDetailFile) {
  installWithTemplate(fake);
  fake.files.addFile("/agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini",
                     "[Threshold]\r\nEventDetails=1\r\n[LastFailure]\r\nReason=440 Err "
                     "DescriptionAutomation error\r\n");
  subMain(rs, os);
  ASSERT_EQ(fake.process.errors.size(), 1u);
  EXPECT_EQ(fake.process.errors[0],
            "sccevtmon: run 03/07/2026 14:05:09 failed: window 03/07/2026 13:05:09 to 03/07/2026 "
            "14:05:09; logs System 3 rows (2 detail, 1 summary), Missing failed; report files "
            "wpevntsummdsk_N_4711_03072026140509.xml, detail file discarded (2 rows over the "
            "threshold 1); status report not posted (ActiveX component can't create object), "
            "kept in SCCPostLogs; failure report not sent again (the last run reported the same "
            "failure); failure: 440 Err DescriptionAutomation error");
}

TEST_F(JournalTest, StartUpEndsThatOnlyTheActivityLogTold) {
  struct Case {
    const char* regId;
    bool folder;
    std::vector<std::string> errors;
  } cases[] = {
      {"0",
       true,
       {"sccevtmon: run ended at start-up: REGID \"0\" is not a non-zero number; set REGID in "
        "the registry to the registration ID the server assigned"}},
      // Start-up has said why already; the journal gets no second line.
      {"0", false, {"sccevtmon: installation folder /agent does not exist"}},
  };
  for (const Case& c : cases) {
    FakePlatform f;
    f.process.journal = true;
    f.registry.setString(kKey, "InstallationPath", "/agent");
    f.registry.setString(kKey, "REGID", c.regId);
    if (c.folder) f.files.addFolder("/agent");
    RunState run;
    subMain(run, f.platform);
    EXPECT_EQ(f.process.errors, c.errors) << c.folder;
  }
}

TEST_F(JournalTest, AnEarlyExitHasNoWindow) {
  fake.webPost.succeed("OK");
  subMain(rs, os);
  EXPECT_EQ(fake.process.errors,
            std::vector<std::string>{
                "sccevtmon: run 03/07/2026 14:05:09 failed: no window; no log read; no report "
                "files; status report posted; failure report posted; failure: Event Template is "
                "missing."});
}

// Run once by hand, the run shows its outcome; from the agent or the timer it prints nothing.
TEST_F(JournalTest, ARunFromATerminalPrintsTheSameLine) {
  fake.webPost.succeed("OK");
  fake.process.journal = false;
  fake.process.terminal = true;
  subMain(rs, os);
  ASSERT_EQ(fake.process.errors.size(), 1u);
  EXPECT_TRUE(fake.process.errors[0].starts_with("sccevtmon: run 03/07/2026 14:05:09 failed: "));

  FakePlatform quiet;
  quiet.registry = fake.registry;
  quiet.files.addFolder("/agent");
  RunState run;
  subMain(run, quiet.platform);
  EXPECT_TRUE(quiet.process.errors.empty());
}

}  // namespace
}  // namespace sccevtmon
