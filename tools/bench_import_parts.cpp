// bench_import's counting file system and its order document: "c" headers of 280 and "p" items
// of 145 Windows-1250 bytes, each field at its position in the record.
#include "tools/bench_import_parts.h"

#include <cstdio>
#include <random>

#include "import/order_document.h"
#include "platform/file/replace_file.h"
#include "platform/table/dbf_table.h"
#include "platform/text/codepage.h"

namespace bench_import {
namespace {

std::string kind_of(const std::string& path) {
  std::string base = xbase::path_basename(path);
  // A rebuilt index is written as its side file first: it counts as the index's own kind.
  const std::string side = xbase::path_basename(xbase::side_file_path(""));
  if (base.size() > side.size() && base.compare(base.size() - side.size(), side.size(), side) == 0)
    base.resize(base.size() - side.size());
  size_t dot = base.rfind('.');
  std::string ext = dot == std::string::npos ? std::string() : base.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return ext;
}

class CountingFile : public xbase::File {
 public:
  CountingFile(std::unique_ptr<xbase::File> inner, std::shared_ptr<IoTally> tally)
      : inner_(std::move(inner)), tally_(std::move(tally)), kind_(kind_of(inner_->path())) {}
  const std::string& path() const override { return inner_->path(); }
  uint64_t size() override { return inner_->size(); }
  size_t read_at(uint64_t off, void* buf, size_t n) override {
    ++tally_->all.reads;
    ++tally_->by_kind[kind_].reads;
    return inner_->read_at(off, buf, n);
  }
  void write_at(uint64_t off, const void* buf, size_t n) override {
    ++tally_->all.writes;
    ++tally_->by_kind[kind_].writes;
    tally_->all.bytes_written += n;
    tally_->by_kind[kind_].bytes_written += n;
    inner_->write_at(off, buf, n);
  }
  void truncate(uint64_t size) override { inner_->truncate(size); }
  void sync() override {
    ++tally_->all.flushes;
    ++tally_->by_kind[kind_].flushes;
    if (tally_->syncs) inner_->sync();
  }
  bool lock(uint64_t off, uint64_t len, bool exclusive) override {
    return inner_->lock(off, len, exclusive);
  }
  void unlock(uint64_t off, uint64_t len) override { inner_->unlock(off, len); }

 private:
  std::unique_ptr<xbase::File> inner_;
  std::shared_ptr<IoTally> tally_;
  std::string kind_;
};

size_t utf8_chars(const std::string& s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++n) xbase::next_utf8(s, i);
  return n;
}

// Puts text (UTF-8) at a position counted from 1, cut to the field's length.
void place(std::string& rec, size_t position, size_t length, const std::string& utf8) {
  std::string bytes = xbase::CodePage::cp1250().from_utf8(utf8);
  if (bytes.size() > length) bytes.resize(length);
  rec.replace(position - 1, bytes.size(), bytes);
}

std::string number(double v, int decimals) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

}  // namespace

std::unique_ptr<xbase::File> CountingFileSystem::open(const std::string& path,
                                                      const xbase::OpenOptions& opts) {
  auto file = std::make_unique<CountingFile>(inner_.open(path, opts), counts_);
  ++counts_->all.opens;
  ++counts_->by_kind[kind_of(path)].opens;
  return file;
}

IoTally IoTally::operator-(const IoTally& o) const {
  IoTally d;
  d.all = all - o.all;
  for (const auto& [kind, c] : by_kind) {
    auto it = o.by_kind.find(kind);
    d.by_kind[kind] = it == o.by_kind.end() ? c : c - it->second;
  }
  return d;
}

void existing_partners(const std::string& dir, size_t max_each, std::vector<Partner>* by_ico,
                       std::vector<Partner>* by_name) {
  xbase::TableOpenOptions o;
  o.share = xbase::ShareMode::kExclusive;
  auto t = xbase::DbfTable::open(xbase::path_join(dir, "DOOD.DBF"), o);
  for (t->go_top(); !t->eof() && (by_ico->size() < max_each || by_name->size() < max_each);
       t->skip()) {
    Partner p;
    p.ico = t->get("ICO").num();
    p.name = t->get_text("NAZD");
    if (p.ico > 0 && by_ico->size() < max_each)
      by_ico->push_back(p);
    else if (p.ico <= 0 && utf8_chars(p.name) <= 30 && by_name->size() < max_each)
      by_name->push_back(p);
  }
  t->close();
}

std::string make_document(int orders, int items, double first_czak,
                          const std::vector<Partner>& by_ico, const std::vector<Partner>& by_name,
                          const std::vector<std::string>& cards, unsigned seed, DocumentMix* mix) {
  std::mt19937 rng(seed);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  std::string doc;
  *mix = {};
  for (int k = 0; k < orders; ++k) {
    std::string czak = number(first_czak + k, 0);
    std::string h = "c" + std::string(import::kHeaderLength - 1, ' ');
    place(h, 3 + 10 - czak.size(), czak.size(), czak);
    place(h, 13, 10, "2026-12-0" + std::to_string(1 + k % 7));
    place(h, 33, 20, "Jan");
    place(h, 53, 30, "Zákazník");
    place(h, 113, 30, "Dlouhá " + std::to_string(k + 1));
    place(h, 143, 20, "Plzeň");
    place(h, 163, 6, "301 00");
    place(h, 169, 3, "CZ");
    place(h, 172, 15, "+420 777 123 456");
    place(h, 187, 30, "objednavky@example.cz");
    int kind = k % 3;
    if (kind == 0 && by_ico.empty()) kind = 2;
    if (kind == 1 && by_name.empty()) kind = 2;
    if (kind == 0) {
      const Partner& p = by_ico[pick(by_ico.size())];
      place(h, 83, 30, "Firma podle IČO");
      place(h, 217, 20, number(p.ico, 0));
      ++mix->by_ico;
    } else if (kind == 1) {
      place(h, 83, 30, by_name[pick(by_name.size())].name);
      ++mix->by_name;
    } else {
      // A name no partner has, and no ICO: a new partner numbered from POSCI.
      place(h, 83, 30, "Nový zákazník č. " + std::to_string(k + 1));
      ++mix->new_partners;
    }
    doc += h + "\r\n";
    for (int i = 0; i < items; ++i) {
      std::string p = "p" + std::string(import::kItemLength - 1, ' ');
      place(p, 3 + 10 - czak.size(), czak.size(), czak);
      place(p, 13, 16, cards[pick(cards.size())]);
      place(p, 29, 50, "Zboží z e-shopu č. " + std::to_string(i + 1));
      double price = static_cast<double>(100 + pick(50000)) / 100.0;
      place(p, 109, 13, number(price, 2));
      place(p, 122, 13, number(price * 1.21, 2));
      place(p, 135, 4, "21");
      place(p, 139, 6, std::to_string(1 + pick(9)));
      doc += p + "\r\n";
    }
  }
  return doc;
}

}  // namespace bench_import
