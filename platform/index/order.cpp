#include "platform/index/order.h"

#include <algorithm>
#include <atomic>
#include <exception>
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
  return encode(key_expr_->evaluate(r));
}

void IndexBag::rebuild(RecordScanner& table) { rebuild_bags({this}, table); }

void rebuild_bags(const std::vector<IndexBag*>& bags, RecordScanner& table) {
  if (bags.empty()) return;
  std::vector<std::unique_ptr<BagRebuild>> work;
  for (IndexBag* b : bags) work.push_back(b->begin_rebuild());
  table.scan([&](const RecordSource& rec) {
    for (auto& w : work) w->gather(rec);
  });

  // Sorting is most of the processor time; the orders share nothing while they sort.
  std::vector<std::pair<BagRebuild*, size_t>> jobs;
  for (auto& w : work)
    for (size_t i = 0; i < w->orders(); ++i) jobs.emplace_back(w.get(), i);
  std::vector<std::exception_ptr> failed(jobs.size());
  std::atomic<size_t> next{0};
  auto sorter = [&] {
    for (size_t i; (i = next++) < jobs.size();) {
      try {
        jobs[i].first->sort(jobs[i].second);
      } catch (...) {
        failed[i] = std::current_exception();
      }
    }
  };
  const size_t threads =
      std::min<size_t>(jobs.size(), std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> pool;
  for (size_t t = 1; t < threads; ++t) pool.emplace_back(sorter);
  sorter();
  for (std::thread& t : pool) t.join();
  for (auto& f : failed)
    if (f) std::rethrow_exception(f);

  // One file after the other, in the bags' order: the same calls in the same order each time.
  for (auto& w : work) w->write();
}

}  // namespace xbase
