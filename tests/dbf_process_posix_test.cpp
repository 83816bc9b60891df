// Between processes: share modes refuse each other, and a process killed in the middle of
// appends leaves a table that opens with every committed record intact.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/table/db_server.h"
#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"
#include "platform/table/table_error.h"
#include "platform/table/work_areas.h"
#include "tests/support/table_holder_posix.h"
#include "tests/support/test_util.h"

namespace {

using namespace xbase;

using testutil::Holder;

class Sharing : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = table_settings();
    table_settings().default_folder = dir_.path();
    auto t = DbfTable::create(dir_.file("DATA.DBF"), {{"A", 'C', 4, 0}}, {});
    t->append_blank();
    t->close();
  }
  void TearDown() override {
    WorkAreas::instance().close_all();
    table_settings() = saved_;
  }
  bool use(bool shared) {
    WorkAreas::instance().select(1);
    UseOptions o;
    o.shared = shared;
    return WorkAreas::instance().use("DATA", "S1", o);
  }
  testutil::TempDir dir_;
  TableSettings saved_;
};

TEST_F(Sharing, ExclusiveHolderRefusesEveryOpenUntilItCloses) {
  Holder child(dir_.file("DATA.DBF"), ShareMode::kExclusive);
  for (bool shared : {true, false}) {
    set_net_err(false);
    EXPECT_FALSE(use(shared));
    EXPECT_TRUE(net_err());
    EXPECT_EQ(WorkAreas::instance().table(1), nullptr);
  }
  {
    DbServer s("DATA", true, false);
    EXPECT_EQ(s.status().caption, "21");
    EXPECT_TRUE(net_err());
    EXPECT_FALSE(s.used());
  }
  child.release();
  EXPECT_TRUE(use(false));
  EXPECT_FALSE(net_err());
}

TEST_F(Sharing, SharedHolderAllowsSharedAndRefusesExclusive) {
  Holder child(dir_.file("DATA.DBF"), ShareMode::kShared);
  EXPECT_FALSE(use(false));
  EXPECT_TRUE(net_err());
  EXPECT_TRUE(use(true));
  EXPECT_FALSE(net_err());
  WorkAreas::instance().close_all();
  child.release();
  EXPECT_TRUE(use(false));
}

// The share lock belongs to the open, not to the process.
TEST_F(Sharing, TwoOpensInOneProcessConflictToo) {
  TableOpenOptions ex;
  ex.share = ShareMode::kExclusive;
  {
    auto a = DbfTable::open(dir_.file("DATA.DBF"), ex);
    try {
      DbfTable::open(dir_.file("DATA.DBF"), {});
      FAIL() << "a shared open passed an exclusive one";
    } catch (const TableError& e) {
      EXPECT_TRUE(e.sharing());
      EXPECT_EQ(e.os_code(), 32);
    }
  }
  auto a = DbfTable::open(dir_.file("DATA.DBF"), {});
  auto b = DbfTable::open(dir_.file("DATA.DBF"), {});
  EXPECT_THROW(DbfTable::open(dir_.file("DATA.DBF"), ex), TableError);
}

// Other failures are not sharing conflicts: the flag stays clear and the error is thrown.
TEST_F(Sharing, MissingTableIsAnErrorNotARefusal) {
  WorkAreas::instance().select(1);
  EXPECT_THROW(WorkAreas::instance().use("NENI", "S1"), TableError);
  EXPECT_FALSE(net_err());
  DbServer s("NENI", true, false);
  EXPECT_EQ(s.status().caption, "21");
  EXPECT_NE(s.status().description.find("NENI"), std::string::npos);
  EXPECT_FALSE(net_err());
}

std::string expected_text(uint32_t r) { return "R" + std::to_string(r); }

// Appends forever, reporting each committed record number on the pipe, until killed.
[[noreturn]] void append_until_killed(const std::string& path, ShareMode mode, int fd) {
  try {
    TableOpenOptions o;
    o.share = mode;
    auto t = DbfTable::open(path, o);
    for (uint32_t r = 1;; ++r) {
      t->append_blank();
      t->put("A", Value::text(expected_text(r)));
      t->put("N", Value::number(r));
      if (r % 50 == 0) {
        t->commit();
        (void)!write(fd, &r, sizeof r);
      }
    }
  } catch (...) {
  }
  _exit(1);
}

