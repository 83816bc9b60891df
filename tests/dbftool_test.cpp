// dbftool against the independent engine's fixture folders: keys and check say what that
// engine's own dumps and checker said.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "platform/file/file.h"
#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"
#include "platform/table/table_error.h"
#include "tests/support/test_util.h"
#include "tools/dbftool_commands.h"

namespace {

struct Folder {
  const char* name;
  const char* collation;
};
const Folder kFolders[] = {{"small-mixed-bin-s1", "binary"},
                           {"small-incr-bin-s2", "binary"},
                           {"small-mixed-cs852-s5", "czech"},
                           {"small-alt-bin-s12", "binary"}};

int run(const std::vector<std::string>& args, std::string* out) {
  std::ostringstream o, e;
  int rc = dbftool::run(args, o, e);
  *out = o.str() + e.str();
  return rc;
}

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

class Dbftool : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = xbase::table_settings(); }
  void TearDown() override { xbase::table_settings() = saved_; }
  xbase::TableSettings saved_;
};

// Every index lists the keys and record numbers of _keys.txt under its own "## " line. Equal NTX
// keys are not kept in record order by that engine, so NTX keys compare as a set.
TEST_F(Dbftool, KeysListEveryFixtureIndexAsTheEngineDid) {
  for (const Folder& f : kFolders) {
    std::string dir = testutil::fixture(f.name);
    std::string all = testutil::read_text(dir + "/_keys.txt");
    size_t pos = 0;
    int indexes = 0;
    while ((pos = all.find("## ", pos)) != std::string::npos) {
      size_t end = all.find("\n## ", pos);
      std::string section =
          all.substr(pos, end == std::string::npos ? std::string::npos : end + 1 - pos);
      pos = end == std::string::npos ? all.size() : end + 1;
      std::vector<std::string> expected = lines(section);
      // "## TABLE FILE:TAG expr=..."
      std::istringstream head(expected[0]);
      std::string hashes, table, file_tag;
      head >> hashes >> table >> file_tag;
      std::string file = file_tag.substr(0, file_tag.find(':'));
      std::string got;
      ASSERT_EQ(
          run({"keys", dir + "/" + file, "--table", dir + "/" + table, "--collation", f.collation},
              &got),
          0)
          << got;
      std::vector<std::string> actual = lines(got);
      ASSERT_FALSE(actual.empty()) << f.name << " " << file;
      // The header ends with the key rules the keys show: the folder's own collation.
      size_t rules = actual[0].find(" rules=");
      ASSERT_NE(rules, std::string::npos) << actual[0];
      EXPECT_EQ(actual[0].substr(rules + 7, actual[0].find('/', rules) - rules - 7), f.collation);
      actual[0].erase(rules);
      EXPECT_EQ(actual[0], expected[0]) << f.name;
      bool ntx = file.find(".NTX") != std::string::npos;
      if (ntx) {
        std::sort(expected.begin() + 1, expected.end());
        std::sort(actual.begin() + 1, actual.end());
      }
      EXPECT_EQ(actual, expected) << f.name << " " << file;
      ++indexes;
    }
    EXPECT_EQ(indexes, 20) << f.name;
  }
}

TEST_F(Dbftool, CheckSaysOkForEveryFixtureFolderUnderItsOwnCollation) {
  for (const Folder& f : kFolders) {
    std::string out;
    EXPECT_EQ(run({"check", testutil::fixture(f.name), "--collation", f.collation}, &out), 0)
        << f.name << "\n"
        << out;
    std::vector<std::string> l = lines(out);
    EXPECT_EQ(l.size(), 26u) << out;  // six tables and twenty indexes
    for (const auto& line : l) EXPECT_EQ(line.rfind("OK ", 0), 0u) << f.name << ": " << line;
  }
}

// The Czech-ordered folder read with byte order: its character keys are out of order.
TEST_F(Dbftool, CheckFindsCzechOrderedKeysOutOfByteOrder) {
  std::string out;
  EXPECT_EQ(run({"check", testutil::fixture("small-mixed-cs852-s5")}, &out), 1);
  EXPECT_NE(out.find("BAD ZAK.DBF NZAK.NTX"), std::string::npos) << out;
  EXPECT_NE(out.find("BAD DOOD.DBF NAZO.CDX"), std::string::npos) << out;
  EXPECT_NE(out.find("OK ZAK.DBF CIZA.NTX"), std::string::npos) << out;  // numbers still fine
}

TEST_F(Dbftool, CheckReportsMissingAndStaleIndexes) {
  testutil::TempDir dir;
  testutil::copy_fixture("small-mixed-bin-s1", dir.path());
  xbase::native_file_system().remove(dir.file("IFIRM.CDX"));
  // A key field changed behind the index's back.
  std::vector<char> zak = testutil::read_file(dir.file("ZAK.DBF"));
  size_t hl = static_cast<unsigned char>(zak[8]) | (static_cast<unsigned char>(zak[9]) << 8);
  zak[hl + 1] = '9';  // CZAK of record 1
  testutil::write_file(dir.file("ZAK.DBF"), zak);
  std::string out;
  EXPECT_EQ(run({"check", dir.path()}, &out), 1);
  EXPECT_NE(out.find("BAD DOOD.DBF IFIRM.CDX missing"), std::string::npos) << out;
  EXPECT_NE(out.find("BAD ZAK.DBF CIZA.NTX:CIZA record 1 has no key"), std::string::npos) << out;
  EXPECT_NE(out.find("OK ZAK.DBF NZAK.NTX"), std::string::npos) << out;
  EXPECT_NE(out.find("OK POZAD.DBF IPOZZ.CDX"), std::string::npos) << out;
}

TEST_F(Dbftool, WrongUsageIsAUsageError) {
  std::string out;
  EXPECT_THROW(run({"keys"}, &out), dbftool::UsageError);
  EXPECT_THROW(run({"frobnicate"}, &out), dbftool::UsageError);
  EXPECT_THROW(run({"check", ".", "--collation", "klingon"}, &out), dbftool::UsageError);
}

}  // namespace

namespace {

// hold takes the table exclusively: while it holds, a shared open is refused as sharing; after,
// the table opens again.
TEST_F(Dbftool, HoldKeepsTheTableExclusiveAndReleasesIt) {
  testutil::TempDir dir;
  testutil::copy_fixture("small-mixed-bin-s1", dir.path());
  const std::string posci = dir.file("POSCI.DBF");
  std::string out;
  EXPECT_THROW(run({"hold", posci}, &out), dbftool::UsageError);
  EXPECT_THROW(run({"hold", posci, "soon"}, &out), dbftool::UsageError);
  EXPECT_THROW(run({"hold", posci, "-1"}, &out), dbftool::UsageError);

  std::ostringstream held, err;
  std::thread holder([&] { dbftool::run({"hold", posci, "2"}, held, err); });
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  xbase::TableOpenOptions shared;
  try {
    xbase::DbfTable::open(posci, shared);
    ADD_FAILURE() << "a held table opened";
  } catch (const xbase::TableError& e) {
    EXPECT_TRUE(e.sharing()) << e.what();
  }
  holder.join();
  EXPECT_EQ(held.str(), "holding " + posci + " exclusively for 2 s\nreleased " + posci + "\n");
  EXPECT_NO_THROW(xbase::DbfTable::open(posci, shared)->close());
}

}  // namespace
