#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sccevtmon::testing {

// A socket: a file descriptor, or a Winsock SOCKET in the Windows build.
#ifdef _WIN32
using Socket = std::uintptr_t;
#else
using Socket = int;
#endif

// A small HTTP/1.1 server on 127.0.0.1 for tests: it listens on a free port, serves one request
// per connection on its own thread, records every request and answers as it is told.
class HttpReceiver {
 public:
  enum class Mode {
    kAnswer,              // send the configured status and body, then close
    kCloseWithoutAnswer,  // read the request, then close without a byte of answer
    kStall,               // read the request and never answer (until stopped)
  };

  struct Request {
    std::string method;
    std::string target;   // path and query as sent
    std::string headers;  // the header lines as received, CR LF separated
    std::string body;
    // The value of a header (name compared without regard to case), or empty text.
    std::string header(const std::string& name) const;
  };

  HttpReceiver();
  ~HttpReceiver();
  HttpReceiver(const HttpReceiver&) = delete;
  HttpReceiver& operator=(const HttpReceiver&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT/"
  std::string baseUrl() const;

  void answer(int status, const std::string& reason, const std::string& body);
  void setMode(Mode mode);

  // Requests read so far, and connections accepted so far (also those without a request).
  std::vector<Request> requests() const;
  int connections() const;
  // Waits up to timeoutMs for at least n requests; true when they came.
  bool waitForRequests(size_t n, int timeoutMs) const;

  // Stops serving and closes the port; the destructor does it too.
  void stop();

  // One accepted connection, as the platform's socket code reads and writes it.
  class Connection {
   public:
    virtual ~Connection() = default;
    // Appends what arrives to data; false when the peer closed, nothing came for 10 s, or the
    // receiver stops.
    virtual bool readMore(std::string& data) = 0;
    virtual void sendAll(const std::string& data) = 0;
    // Ends the answer: no more bytes are sent, and the peer may read all of them.
    virtual void endAnswer() = 0;
  };

 private:
  void serve();  // the platform's accept loop, which hands each connection to handle()
  // Reads one request, records it and answers it as the mode says (the same on every platform).
  void handle(Connection& client);

  Socket listener_ = static_cast<Socket>(-1);
  int port_ = 0;
  int wakePipe_[2] = {-1, -1};  // POSIX only: wakes the serving thread
  std::thread thread_;
  std::atomic<bool> stopping_{false};

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  Mode mode_ = Mode::kAnswer;
  int status_ = 200;
  std::string reason_ = "OK";
  std::string body_ = "OK";
  std::vector<Request> requests_;
  int connections_ = 0;
};

// A free loopback port with nothing listening on it (bound, then released).
int unusedLoopbackPort();

// A loopback listener that never accepts and whose queue is full, so a new connection attempt
// hangs until the client gives up. Nothing when the queue could not be filled.
class BlackHoleListener {
 public:
  BlackHoleListener();
  ~BlackHoleListener();
  BlackHoleListener(const BlackHoleListener&) = delete;
  BlackHoleListener& operator=(const BlackHoleListener&) = delete;

  bool ready() const { return ready_; }
  int port() const { return port_; }

 private:
  Socket listener_ = static_cast<Socket>(-1);
  int port_ = 0;
  bool ready_ = false;
  std::vector<Socket> fillers_;
};

}  // namespace sccevtmon::testing
