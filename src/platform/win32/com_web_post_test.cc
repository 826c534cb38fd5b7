// The web-post component by late binding, against the test-only stand-in qWbPost.dll (built
// into test-components/ beside this executable and registered in the wine prefix by
// scripts/test-windows), which posts with WinHTTP to a receiver on 127.0.0.1 in this process.
// Also the HRESULT and VARIANT conversions every component call goes through.
#include "platform/win32/com_web_post.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, whose types they use:
#include <objbase.h>

#include <chrono>
#include <thread>

#include "platform/win32/automation.h"
#include "platform/win32/process.h"
#include "report/web_post.h"
#include "testing/http_receiver.h"
#include "testing/test_support.h"

namespace sccevtmon {
namespace {

using ::testing::ElementsAre;
using testing::HttpReceiver;
using ::testing::StartsWith;

std::string componentsFolder() {
  std::string exe = ownExecutablePath();
  return exe.substr(0, exe.find_last_of('\\')) + "\\test-components";
}

bool progIdRegistered(const std::string& progId) {
  if (!initialiseCom().ok()) return false;
  CLSID clsid;
  return SUCCEEDED(CLSIDFromProgID(ansiToWide(progId).c_str(), &clsid));
}

// Deletes a key of HKEY_CLASSES_ROOT with everything below it.
void deleteClassesKey(const std::string& key) {
  RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
  RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
}

class ComWebPostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(progIdRegistered("qWbPost.WebPost"))
        << "the stand-in component is not registered in this wine prefix; scripts/test-windows "
           "registers it (wine64 regsvr32 /s "
        << componentsFolder() << "\\qWbPost.dll)";
  }

  // Posts with a fresh object, as WebPost does; the call's own errors fail the test.
  bool post(PostXmlCall& call) {
    std::unique_ptr<WebPostObject> object;
    Status s = component.create(&object);
    EXPECT_TRUE(s.ok()) << s.number << ":" << s.description;
    if (!s.ok()) return false;
    bool result = true;
    s = object->postXmlString(call, &result);
    EXPECT_TRUE(s.ok()) << s.number << ":" << s.description;
    return result;
  }

  static PostXmlCall callTo(const std::string& url, const std::string& xml = "<a>1</a>") {
    PostXmlCall call;
    call.xml = xml;
    call.url = url;
    return call;
  }

  ComWebPost component;  // "qWbPost.WebPost"
};

TEST_F(ComWebPostTest, PostsTheXmlAndTakesA2xxAnswer) {
  HttpReceiver receiver;
  receiver.answer(200, "OK", "received");
  // A Windows-1252 byte crosses the BSTRs both ways unchanged.
  std::string xml = "<wpdcmscctmpevtlgst><mmid>1</mmid><n>caf\xE9</n></wpdcmscctmpevtlgst>";
  PostXmlCall call = callTo(receiver.baseUrl() + "tfr_x.asp?mmid=1&sid=2", xml);

  EXPECT_TRUE(post(call));
  EXPECT_EQ(call.answer, "received");
  EXPECT_EQ(call.error1, "");
  EXPECT_EQ(call.error2, "HTTP/1.1 200 OK");
  EXPECT_EQ(call.error3, "received");
  ASSERT_EQ(receiver.requests().size(), 1u);
  HttpReceiver::Request r = receiver.requests()[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.target, "/tfr_x.asp?mmid=1&sid=2");
  EXPECT_EQ(r.header("Content-Type"), "text/xml");
  EXPECT_EQ(r.body, xml);

  receiver.answer(204, "No Content", "");
  PostXmlCall empty = callTo(receiver.baseUrl());
  EXPECT_TRUE(post(empty));
  EXPECT_EQ(empty.answer, "");
  EXPECT_EQ(empty.error2, "HTTP/1.1 204 No Content");
}

