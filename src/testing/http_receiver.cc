#include "testing/http_receiver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "util/ascii.h"

namespace sccevtmon::testing {
namespace {

std::string lower(std::string text) { return asciiLower(text); }

// A socket bound to 127.0.0.1 on a free port; its port number in *port.
int bindLoopback(int* port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    throw std::runtime_error("bind failed");
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  *port = ntohs(address.sin_port);
  return fd;
}

void sendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

std::string HttpReceiver::Request::header(const std::string& name) const {
  std::string wanted = lower(name) + ":";
  size_t start = 0;
  while (start < headers.size()) {
    size_t end = headers.find("\r\n", start);
    if (end == std::string::npos) end = headers.size();
    std::string line = headers.substr(start, end - start);
    if (lower(line.substr(0, wanted.size())) == wanted) {
      std::string value = line.substr(wanted.size());
      size_t first = value.find_first_not_of(" \t");
      return first == std::string::npos ? std::string() : value.substr(first);
    }
    start = end + 2;
  }
  return {};
}

HttpReceiver::HttpReceiver() {
  listener_ = bindLoopback(&port_);
  if (::listen(listener_, 16) != 0 || ::pipe2(wakePipe_, O_CLOEXEC) != 0) {
    ::close(listener_);
    throw std::runtime_error("listen failed");
  }
  thread_ = std::thread([this] { serve(); });
}

HttpReceiver::~HttpReceiver() { stop(); }

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

void HttpReceiver::stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  char wake = 1;
  (void)!::write(wakePipe_[1], &wake, 1);
  thread_.join();
  ::close(listener_);
  ::close(wakePipe_[0]);
  ::close(wakePipe_[1]);
}

void HttpReceiver::serve() {
  while (!stopping_) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) break;
    if ((fds[0].revents & POLLIN) == 0) continue;
    int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    {
      std::lock_guard lock(mutex_);
      ++connections_;
    }
    handle(client);
    ::close(client);
  }
}

void HttpReceiver::handle(int client) {
  // Reads until the predicate holds, the peer closes, or the receiver stops.
  std::string data;
  auto readUntil = [&](auto done) {
    while (!done()) {
      pollfd fds[2] = {{client, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
      if (::poll(fds, 2, 10'000) <= 0 || fds[1].revents != 0) return false;
      char buffer[4096];
      ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      data.append(buffer, static_cast<size_t>(n));
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
  if (lower(request.header("Expect")) == "100-continue") {
    sendAll(client, "HTTP/1.1 100 Continue\r\n\r\n");
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
    sendAll(client, answer);
    ::shutdown(client, SHUT_WR);
  } else if (mode == Mode::kStall) {
    // Holds the connection open, reading whatever comes, until the client or the test gives up.
    data.clear();
    readUntil([] { return false; });
  }
}

int unusedLoopbackPort() {
  int port = 0;
  int fd = bindLoopback(&port);
  ::close(fd);
  return port;
}

BlackHoleListener::BlackHoleListener() {
  listener_ = bindLoopback(&port_);
  if (::listen(listener_, 0) != 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port_));
  // The kernel stops answering new connections once the accept queue is full; fill it until an
  // attempt no longer completes.
  for (int attempt = 0; attempt < 16 && !ready_; ++attempt) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    fillers_.push_back(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) continue;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, 300) == 0) ready_ = true;
  }
}

BlackHoleListener::~BlackHoleListener() {
  for (int fd : fillers_) ::close(fd);
  if (listener_ >= 0) ::close(listener_);
}

}  // namespace sccevtmon::testing
