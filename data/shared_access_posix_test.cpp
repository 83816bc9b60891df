// Between processes: a child holds a table (exclusively, or shared) while OPAREA, OPSERVER
// and NOVECISLO ask; eight processes take numbers from one counter at the same time.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "data/data_test_support.h"
#include "data/numbering.h"
#include "data/shared_access.h"
#include "data/zas.h"
#include "tests/support/table_holder_posix.h"

namespace {

using testutil::Holder;
using testutil::read_all;
using ui::BoxRecord;
using ui::Reply;
using xbase::ShareMode;
using xbase::Value;

class AcrossProcesses : public datatest::DataTest {
 protected:
  void make_zak() {
    make_table(target_.file("ZAK.DBF"), {{"CZAK", 'N', 10, 0}}, {{Value::number(1)}});
  }
  // OPAREA while a child holds ZAK in mode; the child lets go while question number
  // release_at is open. Returns the number of questions asked.
  int oparea_until_released(ShareMode mode, bool shared_open, int release_at) {
    Holder holder(target_.file("ZAK.DBF"), mode);
    int asked = 0;
    window_.on_question = [&](const BoxRecord&) {
      if (++asked == release_at) holder.release();
      return Reply::kRetry;
    };
    xbase::WorkAreas::instance().select(3);
    EXPECT_TRUE(data::OPAREA("ZAK", shared_open, "S3"));
    EXPECT_EQ(xbase::WorkAreas::instance().area_of("S3"), 3);
    return asked;
  }
};

TEST_F(AcrossProcesses, OpareaRetriesUntilTheExclusiveHolderCloses) {
  make_zak();
  EXPECT_EQ(oparea_until_released(ShareMode::kExclusive, false, 3), 3);
  xbase::WorkAreas::instance().close_all();
  EXPECT_EQ(oparea_until_released(ShareMode::kExclusive, true, 1), 1);
  for (const auto& b : window_.boxes) {
    EXPECT_EQ(b.kind, BoxRecord::Kind::kQuestion);
    EXPECT_EQ(b.owner, ui::Owner::kMain);
    EXPECT_EQ(b.caption, "Akce odmítnuta!");
    EXPECT_EQ(b.text, datatest::kBusyQuestion);
  }
  EXPECT_EQ(window_.boxes.size(), 4u);
}

TEST_F(AcrossProcesses, OpareaRetriesUntilTheSharedHolderCloses) {
  make_zak();
  EXPECT_EQ(oparea_until_released(ShareMode::kShared, false, 2), 2);
  xbase::WorkAreas::instance().close_all();
  // A shared open beside a shared holder goes through at once.
  Holder holder(target_.file("ZAK.DBF"), ShareMode::kShared);
  window_.boxes.clear();
  xbase::WorkAreas::instance().select(3);
  EXPECT_TRUE(data::OPAREA("ZAK", true, "S3"));
  EXPECT_TRUE(window_.boxes.empty());
}

TEST_F(AcrossProcesses, OpareaCancelAsksExactlyOnce) {
  make_zak();
  for (ShareMode mode : {ShareMode::kExclusive, ShareMode::kShared}) {
    Holder holder(target_.file("ZAK.DBF"), mode);
    window_.boxes.clear();
    window_.replies = {Reply::kCancel, Reply::kCancel};
    xbase::WorkAreas::instance().select(3);
    EXPECT_FALSE(data::OPAREA("ZAK", false, "S3"));
    EXPECT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.replies.size(), 1u);
    EXPECT_EQ(xbase::WorkAreas::instance().table(3), nullptr);
  }
}

TEST_F(AcrossProcesses, OpserverWarnsWhileAnotherProcessHoldsZas) {
  make_table(target_.file("ZAS.DBF"), {{"CIPO", 'C', 16, 0}}, {{Value::text("A1")}});
  {
    Holder holder(target_.file("ZAS.DBF"), ShareMode::kShared);
    EXPECT_FALSE(data::OPSERVER("ZAS", false, false));
  }
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, datatest::exclusive_warning("ZAS"));
  EXPECT_EQ(open_areas(), 0);
  EXPECT_TRUE(data::OPSERVER("ZAS", false, false));  // free again
}

