// The sockets of the tests' HTTP receiver (testing/http_receiver.h) over Winsock, for the
// Windows build's test binary only (testing/http_receiver_posix.cc is the POSIX form). The
// serving thread waits in select() with short time-outs and looks at the stop flag between them, so
// it needs no wake-up pipe.
#include "testing/http_receiver.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>

namespace sccevtmon::testing {
namespace {

constexpr Socket kNoSocket = static_cast<Socket>(INVALID_SOCKET);

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

// Waits up to ms for s to become readable: 1 readable, 0 not yet, -1 failed.
int waitReadable(Socket s, int ms) {
  fd_set read;
  FD_ZERO(&read);
  FD_SET(static_cast<SOCKET>(s), &read);
  timeval timeout{ms / 1000, (ms % 1000) * 1000};
  int n = ::select(0, &read, nullptr, nullptr, &timeout);
  return n < 0 ? -1 : n;
}

class WinsockConnection : public HttpReceiver::Connection {
 public:
  WinsockConnection(Socket s, const std::atomic<bool>& stopping) : s_(s), stopping_(stopping) {}

  bool readMore(std::string& data) override {
    int waited = 0;
    int ready = 0;
    while (!stopping_ && waited < 10'000 && (ready = waitReadable(s_, 50)) == 0) waited += 50;
    if (ready <= 0 || stopping_) return false;
    char buffer[4096];
    int n = ::recv(static_cast<SOCKET>(s_), buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    data.append(buffer, static_cast<size_t>(n));
    return true;
  }

  void sendAll(const std::string& data) override {
    size_t sent = 0;
    while (sent < data.size()) {
      int n = ::send(static_cast<SOCKET>(s_), data.data() + sent,
                     static_cast<int>(data.size() - sent), 0);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  // Lets the client read the answer before the socket closes (a close with unread request
  // bytes would reset the connection).
  void endAnswer() override {
    ::shutdown(static_cast<SOCKET>(s_), SD_SEND);
    std::string rest;
    while (readMore(rest)) rest.clear();
  }

 private:
  Socket s_;
  const std::atomic<bool>& stopping_;
};

}  // namespace

HttpReceiver::HttpReceiver() {
  listener_ = bindLoopback(&port_);
  if (::listen(static_cast<SOCKET>(listener_), 16) != 0) {
    ::closesocket(static_cast<SOCKET>(listener_));
    throw std::runtime_error("listen failed");
  }
  thread_ = std::thread([this] { serve(); });
}

HttpReceiver::~HttpReceiver() { stop(); }

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
    WinsockConnection connection(static_cast<Socket>(client), stopping_);
    handle(connection);
    ::closesocket(client);
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
