#include "platform/posix/web_post_curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <string_view>

#include "util/ascii.h"

namespace sccevtmon {
namespace {

// Whether a URL names one of the two schemes the component posts to, followed by something.
bool isHttpUrl(std::string_view url) {
  for (std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
    if (url.size() > scheme.size() && asciiStartsWithNoCase(url, scheme)) return true;
  }
  return false;
}

// Keeps the start of the body; the rest is accepted and dropped, so a long answer neither
// fills the memory nor fails a post the server took.
size_t collectBody(char* data, size_t size, size_t count, void* target) {
  auto* body = static_cast<std::string*>(target);
  size_t bytes = size * count;
  if (body->size() < kAnswerKeptBytes)
    body->append(data, std::min(bytes, kAnswerKeptBytes - body->size()));
  return bytes;
}

// Keeps the last status line seen ("HTTP/1.1 200 OK"), without its line end; a proxy's or an
// interim answer's line is replaced by the final one.
size_t collectStatusLine(char* data, size_t size, size_t count, void* target) {
  std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    *static_cast<std::string*>(target) = line;
  }
  return size * count;
}

class CurlHandle {
 public:
  CurlHandle() : easy_(curl_easy_init()) {}
  ~CurlHandle() {
    if (headers_ != nullptr) curl_slist_free_all(headers_);
    if (easy_ != nullptr) curl_easy_cleanup(easy_);
  }
  CurlHandle(const CurlHandle&) = delete;
  CurlHandle& operator=(const CurlHandle&) = delete;

  CURL* get() const { return easy_; }
  curl_slist*& headers() { return headers_; }

 private:
  CURL* easy_;
  curl_slist* headers_ = nullptr;
};

class CurlWebPostObject : public WebPostObject {
 public:
  explicit CurlWebPostObject(CurlWebPost::Timeouts timeouts) : timeouts_(timeouts) {}

  Status postXmlString(PostXmlCall& call, bool* result) override {
    *result = false;
    if (!isHttpUrl(call.url)) {
      call.error1 =
          call.url.empty() ? "No URL to post to" : "Not an http:// or https:// URL: " + call.url;
      return Status::success();
    }
    CurlHandle handle;
    CURL* curl = handle.get();
    if (curl == nullptr) return runtimeError(kErrOutOfMemory);

    char errorText[CURL_ERROR_SIZE] = {};
    std::string body;
    std::string statusLine;
    // A proxy may be named in the environment; libcurl reads http_proxy, https_proxy and
    // no_proxy itself. Expect: is sent empty so a long body goes out without waiting for an
    // interim answer the server may never send.
    handle.headers() = curl_slist_append(handle.headers(), "Content-Type: text/xml");
    handle.headers() = curl_slist_append(handle.headers(), "Expect:");
    if (handle.headers() == nullptr) return runtimeError(kErrOutOfMemory);

    // libcurl's signal handling stays on (the monitor has one thread): it keeps a connection
    // closed by the server from raising SIGPIPE during a TLS write.
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_URL, call.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, call.xml.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(call.xml.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, handle.headers());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "sccevtmon/" SCCEVTMON_VERSION);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, timeouts_.connectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeouts_.transferMs);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectStatusLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &statusLine);

    CURLcode code = curl_easy_perform(curl);
    long httpStatus = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &httpStatus);

    call.answer = body;
    call.error1 = code == CURLE_OK       ? std::string()
                  : errorText[0] != '\0' ? std::string(errorText)
                                         : std::string(curl_easy_strerror(code));
    call.error2 = statusLine;
    call.error3 = body.substr(0, kAnswerHeadBytes);
    *result = code == CURLE_OK && httpStatus >= 200 && httpStatus <= 299;
    return Status::success();
  }

 private:
  CurlWebPost::Timeouts timeouts_;
};

}  // namespace

Status CurlWebPost::create(std::unique_ptr<WebPostObject>* object) {
  // libcurl's global set-up runs once per process, before the first handle.
  static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (initialised != CURLE_OK) {
    return Status{kErrAutomation, std::string("libcurl: ") + curl_easy_strerror(initialised)};
  }
  *object = std::make_unique<CurlWebPostObject>(timeouts_);
  return Status::success();
}

}  // namespace sccevtmon
