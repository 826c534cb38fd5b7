#include "run/check.h"

#include <gmock/gmock.h>

#include <functional>

#include "testing/fake_platform.h"

namespace sccevtmon {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

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
  f.logQuery.byLog["System"] = {Status::success(), 40, {FakeLogRow{}, FakeLogRow{}}};
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

// One mistake each, and the line that must report it.
struct Mistake {
  const char* name;
  std::function<void(FakePlatform&)> make;
  Severity severity;
  std::string line;
};

void setTemplate(FakePlatform& f, const std::string& entries) {
  f.files.addFile(kTemplate, templateWith(entries));
}
std::string entry(const std::string& children, const std::string& log = "System") {
  return "  <dcm scriptid=\"5\" scriptver=\"1\"><evntlgsourcestr>" + log + "</evntlgsourcestr>" +
         children + "</dcm>\n";
}
void failWrites(FakePlatform& f, const std::string& folder) {
  f.files.fail = [folder](const std::string& op, const std::string& path) {
    return op == "isWritable" && path == folder ? runtimeError(kErrPermissionDenied)
                                                : Status::success();
  };
}

const Mistake kMistakes[] = {
    {"misspelled filter element",
     [](FakePlatform& f) {
       setTemplate(f, entry("<evntsrc>Disk</evntsrc><outputopt>2</outputopt>"));
     },
     Severity::kError,
     "template line 4, entry 1: unknown element <evntsrc>: a run ignores it, so it does not "
     "narrow the entry; did you mean <evntsource>?"},
    {"wrong root element",
     [](FakePlatform& f) {
       f.files.addFile(kTemplate,
                       "<dcmevntlgtemplate><dcm scriptid=\"1\" scriptver=\"1\"/>"
                       "</dcmevntlgtemplate>");
     },
     Severity::kError,
     "template has no <dcmevntlgtemplat> element (its root element is <dcmevntlgtemplate>): a "
     "run reads no entry, monitors nothing and reports success; make <dcmevntlgtemplat> the root "
     "element"},
    {"REGID 0", [](FakePlatform& f) { f.registry.setString(kKey, "REGID", "0"); }, Severity::kError,
     "REGID \"0\" is not a non-zero number: a run writes \"MSG : Invalid RegId\" into "
     "/agent/ApplicationLog/qSCCLog/sccevtmon_0.txt and stops without a report; set REGID to the "
     "registration ID the server assigned"},
    {"REGID unsafe in a file name",
     [](FakePlatform& f) { f.registry.setString(kKey, "REGID", "4/1"); }, Severity::kError,
     "REGID \"4/1\" holds a path separator: start-up refuses it; set REGID to the registration ID "
     "the server assigned"},
    {"REGID with letters", [](FakePlatform& f) { f.registry.setString(kKey, "REGID", "12ab"); },
     Severity::kWarning,
     "REGID \"12ab\" reads as 12 but names the activity log and the report files as written; "
     "write the number alone"},
    {"MEMBERID not a number", [](FakePlatform& f) { f.registry.setString(kKey, "MEMBERID", "x1"); },
     Severity::kWarning,
     "MEMBERID \"x1\" is not a non-zero number: the reports carry it as written and the server "
     "may not place them; set the ID the server assigned"},
    {"identity value of another type",
     [](FakePlatform& f) { f.registry.setValue(kKey, "SITEID", kRegExpandSz, "22"); },
     Severity::kError,
     "registry value SITEID is not a text value (REG_SZ): a run reads it as empty; write it as "
     "\"SITEID\"=\"...\""},
    {"unwritable post-logs folder", [](FakePlatform& f) { failWrites(f, "/agent/SCCPostLogs"); },
     Severity::kError,
     "post-logs folder /agent/SCCPostLogs is not writable: a run's report files stay in the "
     "installation folder while the server hears of success; give the account the runs use "
     "write access to it"},
    {"unwritable activity-log folder",
     [](FakePlatform& f) {
       f.files.folders.erase("/agent/ApplicationLog/qSCCLog");
       failWrites(f, "/agent/ApplicationLog");
     },
     Severity::kError,
     "activity-log folder /agent/ApplicationLog/qSCCLog is missing and cannot be created in "
     "/agent/ApplicationLog: a run cannot open its activity log and ends at once; create it and "
     "give the account the runs use write access to it"},
    {"unwritable execution-state folder",
     [](FakePlatform& f) { failWrites(f, "/agent/qSCC/MonitorTemplate"); }, Severity::kError,
     "folder /agent/qSCC/MonitorTemplate is not writable: a run cannot record LastRun or the "
     "last failure, so every run reads only the last hour and posts the same failure again; give "
     "the account the runs use write access to it"},
    {"missing installation folder", [](FakePlatform& f) { f.files.folders.erase("/agent"); },
     Severity::kError,
     "installation folder /agent does not exist: a run ends at once; create it or correct "
     "InstallationPath"},
    {"EVENT mismatch", [](FakePlatform& f) { f.registry.setString(kKey, "EVENT", "0123"); },
     Severity::kError,
     "template MD5 D41D8CD98F00B204E9800998ECF8427E differs from EVENT 0123: a run reports "
     "\"Checksum mismatched for event log\"; redeliver the template the server assigned, or if "
     "this is it, set EVENT to D41D8CD98F00B204E9800998ECF8427E (md5sum "
     "/agent\\qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml computes it)"},
    {"EVENT empty", [](FakePlatform& f) { f.registry.setString(kKey, "EVENT", " "); },
     Severity::kError,
     "EVENT is empty: a run reports \"Checksum is missing for the event template\"; set EVENT to "
     "the template's MD5 D41D8CD98F00B204E9800998ECF8427E (md5sum "
     "/agent\\qSCC\\MonitorTemplate\\SCCEventLogTemplate.xml computes it)"},
    {"missing template", [](FakePlatform& f) { f.files.files.erase(kTemplate); }, Severity::kError,
     "template /agent/qSCC/MonitorTemplate/SCCEventLogTemplate.xml is missing: a run reports "
     "\"Event Template is missing.\"; deliver the template the server assigned"},
    {"template over 16 MiB",
     [](FakePlatform& f) { f.files.addFile(kTemplate, std::string(16 * 1024 * 1024 + 1, ' ')); },
     Severity::kError,
     "template /agent/qSCC/MonitorTemplate/SCCEventLogTemplate.xml is larger than 16 MiB, which "
     "a run does not read: a run cannot use it; deliver the template the server assigned"},
    {"template not well-formed",
     [](FakePlatform& f) {
       f.files.addFile(kTemplate, "<dcmevntlgtemplat>\n  <dcm>\n</dcmevntlgtemplat>");
     },
     Severity::kError,
     "template is not well-formed XML (Start-end tags mismatch at line 3, column 3): a run "
     "reports \"Failed to load the xml file\"; correct the template there or deliver it again"},
    {"undefined entity",
     [](FakePlatform& f) {
       setTemplate(f, entry("<evntsource>A&nbsp;B</evntsource><outputopt>1</outputopt>"));
     },
     Severity::kError,
     "template is not well-formed XML (undefined entity or malformed reference at line 4, column "
     "89): a run reports \"Failed to load the xml file\"; correct the template there or deliver "
     "it again"},
    {"DOCTYPE declaring entities",
     [](FakePlatform& f) {
       f.files.addFile(kTemplate, "<!DOCTYPE t [<!ENTITY x \"y\">]>\n<dcmevntlgtemplat/>");
     },
     Severity::kError,
     "template is not well-formed XML (entity declarations are not supported (document type "
     "declaration at line 1, column 1)): a run reports \"Failed to load the xml file\"; correct "
     "the template there or deliver it again"},
    {"element names are case-sensitive",
     [](FakePlatform& f) {
       setTemplate(f, kGoodEntries + "  <DCM scriptid=\"9\" scriptver=\"1\"/>\n");
     },
     Severity::kError,
     "template line 6: unknown element <DCM> in <dcmevntlgtemplat>: a run ignores it; element "
     "names are case-sensitive: write <dcm>"},
    {"dcm without scriptver",
     [](FakePlatform& f) {
       setTemplate(f,
                   "  <dcm "
                   "scriptid=\"1\"><evntlgsourcestr>System</evntlgsourcestr><outputopt>1</"
                   "outputopt></dcm>\n");
     },
     Severity::kError,
     "template line 4, entry 1: <dcm> has no scriptver attribute: a run stops reading the "
     "template there and reports \"Failed to parse the XML, ...\"; add scriptver=\"...\""},
    {"entry without a log",
     [](FakePlatform& f) { setTemplate(f, entry("<outputopt>1</outputopt>", " ")); },
     Severity::kError,
     "template line 4, entry 1: no event log in <evntlgsourcestr>: a run never reads this entry; "
     "name the log, such as System"},
    {"unknown event type code",
     [](FakePlatform& f) {
       setTemplate(f, entry("<evnttype>0;3</evnttype><outputopt>1</outputopt>"));
     },
     Severity::kError,
     "template line 4, entry 1: <evnttype> \"0;3\": a run skips \"0\" and \"3\", so every event "
     "type passes; the codes are 1 (error), 2 (warning), 4 (information), 8 (success audit) and "
     "16 (failure audit), separated by \";\", or 0 alone for every type"},
    {"event ID not a number",
     [](FakePlatform& f) {
       setTemplate(f, entry("<evntid>7,7o36</evntid><outputopt>2</outputopt>"));
     },
     Severity::kError,
     "template line 4, entry 1: event ID \"7o36\" in <evntid> is not a number from 0 to 65535: no "
     "event has it; write event IDs as numbers separated by \",\""},
    {"description mode unknown",
     [](FakePlatform& f) {
       setTemplate(f, entry("<evntdesc>disk</evntdesc><evntdescstrt>contains</evntdescstrt>"
                            "<outputopt>2</outputopt>"));
     },
     Severity::kError,
     "template line 4, entry 1: <evntdescstrt> \"contains\" is not \"starts with\", \"ends "
     "with\", \"contain\" or \"does not contain\": a run ignores <evntdesc> and reports every "
     "event; write one of the four"},
    {"description joiner missing",
     [](FakePlatform& f) {
       setTemplate(f, entry("<evntdesc>a##b</evntdesc><evntdescstrt>does not contain"
                            "</evntdescstrt><outputopt>2</outputopt>"));
     },
     Severity::kError,
     "template line 4, entry 1: <evntdescandor> \"\" is neither AND nor OR: with several texts a "
     "run reports every event; write AND or OR"},
    {"pair without a semicolon",
     [](FakePlatform& f) {
       setTemplate(f, entry("<evntsourandid>Disk,7</evntsourandid><outputopt>1</outputopt>"));
     },
     Severity::kError,
     "template line 4, entry 1: pair \"Disk,7\" in <evntsourandid> has no \";\" between source "
     "and IDs: the pass over \"System\" fails at this entry and a run reports \"Invalid procedure "
     "call or argument\"; write SOURCE;ID,ID"},
    {"pair without an ID",
     [](FakePlatform& f) {
       setTemplate(f,
                   entry("<evntsourandid>Disk;##Ntfs;55</evntsourandid><outputopt>1</outputopt>"));
     },
     Severity::kError,
     "template line 4, entry 1: pair \"Disk;\" in <evntsourandid> has no event ID: a run skips "
     "it; write SOURCE;ID,ID"},
    {"outputopt out of range",
     [](FakePlatform& f) { setTemplate(f, entry("<outputopt>4</outputopt>")); }, Severity::kError,
     "template line 4, entry 1: <outputopt> 4 is out of range: a run writes nothing for this "
     "entry; write 1 (summary rows), 2 (detail rows) or 3 (both)"},
    {"outputopt missing", [](FakePlatform& f) { setTemplate(f, entry("")); }, Severity::kError,
     "template line 4, entry 1: <outputopt> \"\" is not a whole number: every log's pass stops "
     "at this entry and a run reports the failure; write 1 (summary rows), 2 (detail rows) or 3 "
     "(both)"},
    {"element given twice",
     [](FakePlatform& f) {
       setTemplate(f, entry("<evntid>1</evntid><EvntID>2</EvntID><outputopt>2</outputopt>"));
     },
     Severity::kError,
     "template line 4, entry 1: a second <evntid>: a run keeps only the last one; merge them "
     "into one"},
    {"missing event log",
     [](FakePlatform& f) { setTemplate(f, entry("<outputopt>1</outputopt>", "Sytem")); },
     Severity::kError,
     "event log \"Sytem\" (entry 1): Automation error: a run reports it as its failure; export "
     "the log into the event-log folder, which holds Application, System"},
    {"LastRun not a date",
     [](FakePlatform& f) { f.files.addFile(kState, "[LastRunDateTime]\r\nLastRun=yesterday\r\n"); },
     Severity::kError,
     "LastRun \"yesterday\" is not a date and time (MM/DD/YYYY HH:NN:SS): a run reports \"Failed "
     "to get the exe's last execution time. Type mismatch\" and reads the last hour; remove "
     "LastRun from [LastRunDateTime]"},
    {"LastRun ahead of the clock",
     [](FakePlatform& f) {
       f.files.addFile(kState, "[LastRunDateTime]\r\nLastRun=03/07/2026 16:00:00\r\n");
     },
     Severity::kError,
     "LastRun 03/07/2026 16:00:00 lies after this machine's time 03/07/2026 14:05:09: every run "
     "until the hour after it is refused (\"Last exection is less than an hour.\"); correct this "
     "machine's clock or remove LastRun from [LastRunDateTime]"},
    {"LastRun more than a day ahead",
     [](FakePlatform& f) {
       f.files.addFile(kState, "[LastRunDateTime]\r\nLastRun=03/09/2026 16:00:00\r\n");
     },
     Severity::kError,
     "LastRun 03/09/2026 16:00:00 lies more than 24 clock hours after this machine's time "
     "03/07/2026 14:05:09: a run reports \"Last execution time 03/09/2026 16:00:00 lies more than "
     "24 hours ahead of the clock.\" and reads the last hour; correct this machine's clock or "
     "remove LastRun from [LastRunDateTime]"},
    {"LastRun more than a day ago",
     [](FakePlatform& f) {
       f.files.addFile(kState, "[LastRunDateTime]\r\nLastRun=03/06/2026 13:00:00\r\n");
     },
     Severity::kWarning,
     "LastRun 03/06/2026 13:00:00 is more than 24 clock hours ago: the next run reads only the "
     "last hour, the time between is never read"},
    {"bad URL",
     [](FakePlatform& f) {
       f.files.addFile(kServer, "[wpdcmodjobexestsins]\r\nURL=ftp://server.example/\r\n");
     },
     Severity::kError,
     "URL \"ftp://server.example/\" in [wpdcmodjobexestsins] is not an http:// or https:// URL: "
     "every post of status reports fails; write the server's base URL, such as "
     "https://server.example/reports/"},
    {"URL with a blank",
     [](FakePlatform& f) {
       f.files.addFile(kServer, "[wpdcmscctmpevtlgfail]\r\nURL=https://server example/\r\n");
     },
     Severity::kError,
     "URL \"https://server example/\" in [wpdcmscctmpevtlgfail] holds a blank or a control "
     "character: every post of failure reports fails; write the server's base URL, such as "
     "https://server.example/reports/"},
    {"plain http",
     [](FakePlatform& f) {
       f.files.addFile(kServer, "[wpdcmodjobexestsins]\r\nURL=http://server.example/\r\n");
     },
     Severity::kWarning,
     "URL \"http://server.example/\" in [wpdcmodjobexestsins] is plain http: status reports "
     "travel unencrypted; use https:// when the server offers it"},
    {"no server settings", [](FakePlatform& f) { f.files.files.erase(kServer); },
     Severity::kWarning,
     "server settings /agent/Configuration/qScriptDNS.ini are missing: no report is posted, each "
     "is kept as a file in SCCPostLogs; write the server's base URLs there"},
};

TEST_F(CheckTest, EachMistakeIsReportedWithWhatToDo) {
  for (const Mistake& m : kMistakes) {
    FakePlatform f;
    wellConfigured(f);
    m.make(f);
    findings = checkInstallation(f.platform);
    EXPECT_THAT(lines(m.severity), Contains(m.line)) << m.name;
    EXPECT_EQ(checkExitStatus(findings), m.severity == Severity::kError ? 1 : 0) << m.name;
  }
}

TEST_F(CheckTest, WithoutTheIdentityKeyNothingElseIsChecked) {
  fake.registry.failOpen = kErrorFileNotFound;
  findings = checkInstallation(os);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findingLine(findings[0]), "error: registry: no key " + std::string(kKey) +
                                          ": put the agent identity under that key");
}

TEST(RegIdFileNameProblemTest, NamesWhatAFileNameCannotHold) {
  EXPECT_EQ(regIdFileNameProblem("4711"), "");
  EXPECT_EQ(regIdFileNameProblem("a\\b"), "holds a path separator");
  EXPECT_EQ(regIdFileNameProblem("1..2"), "holds \"..\"");
  EXPECT_EQ(regIdFileNameProblem(std::string("47\n11")), "holds a control character");
}

}  // namespace
}  // namespace sccevtmon
