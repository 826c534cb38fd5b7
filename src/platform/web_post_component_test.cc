// The build's web-post component (curl here, the agent's COM component on Windows, where the
// tests use its stand-in over WinHTTP) against a receiver on 127.0.0.1 in this process.
#include "platform/web_post_component.h"

#include <gtest/gtest.h>

#include "testing/http_receiver.h"
#include "testing/native_fixture.h"

namespace sccevtmon {
namespace {

using testing::HttpReceiver;

class WebPostComponentTest : public ::testing::Test {
 protected:
  // Posts with a fresh object, as the run does; the call's own errors fail the test.
  bool post(PostXmlCall& call) {
    std::unique_ptr<WebPostObject> object;
    Status s = component->create(&object);
    EXPECT_TRUE(s.ok()) << s.number << ":" << s.description;
    if (!s.ok()) return false;
    bool result = true;
    s = object->postXmlString(call, &result);
    EXPECT_TRUE(s.ok()) << s.number << ":" << s.description;
    return result;
  }

  std::unique_ptr<WebPostComponents> component = makeWebPostComponents();
};

TEST_F(WebPostComponentTest, PostsTheXmlAndTakesA2xxAnswer) {
  HttpReceiver receiver;
  receiver.answer(200, "OK", "received");
  // A Windows-1252 byte crosses unchanged.
  std::string xml = "<wpdcmscctmpevtlgst><mmid>1</mmid><n>caf\xE9</n></wpdcmscctmpevtlgst>";
  PostXmlCall call = postCall(receiver.baseUrl() + "tfr_x.asp?mmid=1&sid=2", xml);

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
  PostXmlCall empty = postCall(receiver.baseUrl());
  EXPECT_TRUE(post(empty));
  EXPECT_EQ(empty.answer, "");
  EXPECT_EQ(empty.error2, "HTTP/1.1 204 No Content");
}

// A long body is sent whole; a long answer is taken whole from the network, and its first
// 64 KiB kept.
TEST_F(WebPostComponentTest, SendsALongBodyWholeAndKeepsTheFirst64KibOfALongAnswer) {
  HttpReceiver receiver;
  std::string body = std::string(65536, 'a') + std::string(1'000'000, 'b');
  receiver.answer(200, "OK", body);
  std::string xml = "<x>" + std::string(300'000, 'a') + "</x>";
  PostXmlCall call = postCall(receiver.baseUrl(), xml);
  EXPECT_TRUE(post(call));
  EXPECT_EQ(call.answer, body.substr(0, 65536));
  EXPECT_EQ(call.error3, body.substr(0, 200));
  ASSERT_EQ(receiver.requests().size(), 1u);
  EXPECT_EQ(receiver.requests()[0].body, xml);
}

TEST_F(WebPostComponentTest, AServerErrorOrARedirectFailsWithTheStatusLineAndTheStartOfTheBody) {
  HttpReceiver receiver;
  std::string body = std::string(150, 'x') + std::string(150, 'y');
  receiver.answer(500, "Internal Server Error", body);
  PostXmlCall call = postCall(receiver.baseUrl() + "page.asp");
  EXPECT_FALSE(post(call));
  EXPECT_EQ(call.answer, body);
  EXPECT_EQ(call.error1, "");
  EXPECT_EQ(call.error2, "HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(call.error3, body.substr(0, 200));

  // Not followed.
  receiver.answer(302, "Found", "moved");
  PostXmlCall redirected = postCall(receiver.baseUrl());
  EXPECT_FALSE(post(redirected));
  EXPECT_EQ(redirected.error2, "HTTP/1.1 302 Found");
  EXPECT_EQ(receiver.requests().size(), 2u);
}

// The transport's own text: curl's, or WinHTTP's call and error number.
TEST_F(WebPostComponentTest, TransportFailuresCarryTheTransportsErrorText) {
#ifdef _WIN32
  const std::string refusedText = "WinHttpSendRequest failed: 12029";
#else
  const std::string refusedText = "onnect";
#endif
  PostXmlCall refused =
      postCall("http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()) + "/page.asp");
  EXPECT_FALSE(post(refused));
  EXPECT_NE(refused.error1.find(refusedText), std::string::npos) << refused.error1;
  EXPECT_EQ(refused.error2, "");
  EXPECT_EQ(refused.answer, "");

  HttpReceiver receiver;
  receiver.setMode(HttpReceiver::Mode::kCloseWithoutAnswer);
  PostXmlCall closed = postCall(receiver.baseUrl());
  EXPECT_FALSE(post(closed));
  EXPECT_FALSE(closed.error1.empty());
  EXPECT_EQ(closed.error2, "");
  EXPECT_EQ(receiver.requests().size(), 1u);
}

// URLs that must reach no network ({host} the receiver's); the portable build also tries
// them through a proxy (web_post_curl_test.cc).
const std::vector<std::string> kNotHttp = {"",
                                           "tfr_wpdcmscctmpevtlgst.asp?mmid=1",
                                           "{host}/page.asp",
                                           "//{host}/",
                                           "ftp://{host}/",
                                           "file:///etc/passwd",
                                           "gopher://{host}/",
                                           " http://{host}",
                                           "http://"};

TEST_F(WebPostComponentTest, OnlyHttpUrlsReachTheNetwork) {
  HttpReceiver receiver;
  std::string hostPort = "127.0.0.1:" + std::to_string(receiver.port());
  for (std::string url : kNotHttp) {
    if (std::size_t at = url.find("{host}"); at != std::string::npos) url.replace(at, 6, hostPort);
    PostXmlCall call = postCall(url);
    EXPECT_FALSE(post(call)) << url;
    EXPECT_FALSE(call.error1.empty()) << url;
    EXPECT_EQ(call.answer, "") << url;
  }
  EXPECT_EQ(receiver.connections(), 0);
  PostXmlCall upper = postCall("HTTP://" + hostPort + "/x");
  EXPECT_TRUE(post(upper)) << upper.error1;
  EXPECT_EQ(receiver.connections(), 1);
}

}  // namespace
}  // namespace sccevtmon
