#include "run/check.h"

#include <gmock/gmock.h>

#include <functional>

#include "run/run_sequence.h"
#include "run/startup.h"
#include "testing/fake_platform.h"

namespace sccevtmon {
namespace {

using ::testing::Contains;

const char kKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN";
const char kTemplate[] = "/agent/qSCC/MonitorTemplate/SCCEventLogTemplate.xml";
const char kState[] = "/agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini";
const char kServer[] = "/agent/Configuration/qScriptDNS.ini";

// Entries that use every kind of filter, all well written.
std::string templateWith(const std::string& entries) {
  return "<?xml version=\"1.0\"?>\n<dcmevntlgtemplat>\n  <template id=\"7\" version=\"2\"/>\n" +
         entries + "</dcmevntlgtemplat>\n";
}
const std::string kGoodEntries =
    "  <dcm scriptid=\"1\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
    "<evnttype>1;2</evnttype><evntsource>Disk,Ntfs</evntsource><evntid>7,55</evntid>"
    "<evntdesc>bad##dirty</evntdesc><evntdescstrt>contain</evntdescstrt>"
    "<evntdescandor>OR</evntdescandor><outputopt>3</outputopt></dcm>\n"
    "  <dcm scriptid=\"2\" scriptver=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
    "<evnttype>0</evnttype><evntsourandid>Service Control Manager;7036,7040</evntsourandid>"
    "<outputopt>1</outputopt></dcm>\n";

// A machine a run finds in order: identity, folders, a template using every kind of filter,
// the event log it names, server settings, and no execution state yet.
void wellConfigured(FakePlatform& f) {
  f.registry.setString(kKey, "InstallationPath", "/agent");
  f.registry.setString(kKey, "MEMBERID", "11");
  f.registry.setString(kKey, "SITEID", "22");
  f.registry.setString(kKey, "REGID", "4711");
  f.registry.setString(kKey, "TYPE", "3");
  f.registry.setString(kKey, "EVENT", "d41d8cd98f00b204e9800998ecf8427e");
  f.files.addFolder("/agent/SCCPostLogs");
  f.files.addFolder("/agent/ApplicationLog/qSCCLog");
  f.files.addFolder("/agent/qSCC/MonitorTemplate");
  f.files.addFile(kTemplate, templateWith(kGoodEntries));
  f.files.addFile(kServer,
                  "[wpdcmodjobexestsins]\r\nURL=https://server.example/r/\r\n"
                  "[wpdcmscctmpevtlgfail]\r\nURL=https://server.example/r/\r\n");
  f.logQuery.byLog["System"] = {Status::success(), 40, {FakeLogRow{}, FakeLogRow{}}, {}};
  f.logQuery.logs = {{"Application", "/agent/EventLogs/Application.evtx"},
                     {"System", "/agent/EventLogs/System.evtx"}};
}

class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override { wellConfigured(fake); }

  std::vector<std::string> lines(Severity severity) {
    std::vector<std::string> out;
    for (const Finding& f : findings) {
      if (f.severity == severity) out.push_back(f.text);
    }
    return out;
  }

