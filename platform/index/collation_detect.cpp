#include "platform/index/collation_detect.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "platform/file/file.h"
#include "platform/table/table_error.h"
#include "platform/text/codepage.h"

namespace xbase {
namespace {

// An index up to this many entries is read whole; a larger one in runs around sampled keys.
constexpr size_t kWholeIndex = 4000;
constexpr uint32_t kSampledRecords = 40;
constexpr int kRun = 16;

std::mutex& kept_mutex() {
  static std::mutex m;
  return m;
}
std::vector<std::string>& kept() {
  static std::vector<std::string> v;
  return v;
}

const char* name_of(const Collation* c) { return c ? c->name() : "binary"; }

int compare_under(const Collation* c, std::string_view a, std::string_view b, const CodePage& cp) {
  return (c ? *c : binary_collation()).compare(a, b, cp);
}

// In logical order: ascending, or descending for a descending order.
bool in_order(const Order& o, const Collation* c, std::string_view a, std::string_view b,
              const CodePage& cp) {
  int r = compare_under(c, a, b, cp);
  return o.descending() ? r >= 0 : r <= 0;
}

// A stored key as a message shows it: text in quotes without its trailing blanks.
std::string shown(const Order& o, const std::string& key, const CodePage& cp) {
  if (o.key_type() == 'C') {
    std::string s = key;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return "'" + cp.to_utf8(s) + "'";
  }
  Value v = o.decode(key);
  if (v.type() == Value::Type::kDate) return v.date_value().dtos();
  if (v.type() == Value::Type::kLogical) return v.log() ? ".T." : ".F.";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v.num());
  return buf;
}

// Puts an order's rules back as they were when detection leaves it, by any way.
class KeptRules {
 public:
  explicit KeptRules(Order& o) : o_(o), collation_(o.collation()), cases_(o.case_mapping()) {}
  ~KeptRules() {
    o_.set_collation(collation_);
    o_.set_case_mapping(cases_);
  }
  KeptRules(const KeptRules&) = delete;
  KeptRules& operator=(const KeptRules&) = delete;

