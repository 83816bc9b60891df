// CHttp against a real HTTP server on loopback: bodies whole, failures empty (mend 5).
#include "platform/http/http.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/loopback_http.h"

namespace {

using testutil::HttpReply;
using testutil::LoopbackHttp;

TEST(Http, ReturnsTheBodyOfA200AndSendsTheTargetAsGiven) {
  LoopbackHttp server;
  server.serve("/export.php?key=&akce=x", {200, "c  123\r\np  123", "", false});
  xbase::CHttp http;
  EXPECT_EQ(http.GetDocumentByURL(server.url("/export.php?key=&akce=x")), "c  123\r\np  123");
  // A doubled slash reaches the server as typed.
  server.serve("//module/port.php?key=&akce=exportOk", {200, "ok", "", false});
  EXPECT_EQ(http.GetDocumentByURL(server.url("//module/port.php?key=&akce=exportOk")), "ok");
  EXPECT_EQ(server.requests(), (std::vector<std::string>{"/export.php?key=&akce=x",
                                                         "//module/port.php?key=&akce=exportOk"}));
}

TEST(Http, KeepsEveryByteOfALargeBinaryBody) {
  LoopbackHttp server;
  std::string body;
  for (size_t i = 0; i < 300000; ++i) body += static_cast<char>((i * 7 + i / 251) & 0xFF);
  server.serve("/big", {200, body, "", false});
  std::string got = xbase::CHttp().GetDocumentByURL(server.url("/big"));
  ASSERT_EQ(got.size(), body.size());
  EXPECT_TRUE(got == body);
}

TEST(Http, FollowsRedirects) {
  LoopbackHttp server;
  server.serve("/old", {302, "", "/middle", false});
  server.serve("/middle", {301, "moved", server.url("/new"), false});
  server.serve("/new", {200, "c here", "", false});
  EXPECT_EQ(xbase::CHttp().GetDocumentByURL(server.url("/old")), "c here");
  EXPECT_EQ(server.requests(), (std::vector<std::string>{"/old", "/middle", "/new"}));
}

TEST(Http, EndlessRedirectsGiveNothing) {
  LoopbackHttp server;
  server.serve("/loop", {302, "c loop", "/loop", false});
  EXPECT_EQ(xbase::CHttp().GetDocumentByURL(server.url("/loop")), "");
  EXPECT_LE(server.requests().size(), 10u);
}

TEST(Http, AnyStatusOtherThan2xxGivesAnEmptyDocument) {
  LoopbackHttp server;
  server.serve("/gone", {404, "c looks like an order", "", false});
  server.serve("/fail", {500, "c server error page", "", false});
  server.serve("/accepted", {202, "c accepted", "", false});
  xbase::CHttp http;
  EXPECT_EQ(http.GetDocumentByURL(server.url("/gone")), "");
  EXPECT_EQ(http.GetDocumentByURL(server.url("/fail")), "");
  EXPECT_EQ(http.GetDocumentByURL(server.url("/nowhere")), "");
  EXPECT_EQ(http.GetDocumentByURL(server.url("/accepted")), "c accepted");
}

TEST(Http, NoServerOrAnotherSchemeGivesNothing) {
  int port = LoopbackHttp::closed_port();
  xbase::CHttp http;
  EXPECT_EQ(http.GetDocumentByURL("http://127.0.0.1:" + std::to_string(port) + "/x"), "");
  EXPECT_EQ(http.GetDocumentByURL("ftp://127.0.0.1/x"), "");
}

TEST(Http, ASilentServerGivesNothingInFiniteTime) {
  LoopbackHttp server;
  server.serve("/slow", {200, "", "", true});
  xbase::HttpOptions quick;
  quick.connect_timeout_ms = 1000;
  quick.transfer_timeout_ms = 1000;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(xbase::CHttp(quick).GetDocumentByURL(server.url("/slow")), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

TEST(Http, AnAddressWithoutSchemeIsHttp) {
  LoopbackHttp server;
  server.serve("/e?u=http://x", {200, "c plain", "", false});
  std::string bare = "127.0.0.1:" + std::to_string(server.port()) + "/e?u=http://x";
  EXPECT_EQ(xbase::CHttp().GetDocumentByURL(bare), "c plain");
  EXPECT_EQ(xbase::http_detail::normalized_url("HTTPS://a/b"), "HTTPS://a/b");
  EXPECT_EQ(xbase::http_detail::normalized_url("file:///etc/passwd"), "");
  EXPECT_EQ(xbase::http_detail::normalized_url("a/b?c=http://d"), "http://a/b?c=http://d");
  EXPECT_TRUE(xbase::CHttp().options().connect_timeout_ms >= 10000 &&
              xbase::CHttp().options().transfer_timeout_ms <= 120000)
      << "waits are tens of seconds";
}

}  // namespace
