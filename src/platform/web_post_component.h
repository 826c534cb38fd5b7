#pragma once

#include <memory>
#include <string>

#include "util/status.h"

namespace sccevtmon {

// The nine arguments of the component's PostXMLString call. The four outputs are empty on entry.
struct PostXmlCall {
  std::string xml;       // 1, in
  bool flag = false;     // 2, in (always false)
  std::string url;       // 3, in
  std::string user;      // 4, in (always empty)
  std::string password;  // 5, in (always empty)
  std::string answer;    // 6, out: the data the server sent back
  std::string error1;    // 7, out: transport error text
  std::string error2;    // 8, out: the HTTP status line
  std::string error3;    // 9, out: the start of the answer body
};

// One web-post component object.
class WebPostObject {
 public:
  virtual ~WebPostObject() = default;
  // Posts call.xml to call.url. *result is the method's answer (true: posted); a failing call
  // itself returns its error.
  virtual Status postXmlString(PostXmlCall& call, bool* result) = 0;
};

// Creates web-post component objects.
class WebPostComponents {
 public:
  virtual ~WebPostComponents() = default;
  // Fails with kErrCannotCreateObject or kErrTypeLibNotRegistered when the component is not
  // registered.
  virtual Status create(std::unique_ptr<WebPostObject>* object) = 0;
};

}  // namespace sccevtmon
