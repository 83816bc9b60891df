// CHttp on WinINet: the system's proxy and TLS settings (PRECONFIG), a fresh answer every
// time (no-cache flags and headers), the body read in a loop, the status from the headers.
#include <windows.h>
#include <wininet.h>

#include <string>
#include <vector>

#include "platform/http/http.h"

namespace xbase {
namespace {

std::wstring widen(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

struct Handle {
  HINTERNET h = nullptr;
  explicit Handle(HINTERNET v) : h(v) {}
  ~Handle() {
    if (h) InternetCloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

void set_timeout(HINTERNET h, DWORD option, long ms) {
  DWORD v = static_cast<DWORD>(ms);
  InternetSetOptionW(h, option, &v, sizeof(v));
}

}  // namespace

std::string CHttp::GetDocumentByURL(const std::string& url) {
  std::string address = http_detail::normalized_url(url);
  if (address.empty()) return "";
  Handle session(
      InternetOpenW(L"Import Objednavek", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session.h) return "";
  set_timeout(session.h, INTERNET_OPTION_CONNECT_TIMEOUT, options_.connect_timeout_ms);
  set_timeout(session.h, INTERNET_OPTION_SEND_TIMEOUT, options_.transfer_timeout_ms);
  set_timeout(session.h, INTERNET_OPTION_RECEIVE_TIMEOUT, options_.transfer_timeout_ms);
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                      INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  std::wstring waddress = widen(address);
  const wchar_t* headers = L"Cache-Control: no-cache\r\nPragma: no-cache\r\n";
  Handle request(
      InternetOpenUrlW(session.h, waddress.c_str(), headers, static_cast<DWORD>(-1L), flags, 0));
  if (!request.h) return "";
  DWORD status = 0, size = sizeof(status), index = 0;
  if (!HttpQueryInfoW(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      &index))
    return "";
  if (status < 200 || status > 299) return "";
  std::string body;
  std::vector<char> buf(64 * 1024);
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(request.h, buf.data(), static_cast<DWORD>(buf.size()), &got)) return "";
    if (got == 0) break;
    body.append(buf.data(), got);
  }
  return body;
}

}  // namespace xbase
