#include "platform/posix/web_post_curl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "testing/http_receiver.h"

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

  static PostXmlCall callTo(const std::string& url, const std::string& xml = "<a>1</a>") {
    PostXmlCall call;
    call.xml = xml;
    call.url = url;
    return call;
  }

  CurlWebPost component_{CurlWebPost::Timeouts{2'000, 5'000}};
};

TEST_F(CurlWebPostTest, PostsTheXmlAndTakesA2xxAnswer) {
  HttpReceiver receiver;
  receiver.answer(200, "OK", "received");
  std::string xml = "<wpdcmscctmpevtlgst><mmid>1</mmid></wpdcmscctmpevtlgst>";
  PostXmlCall call = callTo(receiver.baseUrl() + "tfr_x.asp?mmid=1&sid=2", xml);

  EXPECT_TRUE(post(component_, call));
  EXPECT_EQ(call.answer, "received");
  EXPECT_EQ(call.error1, "");
  EXPECT_EQ(call.error2, "HTTP/1.1 200 OK");
  ASSERT_EQ(receiver.requests().size(), 1u);
  HttpReceiver::Request r = receiver.requests()[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.target, "/tfr_x.asp?mmid=1&sid=2");
  EXPECT_EQ(r.header("Content-Type"), "text/xml");
  EXPECT_EQ(r.body, xml);

  receiver.answer(204, "No Content", "");
  PostXmlCall empty = callTo(receiver.baseUrl());
  EXPECT_TRUE(post(component_, empty));
  EXPECT_EQ(empty.answer, "");
}

TEST_F(CurlWebPostTest, SendsALongBodyWhole) {
  HttpReceiver receiver;
  std::string xml = "<x>" + std::string(300'000, 'a') + "</x>";
  PostXmlCall call = callTo(receiver.baseUrl(), xml);
  EXPECT_TRUE(post(component_, call));
  ASSERT_EQ(receiver.requests().size(), 1u);
  EXPECT_EQ(receiver.requests()[0].body, xml);
}

// A long answer is taken whole from the network, and its first 64 KiB kept.
TEST_F(CurlWebPostTest, KeepsTheFirst64KibOfALongAnswer) {
  HttpReceiver receiver;
  std::string body = std::string(65536, 'a') + std::string(4'000'000, 'b');
  receiver.answer(200, "OK", body);
  PostXmlCall call = callTo(receiver.baseUrl());
  EXPECT_TRUE(post(component_, call));
  EXPECT_EQ(call.answer, body.substr(0, 65536));
  EXPECT_EQ(call.error3, body.substr(0, 200));
}

TEST_F(CurlWebPostTest, AServerErrorFailsWithTheStatusLineAndTheStartOfTheBody) {
  HttpReceiver receiver;
  std::string body = std::string(150, 'x') + std::string(150, 'y');
  receiver.answer(500, "Internal Server Error", body);
  PostXmlCall call = callTo(receiver.baseUrl() + "page.asp");

  EXPECT_FALSE(post(component_, call));
  EXPECT_EQ(call.answer, body);
  EXPECT_EQ(call.error1, "");
  EXPECT_EQ(call.error2, "HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(call.error3, body.substr(0, 200));

  receiver.answer(302, "Found", "moved");
  PostXmlCall redirected = callTo(receiver.baseUrl());
  EXPECT_FALSE(post(component_, redirected));
  EXPECT_EQ(redirected.error2, "HTTP/1.1 302 Found");
}

TEST_F(CurlWebPostTest, TransportFailuresCarryCurlsErrorText) {
  PostXmlCall refused =
      callTo("http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()) + "/page.asp");
  EXPECT_FALSE(post(component_, refused));
  EXPECT_NE(refused.error1.find("onnect"), std::string::npos) << refused.error1;
  EXPECT_EQ(refused.error2, "");
  EXPECT_EQ(refused.answer, "");

  HttpReceiver receiver;
  receiver.setMode(HttpReceiver::Mode::kCloseWithoutAnswer);
  PostXmlCall closed = callTo(receiver.baseUrl());
  EXPECT_FALSE(post(component_, closed));
  EXPECT_FALSE(closed.error1.empty());
  EXPECT_EQ(closed.error2, "");
  EXPECT_EQ(receiver.requests().size(), 1u);
}

TEST_F(CurlWebPostTest, GivesUpAfterTheTimeOuts) {
  HttpReceiver receiver;
  receiver.setMode(HttpReceiver::Mode::kStall);
  CurlWebPost quick(CurlWebPost::Timeouts{2'000, 300});
  PostXmlCall stalled = callTo(receiver.baseUrl());
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(post(quick, stalled));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_TRUE(saysTimedOut(stalled.error1)) << stalled.error1;

  BlackHoleListener hole;
  if (!hole.ready()) GTEST_SKIP() << "could not fill a loopback accept queue";
  CurlWebPost quickConnect(CurlWebPost::Timeouts{300, 5'000});
  PostXmlCall hanging = callTo("http://127.0.0.1:" + std::to_string(hole.port()) + "/");
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
  PostXmlCall call = callTo("http://reports.invalid/page.asp?mmid=1");
  bool posted = post(component_, call);
  ::unsetenv("http_proxy");
  EXPECT_TRUE(posted) << call.error1;
  ASSERT_EQ(proxy.requests().size(), 1u);
  EXPECT_EQ(proxy.requests()[0].target, "http://reports.invalid/page.asp?mmid=1");
}

TEST_F(CurlWebPostTest, OnlyHttpUrlsReachTheNetwork) {
  HttpReceiver receiver;
  std::string hostPort = "127.0.0.1:" + std::to_string(receiver.port());
  const std::vector<std::string> urls = {
      "",
      "tfr_wpdcmscctmpevtlgst.asp?mmid=1",
      hostPort + "/page.asp",
      "//" + hostPort + "/",
      "ftp://" + hostPort + "/",
      "file:///etc/passwd",
      "gopher://" + hostPort + "/",
      " http://" + hostPort,
      "http://",
  };
  for (const std::string& url : urls) {
    PostXmlCall call = callTo(url);
    EXPECT_FALSE(post(component_, call)) << url;
    EXPECT_FALSE(call.error1.empty()) << url;
    EXPECT_EQ(call.answer, "") << url;
  }
  EXPECT_EQ(receiver.connections(), 0);

  // Not even through a proxy.
  ::setenv("http_proxy", receiver.baseUrl().c_str(), 1);
  ::setenv("all_proxy", receiver.baseUrl().c_str(), 1);
  ::setenv("no_proxy", "", 1);
  for (const std::string& url : urls) {
    PostXmlCall call = callTo(url);
    EXPECT_FALSE(post(component_, call)) << url;
  }
  ::unsetenv("http_proxy");
  ::unsetenv("all_proxy");
  ::setenv("no_proxy", "*", 1);
  EXPECT_EQ(receiver.connections(), 0);

  PostXmlCall upper = callTo("HTTP://" + hostPort + "/x");
  EXPECT_TRUE(post(component_, upper));
  EXPECT_EQ(receiver.connections(), 1);
}

}  // namespace
}  // namespace sccevtmon
