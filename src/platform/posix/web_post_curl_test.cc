#include "platform/posix/web_post_curl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "testing/http_receiver.h"
#include "testing/native_fixture.h"

namespace sccevtmon {
namespace {

using testing::BlackHoleListener;
using testing::HttpReceiver;

// curl words its time-out errors in more than one way, depending on where the time ran out.
bool saysTimedOut(const std::string& error) {
  return error.find("timed out") != std::string::npos || error.find("imeout") != std::string::npos;
}

class CurlWebPostTest : public ::testing::Test {
 protected:
  // Loopback only, whatever proxy the machine names.
  void SetUp() override { ::setenv("no_proxy", "*", 1); }

  // Posts xml to url with a fresh component object.
  static bool post(CurlWebPost& component, PostXmlCall& call) {
    std::unique_ptr<WebPostObject> object;
    EXPECT_TRUE(component.create(&object).ok());
    bool result = true;
    EXPECT_TRUE(object->postXmlString(call, &result).ok());
    return result;
  }

  CurlWebPost component_{CurlWebPost::Timeouts{2'000, 5'000}};
};

TEST_F(CurlWebPostTest, GivesUpAfterTheTimeOuts) {
  HttpReceiver receiver;
  receiver.setMode(HttpReceiver::Mode::kStall);
  CurlWebPost quick(CurlWebPost::Timeouts{2'000, 300});
  PostXmlCall stalled = postCall(receiver.baseUrl());
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(post(quick, stalled));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_TRUE(saysTimedOut(stalled.error1)) << stalled.error1;

  BlackHoleListener hole;
  if (!hole.ready()) GTEST_SKIP() << "could not fill a loopback accept queue";
  CurlWebPost quickConnect(CurlWebPost::Timeouts{300, 5'000});
  PostXmlCall hanging = postCall("http://127.0.0.1:" + std::to_string(hole.port()) + "/");
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(post(quickConnect, hanging));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_TRUE(saysTimedOut(hanging.error1)) << hanging.error1;
}

TEST_F(CurlWebPostTest, TakesTheProxyFromTheEnvironment) {
  HttpReceiver proxy;
  ::setenv("http_proxy", proxy.baseUrl().c_str(), 1);
  ::setenv("no_proxy", "", 1);
  // The name is never looked up: the proxy is asked for the whole URL.
  PostXmlCall call = postCall("http://reports.invalid/page.asp?mmid=1");
  bool posted = post(component_, call);
  ::unsetenv("http_proxy");
  EXPECT_TRUE(posted) << call.error1;
  ASSERT_EQ(proxy.requests().size(), 1u);
  EXPECT_EQ(proxy.requests()[0].target, "http://reports.invalid/page.asp?mmid=1");
}

// The component's scheme check holds whatever proxy the environment names (the URLs without
// a proxy: web_post_component_test.cc).
TEST_F(CurlWebPostTest, OnlyHttpUrlsReachTheNetworkEvenThroughAProxy) {
  HttpReceiver receiver;
  std::string hostPort = "127.0.0.1:" + std::to_string(receiver.port());
  ::setenv("http_proxy", receiver.baseUrl().c_str(), 1);
  ::setenv("all_proxy", receiver.baseUrl().c_str(), 1);
  ::setenv("no_proxy", "", 1);
  for (const std::string& url :
       {std::string(), hostPort + "/page.asp", "//" + hostPort + "/", "ftp://" + hostPort + "/",
        std::string("file:///etc/passwd"), "gopher://" + hostPort + "/", " http://" + hostPort}) {
    PostXmlCall call = postCall(url);
    EXPECT_FALSE(post(component_, call)) << url;
  }
  ::unsetenv("http_proxy");
  ::unsetenv("all_proxy");
  EXPECT_EQ(receiver.connections(), 0);
}

}  // namespace
}  // namespace sccevtmon