  FakePlatform fake;
  Platform& os = fake.platform;
  std::vector<Finding> findings;
};

TEST_F(CheckTest, AWellConfiguredMachineHasNoErrorAndNothingIsWritten) {
  findings = checkInstallation(os);
  EXPECT_EQ(checkExitStatus(findings), 0);
  EXPECT_TRUE(lines(Severity::kError).empty()) << lines(Severity::kError)[0];
  EXPECT_TRUE(lines(Severity::kWarning).empty()) << lines(Severity::kWarning)[0];
  EXPECT_THAT(lines(Severity::kOk),
              Contains("event log \"System\" (entry 1, entry 2): /agent/EventLogs/System.evtx, 40 "
                       "records, 2 in the window a run now reads"));
  EXPECT_THAT(lines(Severity::kOk), Contains("template MD5 D41D8CD98F00B204E9800998ECF8427E "
                                             "matches EVENT (md5sum /agent\\qSCC\\"
                                             "MonitorTemplate\\SCCEventLogTemplate.xml "
                                             "computes it)"));
  // Reads only: no file made, appended, copied or deleted, no setting written, no post.
  for (const std::string& op : fake.files.operations) {
    EXPECT_TRUE(op.starts_with("readFile ") || op.starts_with("fileSize ") ||
                op.starts_with("isWritable "))
        << op;
  }
  EXPECT_EQ(fake.profile.writeCount, 0);
  EXPECT_EQ(fake.webPost.creations, 0);
  EXPECT_EQ(checkSummary(findings), "sccevtmon --check: 0 errors, 0 warnings");
  EXPECT_EQ(findingLine(findings[0]), "ok: registry: agent identity in " + std::string(kKey));
}

TEST_F(CheckTest, ALogTheSystemKeepsItselfShowsNoFile) {
  fake.logQuery.logs = {{"System", ""}};
  findings = checkInstallation(os);
  EXPECT_THAT(lines(Severity::kOk),
              Contains("event log \"System\" (entry 1, entry 2): 40 records, 2 in the window a run "
                       "now reads"));
}

// One mistake each, and the line that must report it: whole for the mistakes that hurt most,
// its telling part for the others.
struct Mistake {
  const char* name;
  std::function<void(FakePlatform&)> make;
  Severity severity;
  std::string line;
};

void setTemplate(FakePlatform& f, const std::string& entries) {
  f.files.addFile(kTemplate, templateWith(entries));
}
// The template with one entry of System holding these children.
std::function<void(FakePlatform&)> entry(const std::string& children,
                                         const std::string& log = "System") {
  return [=](FakePlatform& f) {
    setTemplate(f, "  <dcm scriptid=\"5\" scriptver=\"1\"><evntlgsourcestr>" + log +
                       "</evntlgsourcestr>" + children + "</dcm>\n");
  };
}
std::function<void(FakePlatform&)> unwritable(const std::string& folder) {
  return [=](FakePlatform& f) {
    f.files.fail = [folder](const std::string& op, const std::string& path) {
      return op == "isWritable" && path == folder ? runtimeError(kErrPermissionDenied)
                                                  : Status::success();
    };
  };
}
std::function<void(FakePlatform&)> identity(const char* name, const std::string& value) {
  return [=](FakePlatform& f) { f.registry.setString(kKey, name, value); };
}
std::function<void(FakePlatform&)> file(const char* path, const std::string& content) {
  return [=](FakePlatform& f) { f.files.addFile(path, content); };
}

// Template content and execution states, well made and mistaken: the check and a whole run
// both take them (see TheCheckReportsAProblemExactlyWhenTheRunLogsOne).
const Mistake kContent[] = {
    {"well written", [](FakePlatform&) {}, Severity::kOk,
     "template line 5, entry 2: event log \"System\""},
    {"LastRun three hours ago",
     file(kState, "[LastRunDateTime]\r\nLastRun=03/07/2026 11:30:00\r\n"), Severity::kOk,
     "LastRun 03/07/2026 11:30:00: the next run reads the 3 hour(s) since then"},
    {"no entry", file(kTemplate, templateWith("")), Severity::kWarning,
     "template: no <dcm> entry: a run monitors nothing"},
    {"template id not a number",
     file(kTemplate, "<dcmevntlgtemplat><template id=\"7a\" version=\"2\"/>" + kGoodEntries +
                         "</dcmevntlgtemplat>"),
     Severity::kWarning,
     "template line 1: template id \"7a\" is not a number: the reports carry 7"},
    {"misspelled filter element", entry("<evntsrc>Disk</evntsrc><outputopt>2</outputopt>"),
     Severity::kError,
     "template line 4, entry 1: unknown element <evntsrc>: a run ignores it, so it does not "
     "narrow the entry; did you mean <evntsource>?"},
    {"wrong root element", file(kTemplate, "<dcmevntlgtemplate><dcm/></dcmevntlgtemplate>"),
     Severity::kError,
     "template line 1: no <dcmevntlgtemplat> element (the root element is <dcmevntlgtemplate>): "
     "a run reads no entry, monitors nothing and reports success; make <dcmevntlgtemplat> the root "
     "element"},
    {"template not well-formed",
     file(kTemplate, "<dcmevntlgtemplat>\n  <dcm>\n</dcmevntlgtemplat>"), Severity::kError,
     "template is not well-formed XML (Start-end tags mismatch at line 3, column 3): a run "
     "reports \"Failed to load the xml file\""},
    {"element names are case-sensitive",
     [](FakePlatform& f) {
       setTemplate(f, kGoodEntries + "  <DCM scriptid=\"9\" scriptver=\"1\"/>\n");
     },
     Severity::kError,
     "template line 6: unknown element <DCM> in <dcmevntlgtemplat>: a run ignores it; element "
     "names are case-sensitive: write <dcm>"},
    {"dcm without scriptver",
     file(kTemplate, templateWith("<dcm scriptid=\"1\"><evntlgsourcestr>System</evntlgsourcestr>"
                                  "<outputopt>1</outputopt></dcm>")),
     Severity::kError,
     "<dcm> has no scriptver attribute: a run stops reading the template there and reports "
     "\"Failed to parse the XML, ...\""},
    {"entry without a log", entry("<outputopt>1</outputopt>", " "), Severity::kError,
     "no event log in <evntlgsourcestr>: a run never reads this entry"},
    {"unknown event type code", entry("<evnttype>0;3</evnttype><outputopt>1</outputopt>"),
     Severity::kError,
     "<evnttype> \"0;3\": a run skips \"0\" and \"3\", so every event type passes"},
    {"event ID not a number", entry("<evntid>7,7o36</evntid><outputopt>2</outputopt>"),
     Severity::kError, "event ID \"7o36\" in <evntid> is not a number from 0 to 65535"},
    {"description mode unknown",
     entry(
         "<evntdesc>disk</evntdesc><evntdescstrt>contains</evntdescstrt><outputopt>2</outputopt>"),
     Severity::kError, "a run ignores <evntdesc> and reports every event"},
    {"description joiner missing",
     entry("<evntdesc>a##b</evntdesc><evntdescstrt>does not contain</evntdescstrt>"
           "<outputopt>2</outputopt>"),
     Severity::kError,
     "<evntdescandor> \"\" is neither AND nor OR: with several texts a run "
     "reports every event"},
    {"pair without a semicolon",
     entry("<evntsourandid>Disk,7</evntsourandid><outputopt>1</outputopt>"), Severity::kError,
     "pair \"Disk,7\" in <evntsourandid> has no \";\" between source and IDs: the pass over "
     "\"System\" fails at this entry and a run reports \"Invalid procedure call or argument\""},
    {"pair without an ID",
     entry("<evntsourandid>Disk;##Ntfs;55</evntsourandid><outputopt>1</outputopt>"),
     Severity::kError, "pair \"Disk;\" in <evntsourandid> has no event ID: a run skips it"},
    {"outputopt out of range", entry("<outputopt>4</outputopt>"), Severity::kError,
     "<outputopt> 4 is out of range: a run writes nothing for this entry"},
    {"outputopt missing", entry(""), Severity::kError,
     "<outputopt> \"\" is not a whole number: every log's pass stops at this entry"},
    {"element given twice", entry("<evntid>1</evntid><EvntID>2</EvntID><outputopt>2</outputopt>"),
     Severity::kError, "a second <evntid>: a run keeps only the last one"},
    {"LastRun not a date", file(kState, "[LastRunDateTime]\r\nLastRun=yesterday\r\n"),
     Severity::kError,
     "LastRun \"yesterday\" is not a date and time (MM/DD/YYYY HH:NN:SS): a run reports \"Failed "
     "to get the exe's last execution time. Type mismatch\""},
    {"LastRun ahead of the clock",
     file(kState, "[LastRunDateTime]\r\nLastRun=03/07/2026 16:00:00\r\n"), Severity::kError,
     "every run until the hour after it is refused (\"Last exection is less than an hour.\")"},
    {"LastRun more than a day ahead",
     file(kState, "[LastRunDateTime]\r\nLastRun=03/09/2026 16:00:00\r\n"), Severity::kError,
     "a run reports \"Last execution time 03/09/2026 16:00:00 lies more than 24 hours ahead of "
     "the clock.\" and reads the last hour"},
};

const Mistake kMachineMistakes[] = {
    {"REGID 0", identity("REGID", "0"), Severity::kError,
     "REGID \"0\" is not a non-zero number: a run writes \"MSG : Invalid RegId\" into "
     "/agent/ApplicationLog/qSCCLog/sccevtmon_0.txt and stops without a report; set REGID to the "
     "registration ID the server assigned"},
    {"unwritable post-logs folder", unwritable("/agent/SCCPostLogs"), Severity::kError,
     "post-logs folder /agent/SCCPostLogs is not writable: a run's report files stay in the "
     "installation folder while the server hears of success; give the account the runs use "
     "write access to it"},
    {"EVENT mismatch", identity("EVENT", "0123"), Severity::kError,
     "template MD5 D41D8CD98F00B204E9800998ECF8427E differs from EVENT 0123: a run reports "
     "\"Checksum mismatched for event log\"; redeliver the template the server assigned, or if "
     "this is it, set EVENT to D41D8CD98F00B204E9800998ECF8427E (md5sum "
     "/agent\\qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml computes it)"},
    {"missing template", [](FakePlatform& f) { f.files.files.erase(kTemplate); }, Severity::kError,
     "template /agent/qSCC/MonitorTemplate/SCCEventLogTemplate.xml is missing: a run reports "
     "\"Event Template is missing.\"; deliver the template the server assigned"},
    {"missing event log", entry("<outputopt>1</outputopt>", "Sytem"), Severity::kError,
     "event log \"Sytem\" (entry 1): Automation error: a run reports it as its failure; export "
     "the log into the event-log folder, which holds Application, System"},
    {"event log the computer does not keep",
     [](FakePlatform& f) {
       entry("<outputopt>1</outputopt>", "Sytem")(f);
       f.logQuery.logs = {{"Application", ""}, {"System", ""}};
     },
     Severity::kError,
     "event log \"Sytem\" (entry 1): Automation error: a run reports it as its failure; name a "
     "log this computer keeps (wevtutil el lists them)"},
    {"event logs a computer keeps that cannot be listed",
     [](FakePlatform& f) {
       entry("<outputopt>1</outputopt>", "Sytem")(f);
       f.logQuery.logFiles = false;
       f.logQuery.listStatus = runtimeError(kErrAutomation);
     },
     Severity::kError,
     "event log \"Sytem\" (entry 1): Automation error: a run reports it as its failure; check "
     "that this computer's event log service runs (wevtutil el lists the logs)"},
    {"event log the account may not read",
     [](FakePlatform& f) {
       f.logQuery.logs = {{"System", ""}};
       f.logQuery.byLog["System"].status = runtimeError(kErrAutomation);
     },
     Severity::kError,
     "a run reports it as its failure; give the account the runs use the right to read it"},
    {"records the decoder skipped",
     [](FakePlatform& f) {
       f.logQuery.byLog["System"].skipNotes = {
           "3 records skipped: chunk checksum differs (chunk 4, offset 0x81000)"};
     },
     Severity::kWarning,
     "event log \"System\" (entry 1, entry 2): 3 records skipped: chunk checksum differs (chunk "
     "4, offset 0x81000)"},
    {"a file named SCCPostLogs",
     [](FakePlatform& f) {
       f.files.folders.erase("/agent/SCCPostLogs");
       f.files.addFile("/agent/SCCPostLogs", "");
     },
     Severity::kError,
     "post-logs folder /agent/SCCPostLogs is a file where a run needs a folder: a run ends at "
     "start-up when it cannot create it, and cannot hand over its report files when it cannot "
     "write in it; remove it or move it away"},
    {"a file named ApplicationLog",
     [](FakePlatform& f) {
       f.files.folders.erase("/agent/ApplicationLog/qSCCLog");
       f.files.folders.erase("/agent/ApplicationLog");
       f.files.addFile("/agent/ApplicationLog", "");
     },
     Severity::kError,
     "activity-log folder /agent/ApplicationLog is a file where a run needs a folder: a run ends "
     "at start-up and the hours pass unreported; remove it or move it away"},
    {"a folder where the lock must be",
     [](FakePlatform& f) { f.files.addFolder("/agent/sccevtmon.lock"); }, Severity::kError,
     "lock file /agent/sccevtmon.lock is a folder where a run needs a plain file"},
    {"a link as the lock", [](FakePlatform& f) { f.files.others.insert("/agent/sccevtmon.lock"); },
     Severity::kError,
     "lock file /agent/sccevtmon.lock is a link or special file where a run needs a plain file"},
    {"a link as the activity log",
     [](FakePlatform& f) {
       f.files.others.insert("/agent/ApplicationLog/qSCCLog/sccevtmon_4711.txt");
     },
     Severity::kError,
     "activity log /agent/ApplicationLog/qSCCLog/sccevtmon_4711.txt is a link or special file"},
    {"a lock this user cannot open",
     [](FakePlatform& f) {
       f.files.addFile("/agent/sccevtmon.lock", "");
       f.files.files["/agent/sccevtmon.lock"].readOnly = true;
     },
     Severity::kError,
     "lock file /agent/sccevtmon.lock cannot be written by this user: a run ends at start-up and "
     "the hours pass unreported; give the account the runs use write access to it"},
    {"an execution state this user cannot write",
     [](FakePlatform& f) {
       f.files.addFile(kState, "");
       f.files.files[kState].readOnly = true;
     },
     Severity::kError,
     "execution-state file /agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini cannot be "
     "written by this user: every run ends with \"ERR : Failed to save the exe's last execution "
     "time\" and sends the same hours again"},
    {"root checks the service's installation",
     [](FakePlatform& f) {
       f.process.superuser = true;
       for (const char* path : {"/agent", "/agent/ApplicationLog", "/agent/ApplicationLog/qSCCLog",
                                "/agent/SCCPostLogs"}) {
         f.files.owners[path] = "sccevtmon";
       }
     },
     Severity::kWarning,
     "this check runs as root, but the installation folder /agent belongs to sccevtmon: its "
     "answers are root's, who may write where sccevtmon's runs cannot; run it as the owner: sudo "
     "-u sccevtmon sccevtmon --check"},
    {"a file a run as root left",
     [](FakePlatform& f) {
       f.process.superuser = true;
       f.files.owners["/agent"] = "sccevtmon";
       f.files.addFile(kState, "");
       f.files.owners[kState] = "root";
     },
     Severity::kError,
     "execution-state file /agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini belongs to "
     "root, not to sccevtmon (left by a run as root?): every run ends with \"ERR : Failed to save "
     "the exe's last execution time\" and sends the same hours again; chown sccevtmon: "
     "/agent/qSCC/MonitorTemplate/SCC_EventLog_Execution.ini"},
    {"bad URL", file(kServer, "[wpdcmodjobexestsins]\r\nURL=ftp://server.example/\r\n"),
     Severity::kError,
     "URL \"ftp://server.example/\" in [wpdcmodjobexestsins] is not an http:// or https:// URL: "
     "every post of status reports fails; write the server's base URL, such as "
     "https://server.example/reports/"},
    {"REGID unsafe in a file name", identity("REGID", "4/1"), Severity::kError,
     "REGID \"4/1\" holds a path separator: start-up refuses it"},
    {"REGID with letters", identity("REGID", "12ab"), Severity::kWarning,
     "REGID \"12ab\" reads as 12 but names the activity log and the report files as written"},
    {"MEMBERID not a number", identity("MEMBERID", "x1"), Severity::kWarning,
     "MEMBERID \"x1\" is not a non-zero number"},
    {"identity value of another type",
     [](FakePlatform& f) { f.registry.setValue(kKey, "SITEID", kRegExpandSz, "22"); },
     Severity::kError, "registry value SITEID is not a text value (REG_SZ)"},
    {"activity-log folder that cannot be made",
     [](FakePlatform& f) {
       f.files.folders.erase("/agent/ApplicationLog/qSCCLog");
       unwritable("/agent/ApplicationLog")(f);
     },
     Severity::kError,
     "activity-log folder /agent/ApplicationLog/qSCCLog is missing and cannot be created in "
     "/agent/ApplicationLog"},
    {"unwritable execution-state folder", unwritable("/agent/qSCC/MonitorTemplate"),
     Severity::kError, "a run cannot record LastRun or the last failure"},
    {"missing installation folder", [](FakePlatform& f) { f.files.folders.erase("/agent"); },
     Severity::kError, "installation folder /agent does not exist: a run ends at once"},
    {"checksum library the program cannot load",
     [](FakePlatform& f) {
       f.checksum.md5Answer.status =
           Status{48, "Error in loading DLL QGnMD5: Bad EXE format for QGnMD5."};  // 48: DLL
     },
     Severity::kError,
     "template checksum cannot be computed (fncGenerateChecksum: Error in loading DLL QGnMD5: Bad "
     "EXE format for QGnMD5.): a run reports it as its failure"},
    {"checksum library that cannot read the template",
     [](FakePlatform& f) {
       f.checksum.md5Answer = {Status::success(), 0, {"", "", "5"}};
       f.checksum.blockAnswer = {Status::success(), 0, {}};
     },
     Severity::kError,
     "Error = 5 with  KB Block Size): a run reports it as its failure; make the template "
     "readable"},
    {"EVENT empty", identity("EVENT", " "), Severity::kError,
     "EVENT is empty: a run reports \"Checksum is missing for the event template\"; set EVENT to "
     "the template's MD5 D41D8CD98F00B204E9800998ECF8427E"},
    {"template over 16 MiB", file(kTemplate, std::string(16 * 1024 * 1024 + 1, ' ')),
     Severity::kError, "is larger than 16 MiB, which a run does not read"},
    {"plain http", file(kServer, "[wpdcmodjobexestsins]\r\nURL=http://server.example/\r\n"),
     Severity::kWarning,
     "URL \"http://server.example/\" in [wpdcmodjobexestsins] is plain http: status reports "
     "travel unencrypted"},
};

TEST_F(CheckTest, EachMistakeIsReportedWithWhatToDo) {
  std::vector<const Mistake*> all;
  for (const Mistake& m : kContent) all.push_back(&m);
  for (const Mistake& m : kMachineMistakes) all.push_back(&m);
  for (const Mistake* row : all) {
    const Mistake& m = *row;
    FakePlatform f;
    wellConfigured(f);
    m.make(f);
    findings = checkInstallation(f.platform);
    const std::vector<std::string> reported = lines(m.severity);
    EXPECT_TRUE(
        std::any_of(reported.begin(), reported.end(),
                    [&](const std::string& l) { return l.find(m.line) != std::string::npos; }))
        << m.name << ": " << ::testing::PrintToString(reported);
    EXPECT_EQ(checkExitStatus(findings), m.severity == Severity::kError ? 1 : 0) << m.name;
  }
}

// The run's lines about its template and its LastRun, and the check's findings about them.
bool isContentLine(const std::string& line) {
  for (const char* prefix : {"ERR : Template", "ERR : fncParseWebpostData", "ERR : Failed to load",
                             "ERR : in fncChkLastRunTime", "Last exection is less than"}) {
    if (line.starts_with(prefix)) return true;
  }
  return false;
}
bool isContentFinding(const Finding& f) {
  return f.severity != Severity::kOk &&
         (f.text.starts_with("template line") || f.text.starts_with("template:") ||
          f.text.starts_with("template is") || f.text.starts_with("LastRun"));
}

// The run's whole line for some of the rows above.
const std::pair<const char*, const char*> kRunLines[] = {
    {"misspelled filter element",
     "ERR : Template entry 5: unknown element <evntsrc>; a run ignores it, so it does not narrow "
     "the entry"},
    {"wrong root element",
     "ERR : Template: no <dcmevntlgtemplat> element (the root element is <dcmevntlgtemplate>); a "
     "run reads no entry, monitors nothing and reports success"},
    {"no entry", "ERR : Template: no <dcm> entry; a run monitors nothing"},
    {"unknown event type code",
     "ERR : Template entry 5: <evnttype> \"0;3\"; a run skips \"0\" and \"3\", so every event "
     "type passes"},
    {"description mode unknown",
     "ERR : Template entry 5: <evntdescstrt> \"contains\" is not \"starts with\", \"ends with\", "
     "\"contain\" or \"does not contain\"; a run ignores <evntdesc> and reports every event"},
    {"outputopt out of range",
     "ERR : Template entry 5: <outputopt> 4 is out of range; a run writes nothing for this entry"},
    {"dcm without scriptver",
     "ERR : Template entry 1: <dcm> has no scriptver attribute; a run stops reading the template "
     "there and reports \"Failed to parse the XML, ...\""},
};

TEST(TemplateRulesTest, TheCheckReportsAProblemExactlyWhenTheRunLogsOne) {
  for (const Mistake& m : kContent) {
    FakePlatform checked;
    wellConfigured(checked);
    m.make(checked);
    std::vector<std::string> found;
    for (const Finding& f : checkInstallation(checked.platform)) {
      if (isContentFinding(f)) found.push_back(f.text);
    }

    FakePlatform ran;
    wellConfigured(ran);
    m.make(ran);
    RunState rs;
    subMain(rs, ran.platform);
    std::vector<std::string> logged;
    const std::string log = ran.files.content("/agent/ApplicationLog/qSCCLog/sccevtmon_4711.txt");
    for (std::size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) {
      const std::string line = log.substr(at + 20, end - at - 20);  // after the time stamp
      if (isContentLine(line)) logged.push_back(line);
    }

    for (auto [name, line] : kRunLines) {
      if (m.name == std::string(name)) {
        EXPECT_THAT(logged, Contains(line)) << name;
      }
    }
    EXPECT_EQ(found.empty(), logged.empty()) << m.name << ": " << ::testing::PrintToString(found)
                                             << " / " << ::testing::PrintToString(logged);
    // A note the run logs is the finding the check shows, in the same order.
    std::size_t next = 0;
    for (const std::string& line : logged) {
      if (!line.starts_with("ERR : Template")) continue;
      const std::string what = line.substr(line.find(": ", 6) + 2);
      const std::string said = what.substr(0, what.find("; "));
      while (next < found.size() && found[next].find(": " + said + ": ") == std::string::npos) {
        ++next;
      }
      EXPECT_LT(next, found.size()) << m.name << ": the check does not say " << line;
    }
  }
}

TEST_F(CheckTest, WithoutTheIdentityKeyNothingElseIsChecked) {
  fake.registry.failOpen = kErrorFileNotFound;
  findings = checkInstallation(os);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findingLine(findings[0]), "error: registry: no key " + std::string(kKey) +
                                          ": put the agent identity under that key");
}

TEST(RegIdFileNameProblemTest, NamesWhatAWindowsFileNameCannotHold) {
  const std::string kForbidden =
      "holds a character Windows does not allow in a file name "
      "(: * ? \" < > |)";
  const struct {
    std::string regId;
    std::string problem;
  } kCases[] = {
      {"4711", ""},
      {"12..3", ""},
      {"12.", ""},
      {"...", ""},
      {"a\\b", "holds a path separator"},
      {"4/1", "holds a path separator"},
      {"12:stream", kForbidden},
      {"1*", kForbidden},
      {"1?", kForbidden},
      {"1\"", kForbidden},
      {"1<", kForbidden},
      {"1>", kForbidden},
      {"1|2", kForbidden},
      {"47\n11", "holds a control character"},
      {std::string("47\x01"), "holds a control character"},
      {".", "is \".\""},
      {"..", "is \"..\""},
  };
  for (const auto& c : kCases) EXPECT_EQ(regIdFileNameProblem(c.regId), c.problem) << c.regId;
}

}  // namespace
}  // namespace sccevtmon
