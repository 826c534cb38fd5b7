#pragma once

#include <memory>

#include "platform/web_post_component.h"

namespace sccevtmon {

// The web-post component of the portable build: posts the XML over HTTP(S) with libcurl.
//
// A post succeeds only when the transfer completes with a 2xx status. The answer receives the
// response body, of which at most the first 64 KiB are kept (the rest is received and
// dropped; the whole-transfer time-out bounds how long); the three error details receive curl's
// error text (empty when the transfer completed), the HTTP status line without its line end, and
// the first 200 bytes of the body. Only http:// and https:// URLs are attempted: anything else (an
// empty URL, a page name alone, another scheme) fails at once with an error text and never touches
// the network. TLS certificates are verified; proxies come from the usual environment variables.
class CurlWebPost : public WebPostComponents {
 public:
  struct Timeouts {
    long connectMs = 30'000;    // establishing the connection
    long transferMs = 120'000;  // the whole exchange
  };

  CurlWebPost() = default;
  explicit CurlWebPost(Timeouts timeouts) : timeouts_(timeouts) {}

  // Fails only when libcurl cannot be set up (never with the not-registered errors).
  Status create(std::unique_ptr<WebPostObject>* object) override;

 private:
  Timeouts timeouts_;
};

// How many bytes of the answer body go into the third error detail.
inline constexpr size_t kAnswerHeadBytes = 200;
// How many bytes of the answer body are kept.
inline constexpr size_t kAnswerKeptBytes = 64 * 1024;

}  // namespace sccevtmon
