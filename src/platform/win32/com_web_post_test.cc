// The web-post component by late binding where it differs from the portable build's (posting:
// web_post_component_test.cc): creating it when it is not registered, and registering it, with
// the test-only stand-in qWbPost.dll (built into test-components/ beside this executable).
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
#include "testing/native_fixture.h"
#include "testing/test_support.h"

namespace sccevtmon {
namespace {

using ::testing::ElementsAre;
using testing::HttpReceiver;
using ::testing::StartsWith;

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