class CounterProcesses : public datatest::DataTest {
 protected:
  void make_posci(double value) {
    make_table(target_.file("POSCI.DBF"), {{"PCDOOD", 'N', 9, 0}}, {{Value::number(value)}});
  }
  // Each of `processes` children takes `each` numbers, answering Retry whenever asked; all
  // start together. Returns every number taken, each child's in the order it got them.
  std::vector<std::vector<int64_t>> take_numbers(int processes, int each) {
    int go[2];
    if (pipe(go) != 0) throw std::runtime_error("pipe");
    std::vector<pid_t> pids;
    std::vector<int> outs;
    for (int i = 0; i < processes; ++i) {
      int out[2];
      if (pipe(out) != 0) throw std::runtime_error("pipe");
      pid_t pid = fork();
      if (pid == 0) {
        close(go[1]);
        close(out[0]);
        window_.on_question = [](const BoxRecord&) { return Reply::kRetry; };
        char c;
        if (!read_all(go[0], &c, 1)) _exit(2);
        try {
          for (int n = 0; n < each; ++n) {
            int64_t number = data::NOVECISLO("PCDOOD");
            if (write(out[1], &number, sizeof number) != sizeof number) _exit(3);
          }
        } catch (...) {
          _exit(4);
        }
        // Every refusal must have been a sharing conflict, never an error of another kind.
        for (const auto& b : window_.boxes)
          if (b.kind != BoxRecord::Kind::kQuestion) _exit(5);
        _exit(0);
      }
      close(out[1]);
      pids.push_back(pid);
      outs.push_back(out[0]);
    }
    close(go[0]);
    std::string start(processes, 'g');
    (void)!write(go[1], start.data(), start.size());
    close(go[1]);
    std::vector<std::vector<int64_t>> got(processes);
    for (int i = 0; i < processes; ++i) {
      got[i].resize(each);
      EXPECT_TRUE(read_all(outs[i], got[i].data(), each * sizeof(int64_t))) << "child " << i;
      close(outs[i]);
      int st = 0;
      waitpid(pids[i], &st, 0);
      EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "child " << i << " status " << st;
    }
    return got;
  }
  int64_t stored() {
    auto t = hold(target_.file("POSCI.DBF"), ShareMode::kShared);
    return static_cast<int64_t>(t->get("PCDOOD").num());
  }
};

TEST_F(CounterProcesses, EightProcessesGetDistinctNumbersWithoutGaps) {
  make_posci(279);
  auto got = take_numbers(8, 200);
  std::vector<int64_t> all;
  for (const auto& child : got) {
    EXPECT_TRUE(std::is_sorted(child.begin(), child.end()));
    all.insert(all.end(), child.begin(), child.end());
  }
  std::sort(all.begin(), all.end());
  ASSERT_EQ(all.size(), 1600u);
  for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], 280 + static_cast<int64_t>(i));
  EXPECT_EQ(stored(), 279 + 1600);
}

TEST_F(CounterProcesses, ConcurrentNumbersWrapAfterTheLargest) {
  make_posci(data::kCounterMax - 50);
  auto got = take_numbers(4, 25);
  std::vector<int64_t> all;
  for (const auto& child : got) all.insert(all.end(), child.begin(), child.end());
  std::sort(all.begin(), all.end());
  std::vector<int64_t> expected;
  for (int64_t n = 1; n <= 50; ++n) expected.push_back(n);
  for (int64_t n = data::kCounterMax - 49; n <= data::kCounterMax; ++n) expected.push_back(n);
  EXPECT_EQ(all, expected);
  EXPECT_EQ(stored(), 50);
}

TEST_F(CounterProcesses, CancelWhileAnotherProcessHoldsPosci) {
  make_posci(41);
  {
    Holder holder(target_.file("POSCI.DBF"), ShareMode::kExclusive);
    window_.replies = {Reply::kCancel};
    EXPECT_EQ(data::NOVECISLO("PCDOOD"), 0);
    EXPECT_EQ(window_.boxes.size(), 1u);
    int asked = 0;
    window_.on_question = [&](const BoxRecord&) {
      if (++asked == 2) holder.release();
      return Reply::kRetry;
    };
    EXPECT_EQ(data::NOVECISLO("PCDOOD"), 42);
    EXPECT_EQ(asked, 2);
  }
  EXPECT_EQ(stored(), 42);
}

}  // namespace
