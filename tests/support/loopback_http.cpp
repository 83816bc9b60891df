#include "tests/support/loopback_http.h"

#include <stdexcept>

namespace testutil {

LoopbackHttp::LoopbackHttp(int port) : port_(port) {
  listener_ = sock::listen_loopback(&port_);
  if (listener_ < 0)
    throw std::runtime_error("loopback HTTP server: cannot listen on port " + std::to_string(port));
  thread_ = std::thread([this] { run(); });
}

LoopbackHttp::~LoopbackHttp() {
  stop_ = true;
  thread_.join();
  for (auto s : held_) sock::close(s);
  sock::close(listener_);
}

std::string LoopbackHttp::url(const std::string& target) const {
  return "http://127.0.0.1:" + std::to_string(port_) + target;
}

void LoopbackHttp::serve(const std::string& target, const HttpReply& reply) {
  std::lock_guard<std::mutex> lock(mu_);
  replies_[target] = reply;
}

std::vector<std::string> LoopbackHttp::requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
}

void LoopbackHttp::on_request(std::function<void(const std::string&)> hook) {
  std::lock_guard<std::mutex> lock(mu_);
  hook_ = std::move(hook);
}

int LoopbackHttp::closed_port() {
  int port = 0;
  std::intptr_t s = sock::listen_loopback(&port);
  sock::close(s);
  return port;
}

void LoopbackHttp::run() {
  while (!stop_) {
    std::intptr_t conn = sock::accept_within(listener_, 50);
    if (conn >= 0) answer(conn);
  }
}

void LoopbackHttp::answer(std::intptr_t conn) {
  std::string request;
  char buf[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    long got = sock::receive(conn, buf, sizeof(buf));
    if (got <= 0) break;
    request.append(buf, static_cast<size_t>(got));
  }
  // "GET <target> HTTP/1.1"
  size_t a = request.find(' ');
  size_t b = a == std::string::npos ? a : request.find(' ', a + 1);
  std::string target = b == std::string::npos ? "" : request.substr(a + 1, b - a - 1);
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard<std::mutex> lock(mu_);
    hook = hook_;
  }
  if (hook) hook(target);
  HttpReply reply;
  {
    std::lock_guard<std::mutex> lock(mu_);
    requests_.push_back(target);
    auto it = replies_.find(target);
    if (it != replies_.end()) {
      reply = it->second;
    } else {
      reply.status = 404;
      reply.body = "not found";
    }
  }
  if (reply.silent) {
    held_.push_back(conn);
    return;
  }
  std::string head = "HTTP/1.1 " + std::to_string(reply.status) +
                     " X\r\nContent-Length: " + std::to_string(reply.body.size()) +
                     "\r\nContent-Type: text/plain\r\nConnection: close\r\n";
  if (!reply.location.empty()) head += "Location: " + reply.location + "\r\n";
  sock::send_all(conn, head + "\r\n" + reply.body);
  sock::close(conn);
}

}  // namespace testutil
