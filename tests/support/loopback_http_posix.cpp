// Socket primitives of the loopback test server on POSIX.
#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/loopback_http.h"

namespace testutil::sock {

std::intptr_t listen_loopback(int* port) {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (*port != 0) {  // a fixed port is taken again at once after an earlier run
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  }
  addr.sin_port = htons(static_cast<unsigned short>(*port));
  socklen_t len = sizeof(addr);
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(s, 16) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(s);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return s;
}

std::intptr_t accept_within(std::intptr_t listener, int ms) {
  pollfd p{static_cast<int>(listener), POLLIN, 0};
  if (::poll(&p, 1, ms) <= 0) return -1;
  return ::accept(static_cast<int>(listener), nullptr, nullptr);
}

long receive(std::intptr_t s, char* buf, long n) {
  return static_cast<long>(::recv(static_cast<int>(s), buf, static_cast<size_t>(n), 0));
}

bool send_all(std::intptr_t s, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(static_cast<int>(s), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void close(std::intptr_t s) {
  if (s >= 0) ::close(static_cast<int>(s));
}

}  // namespace testutil::sock
#endif
