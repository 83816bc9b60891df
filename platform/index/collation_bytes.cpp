// Collations that weigh each byte alone by a table made from the order of the code page's
// single characters, as a runtime gets it by sorting the 256 characters with the system's
// comparison once.
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/index/collation.h"
#include "platform/text/codepage.h"

namespace xbase {
namespace {

using Weights = std::array<int, 256>;

Weights make_weights(const ByteCompare& compare, const CodePage& cp) {
  // Counting instead of sorting: a comparison that is no strict order still gives weights.
  Weights w{};
  for (int b = 0; b < 256; ++b)
    for (int x = 0; x < 256; ++x)
      if (compare(static_cast<unsigned char>(x), static_cast<unsigned char>(b), cp) < 0) ++w[b];
  return w;
}

class PerByteCollation : public Collation {
 public:
  PerByteCollation(const char* name, ByteCompare compare)
      : name_(name), compare_(std::move(compare)) {}
  const char* name() const override { return name_; }
  int compare(std::string_view a, std::string_view b, const CodePage& cp) const override {
    const Weights& w = weights(cp);
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
      int x = w[static_cast<unsigned char>(a[i])];
      int y = w[static_cast<unsigned char>(b[i])];
      if (x != y) return x < y ? -1 : 1;
    }
    int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (c != 0) return c < 0 ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }

 private:
  struct Made {
    int code_page;
    Weights weights;
  };

  // A run compares in one code page: the last one made is found without the lock.
  const Weights& weights(const CodePage& cp) const {
    const Made* last = last_.load(std::memory_order_acquire);
    if (last && last->code_page == cp.number()) return last->weights;
    std::lock_guard<std::mutex> lock(mu_);
    const Made* found = nullptr;
    for (const auto& m : made_)
      if (m->code_page == cp.number()) found = m.get();
    if (!found) {
      made_.push_back(std::make_unique<Made>(Made{cp.number(), make_weights(compare_, cp)}));
      found = made_.back().get();
    }
    last_.store(found, std::memory_order_release);
    return found->weights;
  }

  const char* name_;
  ByteCompare compare_;
  mutable std::mutex mu_;
  mutable std::vector<std::unique_ptr<Made>> made_;
  mutable std::atomic<const Made*> last_{nullptr};
};

}  // namespace

std::unique_ptr<Collation> per_byte_collation(const char* name, ByteCompare compare) {
  return std::make_unique<PerByteCollation>(name, std::move(compare));
}

}  // namespace xbase
