// The HTTP client of the import run: one GET, the body back as bytes. WinINet on Windows
// (the system's proxy and TLS settings), libcurl elsewhere (proxies from the environment).
// A failed request, a time-out or a status other than 2xx gives an empty document.
#pragma once

#include <string>

namespace xbase {

struct HttpOptions {
  // Finite waits, so that a silent server cannot hang the window's thread.
  long connect_timeout_ms = 20000;
  long transfer_timeout_ms = 60000;
  int max_redirects = 5;
};

class CHttp {
 public:
  CHttp() = default;
  explicit CHttp(const HttpOptions& options) : options_(options) {}

  // GET of url (scheme, host, path and query in one text; "http://" is assumed when the text
  // names no scheme). Redirects are followed; nothing is taken from or put into a cache.
  std::string GetDocumentByURL(const std::string& url);

  const HttpOptions& options() const { return options_; }
  // The HTTP status of the last request's final answer; 0 when no answer came.
  long last_status() const { return last_status_; }

 private:
  HttpOptions options_;
  long last_status_ = 0;
};

namespace http_detail {
// The address with "http://" in front when it names no scheme; empty when its scheme is
// neither http nor https.
std::string normalized_url(const std::string& url);
}  // namespace http_detail

}  // namespace xbase
