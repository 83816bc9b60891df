// CHttp on libcurl: one easy handle per request, redirects followed, finite time-outs,
// no-cache request headers, proxies from the environment except for loopback addresses.
#include <curl/curl.h>

#include <cstdlib>
#include <mutex>

#include "platform/http/http.h"

namespace xbase {
namespace {

size_t append_body(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// A proxy never stands between us and this machine, whatever the environment says.
std::string no_proxy_list() {
  std::string list = "localhost,127.0.0.1,::1";
  for (const char* name : {"no_proxy", "NO_PROXY"}) {
    const char* v = std::getenv(name);
    if (v && *v) {
      list = std::string(v) + "," + list;
      break;
    }
  }
  return list;
}

struct Easy {
  CURL* h = curl_easy_init();
  curl_slist* headers = nullptr;
  ~Easy() {
    curl_slist_free_all(headers);
    if (h) curl_easy_cleanup(h);
  }
};

}  // namespace

std::string CHttp::GetDocumentByURL(const std::string& url) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  last_status_ = 0;
  std::string address = http_detail::normalized_url(url);
  if (address.empty()) return "";
  Easy e;
  if (!e.h) return "";
  std::string body;
  std::string no_proxy = no_proxy_list();
  e.headers = curl_slist_append(e.headers, "Cache-Control: no-cache");
  e.headers = curl_slist_append(e.headers, "Pragma: no-cache");
  curl_easy_setopt(e.h, CURLOPT_URL, address.c_str());
  curl_easy_setopt(e.h, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(e.h, CURLOPT_HTTPHEADER, e.headers);
  curl_easy_setopt(e.h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e.h, CURLOPT_MAXREDIRS, static_cast<long>(options_.max_redirects));
#if LIBCURL_VERSION_NUM >= 0x075500
  curl_easy_setopt(e.h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e.h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#endif
  curl_easy_setopt(e.h, CURLOPT_CONNECTTIMEOUT_MS, options_.connect_timeout_ms);
  curl_easy_setopt(e.h, CURLOPT_TIMEOUT_MS, options_.transfer_timeout_ms);
  curl_easy_setopt(e.h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e.h, CURLOPT_NOPROXY, no_proxy.c_str());
  curl_easy_setopt(e.h, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(e.h, CURLOPT_USERAGENT, "Import Objednavek");
  curl_easy_setopt(e.h, CURLOPT_WRITEFUNCTION, append_body);
  curl_easy_setopt(e.h, CURLOPT_WRITEDATA, &body);
  if (curl_easy_perform(e.h) != CURLE_OK) return "";
  long status = 0;
  curl_easy_getinfo(e.h, CURLINFO_RESPONSE_CODE, &status);
  last_status_ = status;
  if (status < 200 || status > 299) return "";
  return body;
}

}  // namespace xbase
