// A rebuild of a table's indexes held exclusively reads the table once for all of them and
// swaps each new file in whole: stopped at any call of the file seam, every index file is
// either its old bytes or its new ones, and no side file is left once a rebuild has ended.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>

#include "platform/file/file.h"
#include "platform/file/replace_file.h"
#include "platform/table/settings.h"
#include "platform/table/work_areas.h"
#include "tests/support/test_util.h"

namespace {

using namespace xbase;

struct Stopped : std::runtime_error {
  Stopped() : std::runtime_error("stopped") {}
};

// Counts the seam's calls; at the chosen one, records what the index files hold and stops.
class StoppingFs : public ForwardingFileSystem {
 public:
  StoppingFs(FileSystem& inner, int stop_at, std::function<void()> at_stop)
      : ForwardingFileSystem(inner), stop_at_(stop_at), at_stop_(std::move(at_stop)) {}
  // Counting starts here: the opens before it are not what is tested.
  void arm() { armed_ = true; }
  void tick() {
    if (armed_ && ++calls_ == stop_at_) {
      at_stop_();
      throw Stopped();
    }
  }
  int calls() const { return calls_; }

  // Reads of files with this base name since arm().
  int reads_of(const std::string& base) const {
    auto it = reads_.find(base);
    return it == reads_.end() ? 0 : it->second;
  }
  void count_read(const std::string& path) {
    if (armed_) ++reads_[path_basename(path)];
  }

  std::unique_ptr<File> open(const std::string& p, const OpenOptions& o) override {
    tick();
    return std::make_unique<Wrapped>(*this, inner_.open(p, o));
  }
  bool remove(const std::string& p) override {
    tick();
    return inner_.remove(p);
  }
  bool rename(const std::string& a, const std::string& b) override {
    tick();
    return inner_.rename(a, b);
  }

 private:
  class Wrapped : public File {
   public:
    Wrapped(StoppingFs& fs, std::unique_ptr<File> f) : fs_(fs), f_(std::move(f)) {}
    const std::string& path() const override { return f_->path(); }
    uint64_t size() override { return f_->size(); }
    size_t read_at(uint64_t o, void* b, size_t n) override {
      fs_.count_read(f_->path());
      return f_->read_at(o, b, n);
    }
    void write_at(uint64_t o, const void* b, size_t n) override {
      fs_.tick();
      f_->write_at(o, b, n);
    }
    void truncate(uint64_t s) override {
      fs_.tick();
      f_->truncate(s);
    }
    void sync() override {
      fs_.tick();
      f_->sync();
    }
    bool lock(uint64_t o, uint64_t l, bool e) override { return f_->lock(o, l, e); }
    void unlock(uint64_t o, uint64_t l) override { f_->unlock(o, l); }

   private:
    StoppingFs& fs_;
    std::unique_ptr<File> f_;
  };
  int stop_at_;
  std::function<void()> at_stop_;
  int calls_ = 0;
  bool armed_ = false;
  std::map<std::string, int> reads_;
};

const std::vector<std::string> kIndexes = {"IPOCF.CDX", "IPOZC.CDX", "IPOZF.CDX", "IPOZR.CDX",
                                           "IPOZZ.CDX", "CIZA.NTX",  "NZAK.NTX"};

class IndexSwap : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = table_settings();
    fresh_folder();
  }
  void fresh_folder() {
    dir_ = std::make_unique<testutil::TempDir>();
    table_settings().default_folder = dir_->path();
    testutil::copy_fixture("small-mixed-bin-s1", dir_->path());
  }
  void TearDown() override {
    WorkAreas::instance().close_all();
    set_file_system(nullptr);
    table_settings() = saved_;
  }
  // Opens POZAD with its five CDX files and ZAK with two NTX files, exclusively, and gives
  // both a record that changes their keys, so a rebuild writes other bytes.
  void open_and_change() {
    WorkAreas& w = WorkAreas::instance();
    UseOptions o;
    o.shared = false;
    o.driver = "DBFCDX";
    w.select_free();
    ASSERT_TRUE(w.use("POZAD", "", o));
    for (const char* b : {"IPOCF", "IPOZC", "IPOZF", "IPOZR", "IPOZZ"})
      w.order_list_add(w.current(), b);
    pozad_ = w.current_table();
    o.driver = "DBFNTX";
    w.select_free();
    ASSERT_TRUE(w.use("ZAK", "", o));
    for (const char* b : {"CIZA", "NZAK"}) w.order_list_add(w.current(), b);
    zak_ = w.current_table();
    pozad_->append_blank();
    pozad_->put("CZAK", Value::number(1999000001));
    zak_->append_blank();
    zak_->put("CZAK", Value::number(1999000001));
    zak_->put("NAZD", Value::text("Chalupa s.r.o."));
    pozad_->commit();
    zak_->commit();
  }
  std::map<std::string, std::vector<char>> snapshot() const {
    std::map<std::string, std::vector<char>> s;
    for (const std::string& f : kIndexes) s[f] = testutil::read_file(dir_->file(f));
    return s;
  }
  std::unique_ptr<testutil::TempDir> dir_;
  TableSettings saved_;
  DbfTable* pozad_ = nullptr;
  DbfTable* zak_ = nullptr;
};

TEST_F(IndexSwap, OnePassAndAStopAnywhereLeavesEveryIndexOldOrNewNeverTorn) {
  // The bytes before and after a whole rebuild, and how many seam calls it makes.
  StoppingFs counter(native_file_system(), -1, [] {});
  set_file_system(&counter);
  open_and_change();
  const auto before = snapshot();
  counter.arm();
  pozad_->reindex();
  zak_->reindex();
  set_file_system(nullptr);
  const int calls = counter.calls();
  const auto after = snapshot();
  ASSERT_GT(calls, 10);
  // One pass over each table serves all its index files (the fixture's tables fit one read);
  // the second read is the first record, where the rebuild leaves the table.
  EXPECT_EQ(counter.reads_of("POZAD.DBF"), 2);
  EXPECT_EQ(counter.reads_of("ZAK.DBF"), 2);
  for (const std::string& f : kIndexes) {
    EXPECT_NE(before.at(f), after.at(f)) << f << " was not rebuilt with the new record";
    EXPECT_FALSE(native_file_system().exists(side_file_path(dir_->file(f)))) << f;
  }
  WorkAreas::instance().close_all();

  for (int stop = 1; stop <= calls; ++stop) {
    SCOPED_TRACE("stopped at seam call " + std::to_string(stop));
    fresh_folder();
    std::map<std::string, std::vector<char>> seen;
    StoppingFs stopping(native_file_system(), stop, [&] { seen = snapshot(); });
    set_file_system(&stopping);
    open_and_change();
    ASSERT_EQ(snapshot(), before);
    stopping.arm();
    EXPECT_THROW(
        {
          pozad_->reindex();
          zak_->reindex();
        },
        Stopped);
    for (const std::string& f : kIndexes)
      EXPECT_TRUE(seen.at(f) == before.at(f) || seen.at(f) == after.at(f)) << f << " is torn";
    WorkAreas::instance().close_all();
    set_file_system(nullptr);
  }
}

}  // namespace
