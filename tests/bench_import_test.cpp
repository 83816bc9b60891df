// bench_import at a tiny scale: the table of phases carries its figures, and the document's
// orders, items and new partners are all found in the tables afterwards.
#include "tools/bench_import.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "platform/file/file.h"
#include "platform/table/settings.h"
#include "tests/support/test_util.h"

namespace {

struct Figures {
  double seconds = -1, cpu = -1, reads = -1, writes = -1, flushes = -1, opens = -1;
};

// The row of the table whose first column is name.
bool figures(const std::string& out, const std::string& name, Figures* f) {
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(name, 0) != 0) continue;
    std::istringstream cells(line.substr(name.size()));
    return static_cast<bool>(cells >> f->seconds >> f->cpu >> f->reads >> f->writes >> f->flushes >>
                             f->opens);
  }
  return false;
}

int number_after(const std::string& out, const std::string& pattern) {
  std::smatch m;
  if (!std::regex_search(out, m, std::regex(pattern))) return -1;
  return std::stoi(m[1].str());
}

TEST(BenchImport, TinyRunPrintsEveryPhaseAndPostsTheWholeDocument) {
  testutil::TempDir dir;
  std::ostringstream out, err;
  ASSERT_EQ(bench_import::run({"--scale", "0.002", "--keep", dir.path()}, out, err), 0)
      << err.str();
  const std::string s = out.str();
  EXPECT_NE(s.find("phase"), std::string::npos) << s;
  for (const char* phase :
       {"make folder", "load", "post (incl. POZAD reindex)", "commit/close",
        "POZAD reindex alone (again)", "per posted order: post", "per posted order: load..close"}) {
    Figures f;
    ASSERT_TRUE(figures(s, phase, &f)) << phase << "\n" << s;
    EXPECT_GE(f.seconds, 0) << phase;
    EXPECT_GE(f.cpu, 0) << phase;
  }
  Figures post;
  ASSERT_TRUE(figures(s, "post (incl. POZAD reindex)", &post));
  // Each order is committed, so every posted order reads, writes and flushes.
  int orders = number_after(s, R"(document: (\d+) orders x 5 items)");
  ASSERT_GT(orders, 0) << s;
  EXPECT_GE(post.reads, orders);
  EXPECT_GE(post.writes, orders);
  EXPECT_GE(post.flushes, orders);
  EXPECT_GT(post.opens, 0);
  Figures per;
  ASSERT_TRUE(figures(s, "per posted order: post", &per));
  EXPECT_NEAR(per.flushes, post.flushes / orders, 0.1);
  // The kinds of file share the posting's calls out between them.
  Figures sum{0, 0, 0, 0, 0, 0};
  for (const char* kind : {"  CDX", "  DBF", "  NTX", "  JNL"}) {
    Figures k;
    ASSERT_TRUE(figures(s, kind, &k)) << kind << "\n" << s;
    EXPECT_GT(k.writes, 0) << kind;
    sum.reads += k.reads;
    sum.writes += k.writes;
    sum.flushes += k.flushes;
    sum.opens += k.opens;
  }
  EXPECT_NEAR(sum.reads, per.reads, 0.3);
  EXPECT_NEAR(sum.writes, per.writes, 0.3);
  EXPECT_NEAR(sum.flushes, per.flushes, 0.3);
  EXPECT_NEAR(sum.opens, per.opens, 0.3);

  EXPECT_EQ(number_after(s, R"(posted orders: (\d+) of)"), orders) << s;
  EXPECT_EQ(number_after(s, R"(posted orders: \d+ of (\d+))"), orders);
  EXPECT_EQ(number_after(s, R"(rejected (\d+); items)"), 0);
  EXPECT_EQ(number_after(s, R"(items (\d+) of)"), 5 * orders);
  EXPECT_EQ(number_after(s, R"(ZAK \+(\d+))"), orders);
  EXPECT_EQ(number_after(s, R"(POZAD \+(\d+))"), 5 * orders);
  int by_ico = number_after(s, R"((\d+) by ICO)"), by_name = number_after(s, R"((\d+) by name)");
  int fresh = number_after(s, R"((\d+) new\))");
  EXPECT_EQ(by_ico + by_name + fresh, orders);
  EXPECT_GT(by_ico, 0);
  EXPECT_GT(by_name, 0);
  EXPECT_EQ(number_after(s, R"(DOOD \+(\d+))"), fresh) << "partners by ICO and name were found";
  // The run leaves the process as it found it.
  EXPECT_EQ(&xbase::file_system(), &xbase::native_file_system());
  EXPECT_TRUE(xbase::table_settings().default_folder.empty() ||
              xbase::table_settings().default_folder.find(dir.path()) == std::string::npos);
}

TEST(BenchImport, WrongUsageIsRefused) {
  std::ostringstream out, err;
  EXPECT_EQ(bench_import::run({"--scale"}, out, err), 3);
  EXPECT_EQ(bench_import::run({"--scale", "0"}, out, err), 3);
  EXPECT_EQ(bench_import::run({"--frobnicate"}, out, err), 3);
  EXPECT_TRUE(out.str().empty());
}

}  // namespace
