// What both HTTP implementations share: which addresses they accept.
#include "platform/http/http.h"

#include <cctype>

namespace xbase::http_detail {

std::string normalized_url(const std::string& url) {
  size_t colon = url.find("://");
  bool has_scheme =
      colon != std::string::npos && colon > 0 && std::isalpha(static_cast<unsigned char>(url[0]));
  for (size_t i = 0; has_scheme && i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(url[i]);
    has_scheme = std::isalnum(c) || c == '+' || c == '-' || c == '.';
  }
  // "shop.cz/export?back=http://..." names no scheme of its own.
  if (!has_scheme) return "http://" + url;
  std::string scheme = url.substr(0, colon);
  for (auto& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme != "http" && scheme != "https") return "";
  return url;
}

}  // namespace xbase::http_detail