 private:
  Order& o_;
  const Collation* collation_;
  CaseMapping cases_;
};

// Pairs of neighbouring distinct stored keys, in logical order.
using Pairs = std::vector<std::pair<std::string, std::string>>;

void add_pair(Pairs& pairs, const IndexKey& a, const IndexKey& b) {
  if (a.key != b.key) pairs.emplace_back(a.key, b.key);
}

std::vector<uint32_t> sampled_recnos(uint32_t count) {
  std::vector<uint32_t> out;
  if (count == 0) return out;
  uint32_t n = std::min(count, kSampledRecords);
  for (uint32_t i = 0; i < n; ++i)
    out.push_back(n == 1 ? 1 : 1 + static_cast<uint32_t>(uint64_t(count - 1) * i / (n - 1)));
  return out;
}

std::optional<std::string> key_of_record(Order& o, uint32_t recno, const RecordReader& read,
                                         bool* exists = nullptr) {
  std::optional<std::string> key;
  bool there = read(recno, [&](const RecordSource& rec) { key = o.key_of(rec); });
  if (exists) *exists = there;
  return key;
}

Pairs neighbour_pairs(Order& o, const std::vector<uint32_t>& samples, const RecordReader& read) {
  Pairs pairs;
  IndexKey prev, e;
  size_t walked = 0;
  if (!o.first(&prev)) return pairs;
  while (walked < kWholeIndex && o.next(&e)) {
    add_pair(pairs, prev, e);
    prev = e;
    ++walked;
  }
  if (walked < kWholeIndex) return pairs;
  // Large: runs after the keys of records spread over the table, and the end of the index.
  for (uint32_t recno : samples) {
    auto key = key_of_record(o, recno, read);
    if (!key || !o.seek(*key, &prev)) continue;
    for (int i = 0; i < kRun && o.next(&e); ++i) {
      add_pair(pairs, prev, e);
      prev = e;
    }
  }
  if (o.last(&e))
    for (int i = 0; i < kRun && o.prev(&prev); ++i) {
      add_pair(pairs, prev, e);
      e = prev;
    }
  return pairs;
}

// The first pair out of order under c, or nullptr.
const std::pair<std::string, std::string>* out_of_order(const Order& o, const Collation* c,
                                                        const Pairs& pairs, const CodePage& cp) {
  for (const auto& p : pairs)
    if (!in_order(o, c, p.first, p.second, cp)) return &p;
  return nullptr;
}

// The index holds key for recno (a unique order: for some record with that key).
bool holds(Order& o, const std::string& key, uint32_t recno) {
  if (o.find({key, recno})) return true;
  IndexKey e;
  return o.unique() && o.seek(key, &e) && e.key == key;
}

std::string file_name(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

[[noreturn]] void refuse(const Order& o, const std::string& why) {
  throw TableError(kErrWrite, 0, o.bag_path(),
                   "Index " + file_name(o.bag_path()) +
                       " byl vytvořen s jiným nastavením jazyka nebo kódové stránky (jiné "
                       "řazení nebo jiná velká písmena v klíčích), proto do něj program nic "
                       "nezapsal. Obnovte jej v programu Kontor na stanici se správným "
                       "nastavením, nebo se obraťte na podporu (dbftool reindex s řazením "
                       "Kontoru). Podrobnost: " +
                       why + ".");
}

}  // namespace

KeyRules find_key_rules(Order& order, const Collation* startup, const CodePage& cp,
                        uint32_t record_count, const RecordReader& read) {
  KeyRules rules;
  rules.collation = startup;
  const std::vector<uint32_t> samples = sampled_recnos(record_count);
  KeptRules kept_rules(order);
  if (order.key_type() == 'C') {
    const Collation* candidates[] = {startup,
                                     &binary_collation(),
                                     &czech_collation(),
                                     &czech_chars_collation(),
                                     &locale_collation(),
                                     &locale_chars_collation()};
    // Each candidate walks the index under its own comparisons (the walk checks the order
    // across pages as it goes); the first in whose order every neighbour pair is wins. Keys
    // out of order only rule a candidate out; any other fault of the walk is damage, and
    // stops the detection with its own error.
    std::string first_pair;
    bool fits = false;
    for (const Collation* c : candidates) {
      order.set_collation(c);
      Pairs pairs;
      try {
        pairs = neighbour_pairs(order, samples, read);
      } catch (const KeyOrderError&) {
        continue;
      }
      if (const auto* p = out_of_order(order, c, pairs, cp)) {
        if (first_pair.empty())
          first_pair =
              ", např. " + shown(order, p->first, cp) + " před " + shown(order, p->second, cp);
        continue;
      }
      rules.collation = c;
      fits = true;
      break;
    }
    if (!fits) {
      rules.fits = false;
      rules.problem = "uložené klíče nejsou v žádném známém řazení" + first_pair;
      return rules;
    }
  }
  // The case mapping, sought with the order's comparisons in the collation just found.
  order.set_collation(rules.collation);
  int code_page_hits = 0, ascii_hits = 0;
  for (uint32_t recno : samples) {
    order.set_case_mapping(CaseMapping::kCodePage);
    bool exists = false;
    auto full = key_of_record(order, recno, read, &exists);
    order.set_case_mapping(CaseMapping::kAscii);
    auto ascii = key_of_record(order, recno, read);
    if (!exists || !full) continue;
    bool full_held = holds(order, *full, recno);
    bool ascii_held = ascii && *ascii != *full && holds(order, *ascii, recno);
    if (!full_held && !ascii_held) {
      rules.fits = false;
      rules.problem = "záznam " + std::to_string(recno) + " má v indexu jiný klíč než " +
                      shown(order, *full, cp);
      break;
    }
    if (ascii && *ascii != *full) (ascii_held ? ascii_hits : code_page_hits)++;
  }
  if (rules.fits && ascii_hits > 0) {
    if (code_page_hits > 0) {
      rules.fits = false;
      rules.problem = "klíče mají velká písmena převedená dvojím způsobem";
    } else {
      rules.case_mapping = CaseMapping::kAscii;
    }
  }
  return rules;
}

void apply_key_rules(Order& order, const KeyRules& rules, const Collation* startup) {
  if (!rules.fits) {
    order.set_refusal(rules.problem);
    return;
  }
  order.set_refusal({});
  order.set_damage(std::nullopt);
  order.set_collation(rules.collation);
  order.set_case_mapping(rules.case_mapping);
  if (order.key_type() == 'C' && std::string(name_of(rules.collation)) != name_of(startup)) {
    std::lock_guard<std::mutex> lock(kept_mutex());
    std::string line =
        file_name(order.bag_path()) + " (" + order.tag_name() + "): " + name_of(rules.collation);
    if (std::find(kept().begin(), kept().end(), line) == kept().end()) kept().push_back(line);
  }
}

void refuse_if_unfit(const Order& order) {
  if (order.damage()) throw *order.damage();
  if (!order.refusal().empty()) refuse(order, order.refusal());
}

void check_insert(Order& order, const std::string& key, const CodePage& cp,
                  const RecordReader& read, VerifiedKeys* verified) {
  refuse_if_unfit(order);
  IndexKey next, prev;
  bool has_next = false, has_prev = false;
  try {
    has_next = order.seek(key, &next);
    has_prev = has_next ? order.prev(&prev) : order.last(&prev);
  } catch (const KeyOrderError&) {
    refuse(order, "klíče vedle nového " + shown(order, key, cp) + " nejsou v pořadí");
  }
  const Collation* c = order.collation();
  if (has_prev && !in_order(order, c, prev.key, key, cp))
    refuse(order, "uložený klíč " + shown(order, prev.key, cp) + " nepatří před nový " +
                      shown(order, key, cp));
  if (has_next && !in_order(order, c, key, next.key, cp))
    refuse(order, "uložený klíč " + shown(order, next.key, cp) + " nepatří za nový " +
                      shown(order, key, cp));
  for (const IndexKey* e : {has_prev ? &prev : nullptr, has_next ? &next : nullptr}) {
    if (!e) continue;
    if (verified) {
      auto it = verified->find(e->recno);
      if (it != verified->end() && it->second == e->key) continue;
    }
    bool exists = false;
    auto evaluated = key_of_record(order, e->recno, read, &exists);
    if (!exists) refuse(order, "záznam " + std::to_string(e->recno) + " z indexu v tabulce není");
    if (!evaluated || *evaluated != e->key)
      refuse(order, "záznam " + std::to_string(e->recno) + " má v indexu klíč " +
                        shown(order, e->key, cp) + ", který neodpovídá jeho údajům");
    if (verified) (*verified)[e->recno] = e->key;
  }
}

std::string key_rules_text(const KeyRules& rules) {
  if (!rules.fits) return "none (" + rules.problem + ")";
  return std::string(name_of(rules.collation)) +
         (rules.case_mapping == CaseMapping::kAscii ? "/ascii-case" : "/codepage-case");
}

std::vector<std::string> orders_kept_otherwise() {
  std::lock_guard<std::mutex> lock(kept_mutex());
  return kept();
}

void reset_orders_kept_otherwise() {
  std::lock_guard<std::mutex> lock(kept_mutex());
  kept().clear();
}

}  // namespace xbase
