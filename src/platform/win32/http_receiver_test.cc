// The tests' HTTP receiver (testing/http_receiver.h) over Winsock, for the Windows build's
// test binary only (testing/http_receiver.cc is the POSIX form, which this one follows). The
// serving thread waits in select() with short time-outs and looks at the stop flag between them, so
// it needs no wake-up pipe.
#include "testing/http_receiver.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "util/ascii.h"

namespace sccevtmon::testing {
namespace {

constexpr Socket kNoSocket = static_cast<Socket>(INVALID_SOCKET);

std::string lower(std::string text) { return asciiLower(text); }

void startWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) throw std::runtime_error("WSAStartup failed");
}

// A socket bound to 127.0.0.1 on a free port; its port number in *port.
Socket bindLoopback(int* port) {
  startWinsock();
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
  // Nobody else may bind the same port while it is ours.
  BOOL exclusive = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::closesocket(s);
    throw std::runtime_error("bind failed");
  }
  int length = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  *port = ntohs(address.sin_port);
  return static_cast<Socket>(s);
}

void sendAll(Socket s, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    int n =
        ::send(static_cast<SOCKET>(s), data.data() + sent, static_cast<int>(data.size() - sent), 0);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

// Waits up to ms for s to become readable: 1 readable, 0 not yet, -1 failed.
int waitReadable(Socket s, int ms) {
  fd_set read;
  FD_ZERO(&read);
  FD_SET(static_cast<SOCKET>(s), &read);
  timeval timeout{ms / 1000, (ms % 1000) * 1000};
  int n = ::select(0, &read, nullptr, nullptr, &timeout);
  return n < 0 ? -1 : n;
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
  if (::listen(static_cast<SOCKET>(listener_), 16) != 0) {
    ::closesocket(static_cast<SOCKET>(listener_));
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
  thread_.join();
  ::closesocket(static_cast<SOCKET>(listener_));
}

void HttpReceiver::serve() {
  while (!stopping_) {
    int ready = waitReadable(listener_, 50);
    if (ready <= 0) continue;
    SOCKET client = ::accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    {
      std::lock_guard lock(mutex_);
      ++connections_;
    }
    handle(static_cast<Socket>(client));
    ::closesocket(client);
  }
}

void HttpReceiver::handle(Socket client) {
  // Reads until the predicate holds, the peer closes, 10 s pass without data, or the receiver
  // stops.
  std::string data;
  auto readUntil = [&](auto done) {
    while (!done()) {
      int waited = 0;
      int ready = 0;
      while (!stopping_ && waited < 10'000 && (ready = waitReadable(client, 50)) == 0) waited += 50;
      if (ready <= 0 || stopping_) return false;
      char buffer[4096];
      int n = ::recv(static_cast<SOCKET>(client), buffer, sizeof buffer, 0);
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
    ::shutdown(static_cast<SOCKET>(client), SD_SEND);
    // Lets the client read the answer before the socket closes (a close with unread request
    // bytes would reset the connection).
    data.clear();
    readUntil([] { return false; });
  } else if (mode == Mode::kStall) {
    // Holds the connection open, reading whatever comes, until the client or the test gives up.
    data.clear();
    readUntil([] { return false; });
  }
}

int unusedLoopbackPort() {
  int port = 0;
  Socket s = bindLoopback(&port);
  ::closesocket(static_cast<SOCKET>(s));
  return port;
}

// Not needed by the Windows tests: never ready.
BlackHoleListener::BlackHoleListener() {}
BlackHoleListener::~BlackHoleListener() {}

}  // namespace sccevtmon::testing
