// A small HTTP server on 127.0.0.1 for the tests and the sample shop: serves fixed answers by
// request target and records every request target in order. Nothing below the HTTP client is
// mocked.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testutil {

struct HttpReply {
  int status = 200;
  std::string body;
  std::string location;  // sent as Location: when not empty
  bool silent = false;   // accept, read the request, never answer
};

class LoopbackHttp {
 public:
  // Listening on port, or on a free port for 0; throws when it cannot listen.
  explicit LoopbackHttp(int port = 0);
  ~LoopbackHttp();
  LoopbackHttp(const LoopbackHttp&) = delete;
  LoopbackHttp& operator=(const LoopbackHttp&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by target.
  std::string url(const std::string& target) const;
  // Answers for a request target exactly as sent (path and query); others get 404.
  void serve(const std::string& target, const HttpReply& reply);
  std::vector<std::string> requests() const;
  // Called with each request target before its answer is chosen (it may call serve()).
  void on_request(std::function<void(const std::string&)> hook);

  // A loopback port on which nobody listens.
  static int closed_port();

 private:
  void run();
  void answer(std::intptr_t conn);

  std::intptr_t listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mu_;
  std::map<std::string, HttpReply> replies_;
  std::function<void(const std::string&)> hook_;
  std::vector<std::string> requests_;
  std::vector<std::intptr_t> held_;  // silent connections, closed at the end
  std::thread thread_;
};

// Socket primitives, one implementation per platform (loopback_http_posix/_win.cpp).
namespace sock {
std::intptr_t listen_loopback(int* port);                     // *port 0: a free one; -1 on failure
std::intptr_t accept_within(std::intptr_t listener, int ms);  // -1 when nothing came
long receive(std::intptr_t s, char* buf, long n);             // <= 0: closed or failed
bool send_all(std::intptr_t s, const std::string& bytes);
void close(std::intptr_t s);
}  // namespace sock

}  // namespace testutil
