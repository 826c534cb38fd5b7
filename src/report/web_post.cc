#include "report/web_post.h"

#include <memory>

#include "base/text.h"

namespace sccevtmon {
namespace {

bool isNotRegistered(const Status& s) {
  return s.number == kErrCannotCreateObject || s.number == kErrTypeLibNotRegistered;
}

// The name of the XML's first element: which report is posted.
std::string rootName(const std::string& xml) {
  std::size_t open = xml.find('<');
  if (open == std::string::npos) return {};
  std::size_t end = xml.find_first_of("> /", open + 1);
  return xml.substr(open + 1, end == std::string::npos ? end : end - open - 1);
}

// How much of the server's answer the activity log receives.
constexpr std::size_t kLoggedAnswerBytes = 200;

// text with the user name and password of url ("user:password@" before the host) masked, so
// no credentials reach the activity log.
std::string withoutCredentials(const std::string& text, const std::string& url) {
  std::size_t scheme = url.find("://");
  std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  std::size_t end = url.find_first_of("/?#", start);
  std::string authority = url.substr(start, end == std::string::npos ? end : end - start);
  std::size_t at = authority.rfind('@');
  if (at == std::string::npos || at == 0) return text;
  const std::string userInfo = authority.substr(0, at + 1);
  std::string out = text;
  for (std::size_t k = out.find(userInfo); k != std::string::npos; k = out.find(userInfo, k + 4)) {
    out.replace(k, userInfo.size(), "***@");
  }
  return out;
}

}  // namespace

bool WebPost(RunState& rs, Platform& os, const std::string& xml, const std::string& url,
             std::string& answer) {
  answer.clear();
  bool registrationTried = false;
  // Runs one step; a not-registered error leads to one registration per call and one more try
  // of the same step.
  auto step = [&](auto run) {
    Status s = run();
    if (!s.ok() && isNotRegistered(s) && !registrationTried) {
      RegisterDLL(rs, os);
      registrationTried = true;
      s = run();
    }
    return s;
  };

  std::unique_ptr<WebPostObject> object;
  Status s = step([&] { return os.webPost.create(&object); });
  if (s.ok()) {
    subWriteLog(rs, "MSG : Webposting data :: " + xml);
    subWriteLog(rs, "MSG : Webposting Source :: " + withoutCredentials(url, url));
  }
  PostXmlCall call;
  bool posted = false;
  if (s.ok()) {
    s = step([&] {
      call = PostXmlCall{xml, false, url, "", "", "", "", "", ""};
      // The server must never hold a report that the log does not lead up to.
      flushActivityLog(rs);
      return object->postXmlString(call, &posted);
    });
  }
  if (!s.ok()) {
    subWriteLog(rs, "ERR : Function WebPost :: " + decimal(s.number) + ":" + s.description);
    rs.posts.push_back({rootName(xml), false, s.description});
    return false;
  }
  answer = call.answer;
  if (!posted) {
    subWriteLog(rs, withoutCredentials("ERR : WebPost Failed : " + call.error1 + ":" + call.error2 +
                                           ":" + call.error3.substr(0, kLoggedAnswerBytes),
                                       url));
    rs.posts.push_back({rootName(xml), false,
                        withoutCredentials(call.error1.empty() ? call.error2 : call.error1, url)});
    return false;
  }
  subWriteLog(rs, "MSG : Webpost Received data :: " + answer.substr(0, kLoggedAnswerBytes));
  rs.posts.push_back({rootName(xml), true, {}});
  return true;
}

void RegisterDLL(RunState& rs, Platform& os) {
  const std::string serverFile = rs.installPath + "\\qWbPost.dll";
  // Quoted: regsvr32 takes each blank-separated word as a file, and installations live under
  // "Program Files (x86)". A path holds no double quote, so nothing inside needs escaping.
  Status s = os.process.startProcess("regsvr32 -s \"" + serverFile + "\"");
  if (!s.ok()) {
    subWriteLog(rs, "ERR : Function RegisterDLL :: " + decimal(s.number) + ":" + s.description);
    return;
  }
  subWriteLog(rs, "Registered Dll : " + serverFile);
}

}  // namespace sccevtmon
