#include "platform/index/order.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <numeric>
#include <thread>

#include "platform/text/codepage.h"

namespace xbase {
namespace {

// The record as it is, but with the ASCII-only case mapping of its code page.
class AsciiCaseRecord : public RecordSource {
 public:
  explicit AsciiCaseRecord(const RecordSource& rec)
      : rec_(rec), cp_(CodePage::ascii_case(rec.codepage().number())) {}
  int field_count() const override { return rec_.field_count(); }
  const FieldInfo& field_info(int index) const override { return rec_.field_info(index); }
  int field_index(std::string_view name) const override { return rec_.field_index(name); }
  Value raw_value(int index) const override { return rec_.raw_value(index); }
  bool append_raw_text(int index, std::string& out) const override {
    return rec_.append_raw_text(index, out);
  }
  uint32_t recno() const override { return rec_.recno(); }
  bool deleted() const override { return rec_.deleted(); }
  const CodePage& codepage() const override { return cp_; }

 private:
  const RecordSource& rec_;
  const CodePage& cp_;
};

}  // namespace

std::optional<std::string> Order::key_of(const RecordSource& rec) const {
  std::optional<AsciiCaseRecord> ascii;
  if (case_mapping_ == CaseMapping::kAscii) ascii.emplace(rec);
  const RecordSource& r = ascii ? static_cast<const RecordSource&>(*ascii) : rec;
  if (for_expr_) {
    Value cond = for_expr_->evaluate(r);
    if (cond.type() == Value::Type::kLogical && !cond.log()) return std::nullopt;
  }
  std::string text;
  if (key_expr_->result_type() == 'C' && key_expr_->append_text(r, text))
    return encode(Value::text(std::move(text)));
  return encode(key_expr_->evaluate(r));
}

void IndexBag::rebuild(RecordScanner& table) { rebuild_bags({this}, table); }

namespace {

// Runs job(0) .. job(count - 1) on up to as many threads as the machine has cores; a failure
// is rethrown after all have ended, the first in job order.
void run_jobs(size_t count, const std::function<void(size_t)>& job) {
  std::vector<std::exception_ptr> failed(count);
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t i; (i = next++) < count;) {
      try {
        job(i);
      } catch (...) {
        failed[i] = std::current_exception();
      }
    }
  };
  const size_t threads = std::min<size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> pool;
  pool.reserve(threads);  // before any thread runs: a failure here leaves none to join
  for (size_t t = 1; t < threads; ++t) {
    try {
      pool.emplace_back(worker);
    } catch (...) {
      break;  // no thread to be had (memory, handles): the ones started and this one do it all
    }
  }
  worker();
  for (std::thread& t : pool) t.join();
  for (auto& f : failed)
    if (f) std::rethrow_exception(f);
}

// Below this many records a run's keys are made on the calling thread.
constexpr size_t kRunForThreads = 256;

}  // namespace

void rebuild_bags(const std::vector<IndexBag*>& bags, RecordScanner& table) {
  if (bags.empty()) return;
  std::vector<std::unique_ptr<BagRebuild>> work;
  for (IndexBag* b : bags) work.push_back(b->begin_rebuild());

  // Keys are most of the pass's processor time; each bag makes its own from the shared run.
  // The bags whose keys took longest in the last run go first, so that the threads end
  // together (the first run takes them in order).
  std::vector<double> took(work.size(), 0.0);
  std::vector<size_t> by_cost(work.size());
  std::iota(by_cost.begin(), by_cost.end(), size_t{0});
  table.scan_runs([&](const std::vector<const RecordSource*>& run) {
    auto gather = [&](size_t b) {
      for (const RecordSource* rec : run) work[b]->gather(*rec);
    };
    if (run.size() < kRunForThreads || work.size() == 1) {
      for (size_t b = 0; b < work.size(); ++b) gather(b);
    } else {
      std::stable_sort(by_cost.begin(), by_cost.end(),
                       [&](size_t a, size_t b) { return took[a] > took[b]; });
      run_jobs(work.size(), [&](size_t j) {
        const auto start = std::chrono::steady_clock::now();
        gather(by_cost[j]);
        took[by_cost[j]] =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      });
    }
  });

  // The orders share nothing while they sort, nor the bags while they lay out their pages. A
  // bag is laid out by the thread that sorts its last order, with no wait for the other bags'
  // sorts (a bag without orders is a job of its own).
  std::vector<std::pair<size_t, size_t>> jobs;  // bag, order (kNone: the layout alone)
  constexpr size_t kNone = ~size_t{0};
  std::vector<std::atomic<size_t>> unsorted(work.size());
  for (size_t b = 0; b < work.size(); ++b) {
    unsorted[b] = work[b]->orders();
    if (unsorted[b] == 0) jobs.emplace_back(b, kNone);
    for (size_t i = 0; i < work[b]->orders(); ++i) jobs.emplace_back(b, i);
  }
  run_jobs(jobs.size(), [&](size_t j) {
    const auto [b, i] = jobs[j];
    if (i != kNone) {
      work[b]->sort(i);
      if (--unsorted[b] != 0) return;
    }
    work[b]->prepare();
  });

  // One file after the other, in the bags' order: the same calls in the same order each time.
  for (auto& w : work) w->write();
}

}  // namespace xbase
