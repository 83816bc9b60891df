// sample_shop: the e-shop's export page on 127.0.0.1 for the demo. Serves the sample exports
// planned against a sample folder, one after the other: GET / gives the pending export, the
// confirmation /module/port.php?key=&akce=exportOk takes it over and makes the next one
// pending. Every request is logged on standard output. Stops on Ctrl+C or SIGTERM, after the
// last export was confirmed, or after the time limit. With --document it serves that file as
// its one export instead (the window tests bring a document made for a fixture folder).
//   sample_shop (--folder DIR | --document FILE) [--port N] [--port-file FILE] [--seconds S]
//               [--save PREFIX]
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/file/file.h"
#include "tests/support/loopback_http.h"
#include "tools/sample_export.h"

namespace {

const char kConfirmation[] = "/module/port.php?key=&akce=exportOk";

volatile std::sig_atomic_t g_signal = 0;
extern "C" void on_signal(int s) { g_signal = s; }

void write_file(const std::string& path, const std::string& bytes) {
  xbase::OpenOptions o;
  o.create = true;
  o.truncate = true;
  auto f = xbase::file_system().open(path, o);
  f->write_at(0, bytes.data(), bytes.size());
  f->sync();
}

std::string read_file(const std::string& path) {
  xbase::OpenOptions o;
  o.read_only = true;
  auto f = xbase::file_system().open(path, o);
  std::string bytes(static_cast<size_t>(f->size()), '\0');
  if (!bytes.empty()) f->read_at(0, bytes.data(), bytes.size());
  return bytes;
}

int usage() {
  std::fprintf(stderr,
               "usage: sample_shop (--folder DIR | --document FILE) [--port N] [--port-file FILE] "
               "[--seconds S] [--save PREFIX]\n");
  return 3;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder, document, port_file, save;
  int port = 0;
  int seconds = 600;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) return usage();
    std::string v = argv[++i];
    if (a == "--folder")
      folder = v;
    else if (a == "--document")
      document = v;
    else if (a == "--port")
      port = std::atoi(v.c_str());
    else if (a == "--port-file")
      port_file = v;
    else if (a == "--seconds")
      seconds = std::atoi(v.c_str());
    else if (a == "--save")
      save = v;
    else
      return usage();
  }
  if (folder.empty() == document.empty()) return usage();
  try {
    std::vector<std::string> documents;
    if (!document.empty()) {
      documents.push_back(read_file(document));
    } else {
      for (const auto& e : sample::plan_exports(folder)) documents.push_back(e.document());
    }
    for (size_t i = 0; i < documents.size() && !save.empty(); ++i)
      write_file(save + std::to_string(i + 1) + ".txt", documents[i]);

    testutil::LoopbackHttp shop(port);
    std::mutex mu;
    size_t pending = 0;  // the export GET / gives; documents.size(): nothing pending
    std::atomic<bool> all_taken{false};
    auto serve_pending = [&] {
      shop.serve("/", {200, pending < documents.size() ? documents[pending] : "", "", false});
    };
    serve_pending();
    shop.serve(kConfirmation, {200, "OK", "", false});
    shop.on_request([&](const std::string& target) {
      std::lock_guard<std::mutex> lock(mu);
      if (target == "/") {
        if (pending < documents.size())
          std::printf("sample_shop: GET / -> export %zu of %zu (%zu bytes)\n", pending + 1,
                      documents.size(), documents[pending].size());
        else
          std::printf("sample_shop: GET / -> no pending orders (empty document)\n");
      } else if (target == kConfirmation) {
        std::printf("sample_shop: GET %s -> export %zu taken over\n", target.c_str(), pending + 1);
        if (pending < documents.size()) ++pending;
        serve_pending();
        if (pending == documents.size()) all_taken = true;
      } else {
        std::printf("sample_shop: GET %s -> 404\n", target.c_str());
      }
      std::fflush(stdout);
    });
    std::printf("sample_shop: serving %zu exports at http://127.0.0.1:%d\n", documents.size(),
                shop.port());
    std::fflush(stdout);
    if (!port_file.empty()) write_file(port_file, std::to_string(shop.port()) + "\n");
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!g_signal && !all_taken && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::printf("sample_shop: stopping (%s)\n", g_signal    ? "signal"
                                                : all_taken ? "every export taken over"
                                                            : "time limit");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sample_shop: %s\n", e.what());
    return 2;
  }
}
