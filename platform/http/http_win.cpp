// CHttp on WinINet: the system's proxy and TLS settings (PRECONFIG), a fresh answer every
// time (no-cache flags and headers), the body read in a loop, the status from the headers.
#include <windows.h>
#include <wininet.h>

#include <memory>
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

// On every handle: Wine's WinINet takes the waits from the connection and request handles.
void set_timeouts(HINTERNET h, const HttpOptions& o) {
  set_timeout(h, INTERNET_OPTION_CONNECT_TIMEOUT, o.connect_timeout_ms);
  set_timeout(h, INTERNET_OPTION_SEND_TIMEOUT, o.transfer_timeout_ms);
  set_timeout(h, INTERNET_OPTION_RECEIVE_TIMEOUT, o.transfer_timeout_ms);
}

struct Request {
  std::unique_ptr<Handle> connection, request;
};

// Connection and GET of one address, sent with its path and query exactly as they stand.
// Redirects are followed by the caller, not by WinINet, whose own following has no limit
// under Wine.
bool open_request(HINTERNET session, const std::wstring& address, const HttpOptions& o,
                  Request& r) {
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = 1;
  parts.dwUrlPathLength = 1;
  parts.dwExtraInfoLength = 1;
  if (!InternetCrackUrlW(address.c_str(), 0, 0, &parts)) return false;
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength);
  target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.empty()) target = L"/";
  r.connection = std::make_unique<Handle>(InternetConnectW(
      session, host.c_str(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!r.connection->h) return false;
  set_timeouts(r.connection->h, o);
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  r.request = std::make_unique<Handle>(HttpOpenRequestW(r.connection->h, L"GET", target.c_str(),
                                                        nullptr, nullptr, nullptr, flags, 0));
  if (!r.request->h) return false;
  set_timeouts(r.request->h, o);
  const wchar_t* headers = L"Cache-Control: no-cache\r\nPragma: no-cache\r\n";
  return HttpSendRequestW(r.request->h, headers, static_cast<DWORD>(-1L), nullptr, 0) != FALSE;
}

// The Location of a redirect, made absolute against the address that answered; empty when
// there is none or it leads to a scheme other than http or https.
std::wstring redirect_target(HINTERNET request, const std::wstring& base) {
  std::vector<wchar_t> loc(2048);
  DWORD size = static_cast<DWORD>(loc.size() * sizeof(wchar_t)), index = 0;
  if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, loc.data(), &size, &index)) return {};
  std::vector<wchar_t> out(4096);
  DWORD len = static_cast<DWORD>(out.size());
  if (!InternetCombineUrlW(base.c_str(), loc.data(), out.data(), &len, ICU_NO_ENCODE)) return {};
  std::wstring target(out.data(), len);
  bool http = _wcsnicmp(target.c_str(), L"http://", 7) == 0 ||
              _wcsnicmp(target.c_str(), L"https://", 8) == 0;
  return http ? target : std::wstring();
}

}  // namespace

std::string CHttp::GetDocumentByURL(const std::string& url) {
  last_status_ = 0;
  std::string address = http_detail::normalized_url(url);
  if (address.empty()) return "";
  Handle session(
      InternetOpenW(L"Import Objednavek", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session.h) return "";
  set_timeouts(session.h, options_);
  std::wstring current = widen(address);
  for (int hop = 0; hop <= options_.max_redirects; ++hop) {
    Request r;
    if (!open_request(session.h, current, options_, r)) return "";
    DWORD status = 0, size = sizeof(status), index = 0;
    if (!HttpQueryInfoW(r.request->h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &size, &index))
      return "";
    last_status_ = static_cast<long>(status);
    if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
      std::wstring next = redirect_target(r.request->h, current);
      if (next.empty()) return "";
      current = next;
      continue;
    }
    if (status < 200 || status > 299) return "";
    std::string body;
    // A body cut off by the connection is no answer.
    last_status_ = 0;
    std::vector<char> buf(64 * 1024);
    for (;;) {
      DWORD got = 0;
      if (!InternetReadFile(r.request->h, buf.data(), static_cast<DWORD>(buf.size()), &got))
        return "";
      if (got == 0) break;
      body.append(buf.data(), got);
    }
    last_status_ = static_cast<long>(status);
    return body;
  }
  return "";
}

}  // namespace xbase
