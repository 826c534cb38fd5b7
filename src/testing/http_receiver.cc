// What the tests' HTTP receiver does on every platform: the request's reading and recording,
// and the answer. The sockets are the platform's (http_receiver_posix.cc here, the Winsock
// form in the Windows build's test binary).
#include "testing/http_receiver.h"

#include <chrono>
#include <cstdlib>

#include "util/ascii.h"

namespace sccevtmon::testing {

std::string HttpReceiver::Request::header(const std::string& name) const {
  std::string wanted = asciiLower(name) + ":";
  size_t start = 0;
  while (start < headers.size()) {
    size_t end = headers.find("\r\n", start);
    if (end == std::string::npos) end = headers.size();
    std::string line = headers.substr(start, end - start);
    if (asciiLower(line.substr(0, wanted.size())) == wanted) {
      std::string value = line.substr(wanted.size());
      size_t first = value.find_first_not_of(" \t");
      return first == std::string::npos ? std::string() : value.substr(first);
    }
    start = end + 2;
  }
  return {};
}

std::string HttpReceiver::baseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

void HttpReceiver::answer(int status, const std::string& reason, const std::string& body) {
  std::lock_guard lock(mutex_);
  mode_ = Mode::kAnswer;
  status_ = status;
  reason_ = reason;
  body_ = body;
}

void HttpReceiver::setMode(Mode mode) {
  std::lock_guard lock(mutex_);
  mode_ = mode;
}

std::vector<HttpReceiver::Request> HttpReceiver::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

int HttpReceiver::connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

bool HttpReceiver::waitForRequests(size_t n, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return requests_.size() >= n; });
}

void HttpReceiver::handle(Connection& client) {
  {
    std::lock_guard lock(mutex_);
    ++connections_;
  }
  // Reads until the predicate holds, or the connection or the receiver ends.
  std::string data;
  auto readUntil = [&](auto done) {
    while (!done()) {
      if (!client.readMore(data)) return false;
    }
    return true;
  };
  if (!readUntil([&] { return data.find("\r\n\r\n") != std::string::npos; })) return;

  Request request;
  size_t headEnd = data.find("\r\n\r\n");
  size_t lineEnd = data.find("\r\n");
  std::string requestLine = data.substr(0, lineEnd);
  size_t space1 = requestLine.find(' ');
  size_t space2 = requestLine.find(' ', space1 + 1);
  request.method = requestLine.substr(0, space1);
  request.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
  request.headers = lineEnd < headEnd ? data.substr(lineEnd + 2, headEnd - lineEnd - 2) : "";
  size_t length = std::strtoul(request.header("Content-Length").c_str(), nullptr, 10);
  if (asciiLower(request.header("Expect")) == "100-continue") {
    client.sendAll("HTTP/1.1 100 Continue\r\n\r\n");
  }
  size_t bodyStart = headEnd + 4;
  readUntil([&] { return data.size() >= bodyStart + length; });
  request.body = data.substr(bodyStart, length);

  Mode mode;
  std::string answer;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    mode = mode_;
    answer = "HTTP/1.1 " + std::to_string(status_) + " " + reason_ +
             "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body_.size()) +
             "\r\nConnection: close\r\n\r\n" + body_;
  }
  changed_.notify_all();

  if (mode == Mode::kAnswer) {
    client.sendAll(answer);
    client.endAnswer();
  } else if (mode == Mode::kStall) {
    // Holds the connection open, reading whatever comes, until the client or the test gives up.
    data.clear();
    readUntil([] { return false; });
  }
}

}  // namespace sccevtmon::testing
