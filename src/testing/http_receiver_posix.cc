// The sockets of the tests' HTTP receiver on POSIX systems.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "testing/http_receiver.h"

namespace sccevtmon::testing {
namespace {

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

class PosixConnection : public HttpReceiver::Connection {
 public:
  PosixConnection(int fd, int wake) : fd_(fd), wake_(wake) {}

  bool readMore(std::string& data) override {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
    if (::poll(fds, 2, 10'000) <= 0 || fds[1].revents != 0) return false;
    char buffer[4096];
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    data.append(buffer, static_cast<size_t>(n));
    return true;
  }

  void sendAll(const std::string& data) override {
    size_t sent = 0;
    while (sent < data.size()) {
      ssize_t n = ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  void endAnswer() override { ::shutdown(fd_, SHUT_WR); }

 private:
  int fd_;
  int wake_;
};

}  // namespace

HttpReceiver::HttpReceiver() {
  listener_ = bindLoopback(&port_);
  if (::listen(listener_, 16) != 0 || ::pipe2(wakePipe_, O_CLOEXEC) != 0) {
    ::close(listener_);
    throw std::runtime_error("listen failed");
  }
  thread_ = std::thread([this] { serve(); });
}

HttpReceiver::~HttpReceiver() { stop(); }

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
    PosixConnection connection(client, wakePipe_[0]);
    handle(connection);
    ::close(client);
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