void crash_during_appends(ShareMode mode) {
  testutil::TempDir dir;
  std::string path = dir.file("CRASH.DBF");
  DbfTable::create(path, {{"A", 'C', 12, 0}, {"N", 'N', 10, 0}}, {})->close();
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  pid_t pid = fork();
  if (pid == 0) {
    close(p[0]);
    append_until_killed(path, mode, p[1]);
  }
  close(p[1]);
  uint32_t committed = 0, r = 0;
  while (committed < 3000 && read(p[0], &r, sizeof r) == sizeof r) committed = r;
  kill(pid, SIGKILL);
  int st;
  waitpid(pid, &st, 0);
  while (read(p[0], &r, sizeof r) == sizeof r) committed = r;
  close(p[0]);
  ASSERT_GE(committed, 3000u);

  TableOpenOptions o;
  o.read_only = true;
  auto t = DbfTable::open(path, o);
  uint32_t n = t->record_count();
  EXPECT_GE(n, committed);
  EXPECT_LE(n, committed + 100000);
  for (uint32_t rec = 1; rec <= n; ++rec) {
    t->go_to(rec);
    std::string a = t->get_text("A");
    if (rec <= committed) {
      ASSERT_EQ(a, expected_text(rec)) << "record " << rec << " of " << n;
      ASSERT_EQ(t->get("N").num(), rec);
    } else {
      // Past the last commit a record is whole or still blank, never torn.
      ASSERT_TRUE(a.empty() || a == expected_text(rec)) << "record " << rec << ": " << a;
    }
  }
}

// Shared appends from several processes at once: the append lock keeps every record.
TEST(SharedAppend, ConcurrentProcessesLoseNoRecord) {
  testutil::TempDir dir;
  std::string path = dir.file("MANY.DBF");
  DbfTable::create(path, {{"WHO", 'N', 2, 0}, {"SEQ", 'N', 6, 0}}, {})->close();
  const int kProcs = 4, kEach = 400;
  std::vector<pid_t> kids;
  for (int p = 0; p < kProcs; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      int rc = 1;
      try {
        auto t = DbfTable::open(path, {});
        for (int i = 0; i < kEach; ++i) {
          t->append_blank();
          t->put("WHO", Value::number(p));
          t->put("SEQ", Value::number(i));
          t->commit();
        }
        t->close();
        rc = 0;
      } catch (...) {
      }
      _exit(rc);
    }
    kids.push_back(pid);
  }
  for (pid_t k : kids) {
    int st = 0;
    waitpid(k, &st, 0);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  }
  auto t = DbfTable::open(path, {});
  ASSERT_EQ(t->record_count(), static_cast<uint32_t>(kProcs * kEach));
  std::vector<std::vector<int>> seen(kProcs);
  for (t->go_top(); !t->eof(); t->skip()) {
    int who = static_cast<int>(t->get("WHO").num());
    ASSERT_GE(who, 0);
    ASSERT_LT(who, kProcs);
    seen[static_cast<size_t>(who)].push_back(static_cast<int>(t->get("SEQ").num()));
  }
  for (int p = 0; p < kProcs; ++p) {
    ASSERT_EQ(seen[static_cast<size_t>(p)].size(), static_cast<size_t>(kEach)) << p;
    for (int i = 0; i < kEach; ++i)
      EXPECT_EQ(seen[static_cast<size_t>(p)][static_cast<size_t>(i)], i);
  }
  EXPECT_FALSE(t->header_count_mismatch().has_value());
}

TEST(Crash, KilledDuringSharedAppendsLeavesEveryCommittedRecord) {
  crash_during_appends(ShareMode::kShared);
}

TEST(Crash, KilledDuringExclusiveAppendsLeavesEveryCommittedRecord) {
  crash_during_appends(ShareMode::kExclusive);
}

}  // namespace
