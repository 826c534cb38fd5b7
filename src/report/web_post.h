#pragma once

#include <string>

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Posts xml to url through a fresh web-post component object. answer is emptied first and then
// receives what the server sent back. True only when the component reports the post done.
//
// When the component cannot be created (429) or its type library is not registered, the
// component is registered once (RegisterDLL) and the failed step is tried again; a second
// failure, or any other error, is logged as "ERR : Function WebPost :: " and gives false.
// A post the component answers with false is logged with its three error details. Never
// fails towards the caller. The log receives at most the first 200 bytes of the answer, and
// the URL without the user name and password it may carry ("***@" stands for them).
bool WebPost(RunState& rs, Platform& os, const std::string& xml, const std::string& url,
             std::string& answer);

// Starts "regsvr32 -s" on the component's server file in the installation folder without
// waiting for it, and logs the registration (or why it could not be started).
void RegisterDLL(RunState& rs, Platform& os);

}  // namespace sccevtmon
