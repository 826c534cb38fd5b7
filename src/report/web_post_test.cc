#include "report/web_post.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testing/test_support.h"

namespace sccevtmon {
namespace {

using ::testing::ElementsAre;

class WebPostTest : public RunTest {
 protected:
  WebPostTest() { startRun(rs); }

  bool post(const std::string& xml = "<x/>", const std::string& url = "http://h/p.asp?a=1") {
    return WebPost(rs, fake.platform, xml, url, answer);
  }

  std::string answer = "left over";
  const std::string kRegistered = "Registered Dll : /agent\\\\qWbPost.dll";
  const std::string kRegsvr32 = "regsvr32 -s \"/agent\\\\qWbPost.dll\"";
};

TEST_F(WebPostTest, ASuccessfulPostLogsTheAnswer) {
  fake.webPost.succeed("thanks");
  EXPECT_TRUE(post());
  EXPECT_EQ(answer, "thanks");
  EXPECT_THAT(logLines(), ElementsAre("MSG : Webposting data :: <x/>",
                                      "MSG : Webposting Source :: http://h/p.asp?a=1",
                                      "MSG : Webpost Received data :: thanks"));
  ASSERT_EQ(fake.webPost.calls.size(), 1u);
  const PostXmlCall& call = fake.webPost.calls[0];
  EXPECT_EQ(call.xml, "<x/>");
  EXPECT_EQ(call.url, "http://h/p.asp?a=1");
  EXPECT_FALSE(call.flag);
  EXPECT_EQ(call.user + call.password + call.answer + call.error1 + call.error2 + call.error3, "");
  EXPECT_EQ(fake.webPost.released, 1);
  EXPECT_TRUE(fake.process.started.empty());
}

TEST_F(WebPostTest, AnEmptyAnswerAndAnEmptyUrlAreHandedOnUnchanged) {
  fake.webPost.succeed("");
  EXPECT_TRUE(post("<x/>", ""));
  EXPECT_EQ(answer, "");
  EXPECT_THAT(logLines(),
              ElementsAre("MSG : Webposting data :: <x/>",
                          "MSG : Webposting Source :: ", "MSG : Webpost Received data :: "));
}

TEST_F(WebPostTest, TheLogGetsTheStartOfALongAnswerAndNoCredentials) {
  const std::string longAnswer = std::string(200, 'a') + std::string(65000, 'b');
  fake.webPost.succeed(longAnswer);
  EXPECT_TRUE(post());
  EXPECT_EQ(answer, longAnswer);
  EXPECT_EQ(logLines(2),
            std::vector<std::string>{"MSG : Webpost Received data :: " + std::string(200, 'a')});

  const struct {
    const char* url;
    const char* logged;
  } kUrls[] = {
      {"https://user:secret@h/p.asp?a=1", "https://***@h/p.asp?a=1"},
      {"http://user@h:8080/p", "http://***@h:8080/p"},
      {"http://u:p@ss@h/p", "http://***@h/p"},
      {"user:secret@h/p", "***@h/p"},
      {"http://h/p.asp?mail=a@b", "http://h/p.asp?mail=a@b"},
  };
  for (const auto& u : kUrls) {
    size_t from = messages().size();
    fake.webPost.fail("Not an http:// or https:// URL: " + std::string(u.url), "", "");
    EXPECT_FALSE(post("<x/>", u.url));
    EXPECT_THAT(logLines(from), ElementsAre("MSG : Webposting data :: <x/>",
                                            "MSG : Webposting Source :: " + std::string(u.logged),
                                            "ERR : WebPost Failed : Not an http:// or https:// "
                                            "URL: " +
                                                std::string(u.logged) + "::"))
        << u.url;
  }
}

TEST_F(WebPostTest, AFalseAnswerLogsTheThreeErrorDetails) {
  fake.webPost.fail("", "HTTP/1.1 500 Internal Server Error", "oops");
  fake.webPost.defaultAnswer.answer = "oops";
  EXPECT_FALSE(post());
  EXPECT_EQ(answer, "oops");
  EXPECT_THAT(logLines(2),
              ElementsAre("ERR : WebPost Failed : :HTTP/1.1 500 Internal Server Error:oops"));
  EXPECT_EQ(fake.webPost.released, 1);
}

TEST_F(WebPostTest, AnUnregisteredComponentIsRegisteredOnceAndCreatedAgain) {
  fake.process.startStatus = Status::success();
  fake.webPost.succeed("ok");
  fake.webPost.createScript = {runtimeError(kErrCannotCreateObject)};
  EXPECT_TRUE(post());
  EXPECT_THAT(fake.process.started, ElementsAre(kRegsvr32));
  EXPECT_THAT(logLines(), ElementsAre(kRegistered, "MSG : Webposting data :: <x/>",
                                      "MSG : Webposting Source :: http://h/p.asp?a=1",
                                      "MSG : Webpost Received data :: ok"));
  EXPECT_EQ(fake.webPost.creations, 2);
}

// regsvr32 takes each blank-separated word as a file: the path is quoted in the command,
// and the log line keeps the path as built.
TEST_F(WebPostTest, TheRegistrationCommandQuotesAPathWithBlanks) {
  rs.installPath = "C:\\Program Files (x86)\\TORVEN\\";
  fake.process.startStatus = Status::success();
  EXPECT_FALSE(post());
  EXPECT_THAT(fake.process.started,
              ElementsAre("regsvr32 -s \"C:\\Program Files (x86)\\TORVEN\\\\qWbPost.dll\""));
  EXPECT_EQ(logLines()[0], "Registered Dll : C:\\Program Files (x86)\\TORVEN\\\\qWbPost.dll");
}

TEST_F(WebPostTest, ARegistrationThatDoesNotHelpEndsInTheError) {
  struct Case {
    Status createError;
    Status startStatus;
    std::vector<std::string> log;
  } cases[] = {
      {runtimeError(kErrCannotCreateObject),
       Status::success(),
       {kRegistered, "ERR : Function WebPost :: 429:ActiveX component can't create object"}},
      {Status{kErrTypeLibNotRegistered, "Automation error"},
       Status::success(),
       {kRegistered, "ERR : Function WebPost :: -2147319779:Automation error"}},
      // As on Linux, where regsvr32 cannot be started.
      {runtimeError(kErrCannotCreateObject),
       runtimeError(kErrFileNotFound),
       {"ERR : Function RegisterDLL :: 53:File not found",
        "ERR : Function WebPost :: 429:ActiveX component can't create object"}},
  };
  for (const Case& c : cases) {
    size_t before = logLines().size();
    fake.process.started.clear();
    fake.webPost.creations = 0;
    fake.webPost.createStatus = c.createError;
    fake.process.startStatus = c.startStatus;
    answer = "left over";
    EXPECT_FALSE(post());
    EXPECT_EQ(answer, "");
    EXPECT_EQ(logLines(before), c.log);
    EXPECT_THAT(fake.process.started, ElementsAre(kRegsvr32));
    EXPECT_EQ(fake.webPost.creations, 2);
  }
  EXPECT_TRUE(fake.webPost.calls.empty());
}

TEST_F(WebPostTest, EachCallMayRegisterOnce) {
  fake.process.startStatus = Status::success();
  EXPECT_FALSE(post());
  EXPECT_FALSE(post());
  EXPECT_THAT(fake.process.started, ElementsAre(kRegsvr32, kRegsvr32));
}

TEST_F(WebPostTest, OtherErrorsEndTheCallWithoutRegistration) {
  fake.webPost.createStatus = runtimeError(kErrPermissionDenied);
  EXPECT_FALSE(post());
  EXPECT_THAT(logLines(), ElementsAre("ERR : Function WebPost :: 70:Permission denied"));

  fake.webPost.succeed();
  fake.webPost.answers = {{Status{kErrAutomation, "The call was rejected"}, false, "", "", "", ""}};
  EXPECT_FALSE(post());
  EXPECT_THAT(logLines(1), ElementsAre("MSG : Webposting data :: <x/>",
                                       "MSG : Webposting Source :: http://h/p.asp?a=1",
                                       "ERR : Function WebPost :: 440:The call was rejected"));
  EXPECT_EQ(fake.webPost.released, 1);
  EXPECT_TRUE(fake.process.started.empty());
}

TEST_F(WebPostTest, ACallFailingAsUnregisteredIsTriedOnceMoreAfterRegistration) {
  fake.process.startStatus = Status::success();
  fake.webPost.succeed("second time");
  fake.webPost.answers = {{runtimeError(kErrCannotCreateObject), false, "", "", "", ""}};
  EXPECT_TRUE(post());
  EXPECT_EQ(answer, "second time");
  EXPECT_EQ(fake.webPost.calls.size(), 2u);
  EXPECT_EQ(fake.webPost.creations, 1);
  EXPECT_THAT(logLines(), ElementsAre("MSG : Webposting data :: <x/>",
                                      "MSG : Webposting Source :: http://h/p.asp?a=1", kRegistered,
                                      "MSG : Webpost Received data :: second time"));
}

}  // namespace
}  // namespace sccevtmon