TEST_F(ComWebPostTest, AServerErrorOrARedirectFailsWithTheStatusLineAndTheStartOfTheBody) {
  HttpReceiver receiver;
  std::string body = std::string(150, 'x') + std::string(150, 'y');
  receiver.answer(500, "Internal Server Error", body);
  PostXmlCall call = callTo(receiver.baseUrl() + "page.asp");
  EXPECT_FALSE(post(call));
  EXPECT_EQ(call.answer, body);
  EXPECT_EQ(call.error1, "");
  EXPECT_EQ(call.error2, "HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(call.error3, body.substr(0, 200));

  // Not followed, as on Linux.
  receiver.answer(302, "Found", "moved");
  PostXmlCall redirected = callTo(receiver.baseUrl());
  EXPECT_FALSE(post(redirected));
  EXPECT_EQ(redirected.error2, "HTTP/1.1 302 Found");
  EXPECT_EQ(receiver.requests().size(), 2u);
}

TEST_F(ComWebPostTest, ALongAnswerIsCutAt64Kilobytes) {
  HttpReceiver receiver;
  std::string body(100 * 1024, 'b');
  receiver.answer(200, "OK", body);
  std::string xml = "<x>" + std::string(300'000, 'a') + "</x>";
  PostXmlCall call = callTo(receiver.baseUrl(), xml);
  EXPECT_TRUE(post(call));
  EXPECT_EQ(call.answer, body.substr(0, 64 * 1024));
  ASSERT_EQ(receiver.requests().size(), 1u);
  EXPECT_EQ(receiver.requests()[0].body, xml);
}

TEST_F(ComWebPostTest, ARefusedConnectionFailsWithTheTransportsError) {
  PostXmlCall refused =
      callTo("http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()) + "/page.asp");
  EXPECT_FALSE(post(refused));
  EXPECT_THAT(refused.error1, StartsWith("WinHttpSendRequest failed: 12029"));
  EXPECT_EQ(refused.error2, "");
  EXPECT_EQ(refused.answer, "");
}

TEST_F(ComWebPostTest, OnlyHttpUrlsReachTheNetwork) {
  HttpReceiver receiver;
  std::string hostPort = "127.0.0.1:" + std::to_string(receiver.port());
  for (const std::string& url :
       {std::string(), std::string("tfr_x.asp?mmid=1"), hostPort + "/page.asp",
        "ftp://" + hostPort + "/", " http://" + hostPort, std::string("http://")}) {
    PostXmlCall call = callTo(url);
    EXPECT_FALSE(post(call)) << url;
    EXPECT_FALSE(call.error1.empty()) << url;
  }
  EXPECT_EQ(receiver.connections(), 0);
  PostXmlCall upper = callTo("HTTP://" + hostPort + "/x");
  EXPECT_TRUE(post(upper)) << upper.error1;
}

TEST(ComWebPostCreationTest, AProgIdThatIsNotRegisteredIs429) {
  ComWebPost missing("sccevtmon.NotRegistered.WebPost");
  std::unique_ptr<WebPostObject> object;
  Status s = missing.create(&object);
  EXPECT_EQ(s.number, kErrCannotCreateObject);
  EXPECT_EQ(s.description, "ActiveX component can't create object");
  EXPECT_FALSE(object);
}

TEST(ComWebPostCreationTest, AProgIdWhoseClassIsNotRegisteredIs429) {
  // The ProgID names a class ID that nothing registers (REGDB_E_CLASSNOTREG).
  const std::string progId = "sccevtmon.DanglingTest" + std::to_string(GetCurrentProcessId());
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (progId + "\\CLSID").c_str(), 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char clsid[] = "{0D0A4B52-6C8E-4C55-9E39-5A3D8C5E7F11}";
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid), sizeof clsid);
  RegCloseKey(key);
  ComWebPost dangling(progId);
  std::unique_ptr<WebPostObject> object;
  Status s = dangling.create(&object);
  deleteClassesKey(progId);
  EXPECT_EQ(s.number, kErrCannotCreateObject) << s.description;
}

// The whole WebPost routine over the real process start and component: an
// unregistered component is registered by a hidden regsvr32 of the installation folder's
// qWbPost.dll (the stand-in registers the ProgID named in its environment) and a later call
// posts without registering again. The installation folder's name has blanks, as under
// "Program Files (x86)": unquoted, regsvr32 would register nothing.
class WebPostRegistrationTest : public RunTest {
 protected:
  const std::string kProgId = "sccevtmon.RegistrationTest.WebPost";
  const std::string kClassKey = "CLSID\\{91A0CF7B-BEAD-46C1-A5AE-A52D8BD6B6D3}";

  void SetUp() override {
    forget();
    SetEnvironmentVariableA("SCCEVTMON_TEST_WEBPOST_PROGID", kProgId.c_str());
    startRun(rs);
  }
  void TearDown() override {
    SetEnvironmentVariableA("SCCEVTMON_TEST_WEBPOST_PROGID", nullptr);
    forget();
  }
  void forget() {
    deleteClassesKey(kProgId);
    deleteClassesKey(kClassKey);
  }
};

TEST_F(WebPostRegistrationTest, AnUnregisteredComponentIsRegisteredByAHiddenRegsvr32) {
  ASSERT_FALSE(progIdRegistered(kProgId));
  HttpReceiver receiver;
  receiver.answer(200, "OK", "received");
  WinProcess process;
  ComWebPost component(kProgId);
  Platform os{fake.registry, fake.profile,  fake.files, fake.clock,
              process,       fake.logQuery, component,  fake.checksum};
  // The installation folder holds the component's server file (with the backslash start-up
  // leaves at its end). The copy stays: the second post loads it into this process.
  const std::string installation = componentsFolder() + "\\agent (x86) with blanks";
  CreateDirectoryA(installation.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((componentsFolder() + "\\qWbPost.dll").c_str(),
                        (installation + "\\qWbPost.dll").c_str(), FALSE))
      << GetLastError();
  rs.installPath = installation + "\\";
  const std::string serverFile = rs.installPath + "\\qWbPost.dll";
  const std::string url = receiver.baseUrl() + "tfr.asp?mmid=11";

  std::string answer;
  bool first = WebPost(rs, os, "<x/>", url, answer);
  std::vector<std::string> lines = logLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Registered Dll : " + serverFile);
  // regsvr32 is not waited for: the retry straight after it may or may not find the class.
  if (!first) {
    EXPECT_THAT(lines, ElementsAre("Registered Dll : " + serverFile,
                                   "ERR : Function WebPost :: 429:ActiveX component can't create "
                                   "object"));
  }

  // The registration lands (regsvr32 under wine takes a moment).
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!progIdRegistered(kProgId) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(progIdRegistered(kProgId)) << "regsvr32 did not register " << serverFile;

  size_t before = logLines().size();
  EXPECT_TRUE(WebPost(rs, os, "<x/>", url, answer));
  EXPECT_EQ(answer, "received");
  EXPECT_THAT(logLines(before),
              ElementsAre("MSG : Webposting data :: <x/>", "MSG : Webposting Source :: " + url,
                          "MSG : Webpost Received data :: received"));
  ASSERT_FALSE(receiver.requests().empty());
  EXPECT_EQ(receiver.requests().back().body, "<x/>");
}

TEST(AutomationErrorTest, HresultsBecomeTheRuntimesErrors) {
  EXPECT_EQ(automationError(CO_E_CLASSSTRING).number, kErrCannotCreateObject);
  EXPECT_EQ(automationError(REGDB_E_CLASSNOTREG).number, kErrCannotCreateObject);
  Status typeLib = automationError(TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(typeLib.number, kErrTypeLibNotRegistered);
  EXPECT_THAT(typeLib.description, StartsWith("Automation error"));
  EXPECT_EQ(automationError(DISP_E_UNKNOWNNAME).number, kErrNoSuchMember);
  EXPECT_EQ(automationError(DISP_E_BADPARAMCOUNT).number, kErrArgumentCount);
  EXPECT_EQ(automationError(DISP_E_TYPEMISMATCH).number, kErrTypeMismatch);
  EXPECT_EQ(automationError(E_OUTOFMEMORY).number, kErrOutOfMemory);
  EXPECT_EQ(automationError(E_NOINTERFACE).number, kErrNoAutomation);
  // A run-time error raised inside a component of the classic runtime keeps its number.
  Status raised = automationError(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 53));
  EXPECT_EQ(raised.number, kErrFileNotFound);
  EXPECT_EQ(raised.description, "File not found");
  Status other = automationError(E_FAIL);
  EXPECT_EQ(other.number, -2147467259L);
  EXPECT_THAT(other.description, StartsWith("Automation error"));
  EXPECT_EQ(other.description.find('\n'), std::string::npos);
}

TEST(AutomationTextTest, VariantsAreReadAsTheRuntimeReadsThem) {
  auto text = [](VARIANT v) {
    std::string t;
    Status s = variantText(v, &t);
    VariantClear(&v);
    return s.ok() ? t : "error " + std::to_string(s.number);
  };
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(text(v), "");
  V_VT(&v) = VT_NULL;
  EXPECT_EQ(text(v), "");
  V_VT(&v) = VT_I4;
  V_I4(&v) = 1234567;
  EXPECT_EQ(text(v), "1234567");
  V_VT(&v) = VT_R8;
  V_R8(&v) = 2.5;
  EXPECT_EQ(text(v), "2.5");
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = VARIANT_TRUE;
  EXPECT_EQ(text(v), "True");
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = Bstr("caf\xE9").release();
  EXPECT_EQ(text(v), "caf\xE9");
  V_VT(&v) = VT_ARRAY | VT_I4;
  V_ARRAY(&v) = SafeArrayCreateVector(VT_I4, 0, 1);
  EXPECT_EQ(text(v), "error 13");

  auto boolean = [](VARIANT v) {
    bool b = false;
    Status s = variantBool(v, &b);
    VariantClear(&v);
    return s.ok() ? (b ? "true" : "false") : "error " + std::to_string(s.number);
  };
  VariantInit(&v);
  EXPECT_EQ(boolean(v), "false");
  V_VT(&v) = VT_NULL;
  EXPECT_EQ(boolean(v), "error 94");
  V_VT(&v) = VT_I2;
  V_I2(&v) = -1;
  EXPECT_EQ(boolean(v), "true");
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = Bstr("True").release();
  EXPECT_EQ(boolean(v), "true");
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = Bstr("not a Boolean").release();
  EXPECT_EQ(boolean(v), "error 13");
}

}  // namespace
}  // namespace sccevtmon
