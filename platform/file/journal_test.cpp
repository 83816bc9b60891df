// The redo journal: writes held until the commit, recovery of a crash at any byte of the
// journal, and a refusal (nothing written) of a damaged journal or a file changed since.
#include "platform/file/journal.h"

#include <gtest/gtest.h>

#include "tests/support/test_util.h"

namespace xbase {
namespace {

using testutil::read_text;

void put_text(const std::string& path, const std::string& s) {
  testutil::write_file(path, std::vector<char>(s.begin(), s.end()));
}

OpenOptions exclusive() {
  OpenOptions o;
  o.share = ShareMode::kExclusive;
  return o;
}

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    put_text(dir_.file("A.DBF"), "aaaaaaaaaa");
    put_text(dir_.file("B.NTX"), "bbbbbbbbbbbbbbbbbbbb");
  }
  std::string jnl() const { return dir_.file(kJournalName); }
  // Two commits kept in the journal (no checkpoint); states: before, after each.
  std::string two_commits(std::vector<std::string>* states) {
    states->push_back(state());
    {
      Journal j(dir_.path());
      auto a = file_system().open(dir_.file("A.DBF"), exclusive());
      auto b = file_system().open(dir_.file("B.NTX"), exclusive());
      a->write_at(2, "XY", 2);
      b->write_at(18, "1234", 4);  // grows the file
      j.commit("101");
      states->push_back(state());
      a->write_at(3, "Z", 1);
      a->truncate(8);
      j.commit("102");
      states->push_back(state());
    }  // no finish(): the journal stays, as after a crash
    return read_text(jnl());
  }
  void set_state(const std::string& s) {
    size_t bar = s.find('|');
    put_text(dir_.file("A.DBF"), s.substr(0, bar));
    put_text(dir_.file("B.NTX"), s.substr(bar + 1));
  }
  std::string state() const {
    return read_text(dir_.file("A.DBF")) + "|" + read_text(dir_.file("B.NTX"));
  }
  testutil::TempDir dir_;
};

TEST_F(JournalTest, WritesWaitForTheCommitAndAnAbortDropsThemAndAllLaterWrites) {
  Journal j(dir_.path());
  auto a = file_system().open(dir_.file("A.DBF"), exclusive());
  a->write_at(8, "0123", 4);
  char buf[16] = {};
  ASSERT_EQ(a->read_at(6, buf, sizeof buf), 6u);
  EXPECT_EQ(std::string(buf, 6), "aa0123");
  EXPECT_EQ(a->size(), 12u);
  EXPECT_EQ(read_text(dir_.file("A.DBF")), "aaaaaaaaaa");
  {
    Journal::Bypass counter;  // straight to the disk
    auto b = file_system().open(dir_.file("B.NTX"), exclusive());
    b->write_at(0, "C", 1);
  }
  EXPECT_EQ(read_text(dir_.file("B.NTX"))[0], 'C');
  j.commit("7");
  EXPECT_TRUE(j.last_commit_durable());
  EXPECT_EQ(read_text(dir_.file("A.DBF")), "aaaaaaaa0123");
  a->write_at(0, "QQ", 2);
  j.abort();
  a->write_at(1, "R", 1);
  a.reset();
  EXPECT_EQ(read_text(dir_.file("A.DBF")), "aaaaaaaa0123");
  j.finish();
  EXPECT_FALSE(native_file_system().exists(jnl()));
}

TEST_F(JournalTest, ATornJournalReplaysUpToItsLastWholeCommitAndTwiceGivesTheSameBytes) {
  std::vector<std::string> states;
  std::string bytes = two_commits(&states);
  size_t end_first = 0;  // where commit 101 ends
  for (size_t cut = kJournalHeaderSize; cut <= bytes.size() && !end_first; ++cut)
    if (parse_journal(bytes.substr(0, cut), "J").commits.size() == 1) end_first = cut;
  ASSERT_GT(end_first, 0u);
  // A crash while the journal was written: the commits before it are in place, none after.
  for (size_t cut = 0; cut <= bytes.size(); ++cut) {
    size_t done = cut < end_first ? 0 : cut < bytes.size() ? 1 : 2;
    set_state(states[cut <= end_first ? 0 : 1]);
    put_text(jnl(), bytes.substr(0, cut));
    RecoveryReport r = recover_journal(dir_.path());
    ASSERT_EQ(state(), states[done]) << "cut at " << cut;
    EXPECT_EQ(r.labels.size(), done);
    bool torn = cut != 0 && cut != kJournalHeaderSize && cut != end_first && cut != bytes.size();
    EXPECT_EQ(r.torn_tail, torn) << cut;
    EXPECT_FALSE(native_file_system().exists(jnl()));
    if (cut == end_first || cut == bytes.size()) {  // again, over what the first replay left
      put_text(jnl(), bytes.substr(0, cut));
      EXPECT_TRUE(recover_journal(dir_.path()).written.empty());
      EXPECT_EQ(state(), states[done]);
    }
  }
}

TEST_F(JournalTest, InPlaceWritesLostWithThePowerAreWrittenAgainAllOrSome) {
  std::vector<std::string> states;
  std::string bytes = two_commits(&states);
  auto a_of = [](const std::string& st) { return st.substr(0, st.find('|')); };
  auto b_of = [](const std::string& st) { return st.substr(st.find('|')); };
  for (const std::string& lost : {states[0], a_of(states[1]) + b_of(states[0]),
                                  a_of(states[0]) + b_of(states[2])}) {
    set_state(lost);
    put_text(jnl(), bytes);
    recover_journal(dir_.path());
    EXPECT_EQ(state(), states[2]) << lost;
  }
}

TEST_F(JournalTest, AFileThatGrewInSeveralCommitsIsRecoveredWhenThePowerTookAllItsGrowth) {
  const std::string start = state();
  std::string after;
  {
    Journal j(dir_.path());
    auto b = file_system().open(dir_.file("B.NTX"), exclusive());
    b->write_at(20, "12", 2);
    j.commit("1");
    b->write_at(22, "34", 2);
    j.commit("2");
    after = state();
  }
  const std::string bytes = read_text(jnl());
  set_state(start);
  put_text(jnl(), bytes);
  recover_journal(dir_.path());
  EXPECT_EQ(state(), after);
}

TEST_F(JournalTest, ADamagedCommittedRecordOrAFileChangedSinceRefusesTheWholeJournal) {
  std::vector<std::string> states;
  std::string bytes = two_commits(&states);
  for (size_t at : {size_t{20}, bytes.size() / 2}) {  // inside commit 101, and further on
    std::string bad = bytes;
    bad[at] = static_cast<char>(bad[at] ^ 0x10);
    put_text(jnl(), bad);
    set_state(states[0]);
    EXPECT_THROW(recover_journal(dir_.path()), JournalRefused) << at;
    EXPECT_EQ(state(), states[0]);
    EXPECT_EQ(read_text(jnl()), bad);
  }
  // Another program wrote into a range of the last commit after the crash.
  put_text(jnl(), bytes);
  set_state(states[1]);
  put_text(dir_.file("A.DBF"), "aaXWaaaaaa");
  try {
    recover_journal(dir_.path());
    ADD_FAILURE() << "recovered";
  } catch (const JournalRefused& e) {
    EXPECT_NE(e.file().find("A.DBF"), std::string::npos);
  }
  EXPECT_EQ(read_text(dir_.file("A.DBF")), "aaXWaaaaaa");
  // A journal that waits keeps the next run from starting over it.
  EXPECT_THROW(Journal{dir_.path()}, JournalRefused);
}

}  // namespace
}  // namespace xbase
