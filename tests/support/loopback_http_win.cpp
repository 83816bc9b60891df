// Socket primitives of the loopback test server on Windows (Winsock).
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/support/loopback_http.h"

namespace testutil::sock {
namespace {

bool started() {
  static bool ok = [] {
    WSADATA d;
    return WSAStartup(MAKEWORD(2, 2), &d) == 0;
  }();
  return ok;
}

SOCKET as_socket(std::intptr_t s) { return static_cast<SOCKET>(s); }

}  // namespace

std::intptr_t listen_loopback(int* port) {
  if (!started()) return -1;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<unsigned short>(*port));
  int len = sizeof(addr);
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(s, 16) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::closesocket(s);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return static_cast<std::intptr_t>(s);
}

std::intptr_t accept_within(std::intptr_t listener, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(as_socket(listener), &set);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  if (::select(0, &set, nullptr, nullptr, &tv) <= 0) return -1;
  SOCKET c = ::accept(as_socket(listener), nullptr, nullptr);
  return c == INVALID_SOCKET ? -1 : static_cast<std::intptr_t>(c);
}

long receive(std::intptr_t s, char* buf, long n) {
  return ::recv(as_socket(s), buf, static_cast<int>(n), 0);
}

bool send_all(std::intptr_t s, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    int n = ::send(as_socket(s), bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void close(std::intptr_t s) {
  if (s >= 0) ::closesocket(as_socket(s));
}

}  // namespace testutil::sock
#endif
