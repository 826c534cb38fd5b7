#pragma once

#include <string>

#include "platform/web_post_component.h"

namespace sccevtmon {

// The agent's web-post component on Windows, reached as the classic runtime's late binding
// reaches it: CLSIDFromProgID and CoCreateInstance for IDispatch (create), then per call
// GetIDsOfNames("PostXMLString") and Invoke with the nine arguments of PostXmlCall, the
// by-reference texts (1, 3, 6 to 9) as VT_BYREF|VT_BSTR over empty BSTRs, 2 as a Boolean, 4
// and 5 as plain strings; the outputs are read back as text and the return value as a Boolean.
//
// COM is initialised once for the process (single-threaded apartment). Failures carry the
// runtime's numbers: a ProgID or class that is not registered (0x800401F3, 0x80040154) is 429,
// which WebPost answers with a registration through regsvr32; a type library that is not
// registered keeps its HRESULT (-2147319779), as WebPost expects; an exception the component
// raises (DISP_E_EXCEPTION) gives its own number and description; other HRESULTs as
// automationError maps them.
class ComWebPost : public WebPostComponents {
 public:
  // progId: the component's ProgID (tests name others).
  explicit ComWebPost(std::string progId = "qWbPost.WebPost") : progId_(std::move(progId)) {}

  Status create(std::unique_ptr<WebPostObject>* object) override;

 private:
  std::string progId_;
};

}  // namespace sccevtmon
