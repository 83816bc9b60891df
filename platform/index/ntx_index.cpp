// NTX open, create, close and the key forms of its single order (see ntx_format.h for the
// header bytes and ntx_keys.cpp for the numeric key text).
#include "platform/index/ntx_index.h"

#include <cstring>

#include "platform/file/file.h"
#include "platform/text/codepage.h"

namespace xbase {
namespace ntx {

namespace {

std::string upper_ascii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string default_tag(const std::string& path) {
  std::string t = upper_ascii(path_stem(path));
  if (t.size() > static_cast<size_t>(kMaxTagName)) t.resize(kMaxTagName);
  return t;
}

std::unique_ptr<File> open_file(const std::string& path, const OpenOptions& oo) {
  try {
    return file_system().open(path, oo);
  } catch (const FileError& e) {
    throw TableError(oo.create ? kErrCreate : kErrOpen, e.os_code(), path, e.what());
  }
}

std::unique_ptr<KeyExpression> compile_expr(const std::string& path, const std::string& what,
                                            const std::string& text, const RecordSource& schema) {
  try {
    return KeyExpression::compile(text, schema);
  } catch (const ExpressionError& e) {
    throw TableError(kErrOpen, 0, path,
                     what + " \"" + text + "\" cannot be evaluated: " + e.what());
  }
}

}  // namespace

NtxIndex::~NtxIndex() {
  try {
    close();
  } catch (...) {
    // A destructor must not throw; close() explicitly to see errors.
  }
}

Order& NtxIndex::order(size_t i) {
  if (i != 0) throw TableError(kErrNoTable, 0, path_, "an NTX file holds a single order");
  return *this;
}

void NtxIndex::compile(const RecordSource& schema) {
  key_expr_ = compile_expr(path_, "key expression", key_text_, schema);
  if (key_expr_->result_length() > kMaxKeyLength)
    throw TableError(kErrOpen, 0, path_,
                     "key expression \"" + key_text_ + "\" gives keys of " +
                         std::to_string(key_expr_->result_length()) +
                         " bytes; an NTX key holds at most 256");
  for_expr_.reset();
  if (!for_text_.empty()) for_expr_ = compile_expr(path_, "FOR expression", for_text_, schema);
  type_ = key_expr_->result_type();
  cp_ = &schema.codepage();
}

void NtxIndex::adopt(std::unique_ptr<PageStore> store, const Header& h) {
  store_ = std::move(store);
  store_->init(h);
  path_ = store_->path();
  key_text_ = h.key_expr;
  for_text_ = h.for_expr;
  tag_ = h.tag.empty() ? default_tag(path_) : upper_ascii(h.tag);
}

std::unique_ptr<NtxIndex> NtxIndex::open(const std::string& path, const RecordSource& schema,
                                         const IndexOptions& options) {
  OpenOptions oo;
  oo.share = options.share;
  oo.read_only = options.read_only;
  bool shared = options.share == ShareMode::kShared;
  auto store = std::make_unique<PageStore>(open_file(path, oo), path, shared, options.read_only);
  if (shared) store->lock(false);
  PageBytes page{};
  size_t n = 0;
  uint64_t size = 0;
  try {
    n = store->file().read_at(0, page.data(), page.size());
    size = store->file().size();
  } catch (const FileError& e) {
    store->unlock();
    throw TableError(kErrRead, e.os_code(), path, e.what());
  }
  store->unlock();
  if (n < kPageSize)
    throw TableError(kErrCorruption, 0, path,
                     "header: file ends inside the header page (" + std::to_string(n) + " bytes)");
  Header h;
  std::string fault = parse_header(page, &h);
  if (fault.empty()) {
    fault = check_ref(h.root, size);
    if (!fault.empty()) fault = "root: " + fault;
  }
  if (fault.empty() && h.free_head != 0) {
    fault = check_ref(h.free_head, size);
    if (!fault.empty()) fault = "free list: " + fault;
  }
  if (!fault.empty()) throw TableError(kErrCorruption, 0, path, "header: " + fault);

  std::unique_ptr<NtxIndex> ix(new NtxIndex());
  ix->collation_ = options.collation;
  ix->adopt(std::move(store), h);
  ix->compile(schema);
  return ix;
}

std::unique_ptr<NtxIndex> NtxIndex::create(const std::string& path, const OrderDefinition& def,
                                           RecordScanner& table, const IndexOptions& options) {
  if (options.read_only) throw TableError(kErrCreate, 0, path, "cannot create a read-only index");
  if (def.expression.empty() || def.expression.size() >= static_cast<size_t>(kMaxExpression))
    throw TableError(kErrCreate, 0, path, "key expression empty or too long");
  if (def.for_expression.size() >= static_cast<size_t>(kMaxExpression))
    throw TableError(kErrCreate, 0, path, "FOR expression too long");
  const RecordSource& schema = table.schema();
  auto key = compile_expr(path, "key expression", def.expression, schema);
  Header h;
  h.key_expr = def.expression;
  h.for_expr = def.for_expression;
  h.signature = static_cast<uint16_t>(kSigBase | (h.for_expr.empty() ? 0 : kSigFor));
  h.unique = def.unique;
  h.descending = def.descending;
  int len = 0;
  switch (key->result_type()) {
    case 'C':
      len = key->result_length();
      break;
    case 'N':
      len = key->result_length();
      h.key_decimals = static_cast<uint16_t>(key->result_decimals());
      break;
    case 'D':
      len = 8;
      break;
    case 'L':
      len = 1;
      break;
  }
  if (len < 1 || len > kMaxKeyLength)
    throw TableError(
        kErrCreate, 0, path,
        "key expression \"" + def.expression + "\" gives keys of length " + std::to_string(len));
  h.key_length = static_cast<uint16_t>(len);
  h.item_size = static_cast<uint16_t>(len + 8);
  h.max_keys = static_cast<uint16_t>(max_keys_for(len));
  h.half_page = static_cast<uint16_t>(h.max_keys / 2);
  h.tag = def.tag.empty() ? default_tag(path) : upper_ascii(def.tag).substr(0, kMaxTagName);

  OpenOptions oo;
  oo.share = options.share;
  oo.create = true;
  oo.truncate = true;
  bool shared = options.share == ShareMode::kShared;
  auto store = std::make_unique<PageStore>(open_file(path, oo), path, shared, false);
  std::unique_ptr<NtxIndex> ix(new NtxIndex());
  ix->collation_ = options.collation;
  ix->adopt(std::move(store), h);
  ix->compile(schema);
  ix->rebuild(table);
  return ix;
}

class Rebuild : public BagRebuild {
 public:
  explicit Rebuild(NtxIndex& ix) : ix_(ix) {
    PageStore& s = *ix_.store_;
    if (s.shared()) s.lock(true);
    try {
      // The version must advance past what other handles have seen.
      if (s.shared() && s.file().size() >= kPageSize) s.refresh();
    } catch (...) {
      s.unlock();
      throw;
    }
  }
  ~Rebuild() override {
    if (done_) return;
    try {
      ix_.store_->unlock();
    } catch (const TableError&) {
      // The rebuild already failed; that error is the one to report.
    }
  }
  void gather(const RecordSource& rec) override {
    auto k = ix_.key_of(rec);
    if (!k) return;
    keys_.width = static_cast<size_t>(ix_.key_length());
    if (k->size() != keys_.width)
      throw TableError(kErrDataWidth, 0, ix_.path_, "NTX index: a key of another length");
    keys_.bytes += *k;
    keys_.recnos.push_back(rec.recno());
  }
  size_t orders() const override { return 1; }
  void sort(size_t) override { ix_.sort_for_build(keys_); }
  void write() override {
    ix_.write_built(std::move(keys_));
    done_ = true;
    ix_.store_->unlock();
    ix_.has_cursor_ = false;
  }

 private:
  NtxIndex& ix_;
  NtxIndex::BuildKeys keys_;
  bool done_ = false;
};

std::unique_ptr<BagRebuild> NtxIndex::begin_rebuild() {
  if (closed_) throw TableError(kErrNoTable, 0, path_, "index is closed");
  if (store_->read_only()) throw TableError(kErrReadOnly, 0, path_, "index opened read-only");
  return std::make_unique<Rebuild>(*this);
}

void NtxIndex::flush() {
  if (closed_) return;
  if (!store_->shared()) store_->write_out();
  store_->sync();
}

void NtxIndex::close() {
  if (closed_) return;
  flush();
  closed_ = true;
  has_cursor_ = false;
  store_->release_file();
}

std::string NtxIndex::encode(const Value& v) const {
  const size_t len = static_cast<size_t>(key_length());
  auto mismatch = [&](const char* want) -> TableError {
    return TableError(kErrDataType, 0, path_,
                      "order " + tag_ + " has " + want + " keys; the value is of another type");
  };
  std::string s;
  switch (type_) {
    case 'N':
      if (v.type() != Value::Type::kNumber) throw mismatch("numeric");
      return number_key(v.num(), static_cast<int>(len), key_decimals());
    case 'D':
      if (v.type() != Value::Type::kDate) throw mismatch("date");
      s = v.date_value().dtos();
      break;
    case 'L':
      if (v.type() != Value::Type::kLogical) throw mismatch("logical");
      s = v.log() ? "T" : "F";
      break;
    default:
      if (v.type() != Value::Type::kChar) throw mismatch("character");
      s = v.str();
      break;
  }
  s.resize(len, ' ');
  return s;
}

Value NtxIndex::decode(std::string_view key) const {
  switch (type_) {
    case 'N':
      return Value::number(key_number(key));
    case 'D':
      return Value::date(Date::from_dtos(std::string(key)));
    case 'L':
      return Value::logical(!key.empty() && (key[0] == 'T' || key[0] == 't'));
    default:
      return Value::text(std::string(key));
  }
}

int NtxIndex::compare_keys(std::string_view a, std::string_view b) const {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  a = a.substr(0, n);
  b = b.substr(0, n);
  if (type_ == 'C' && collation_) return collation_->compare(a, b, *cp_);
  int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int NtxIndex::tree_compare(std::string_view a, std::string_view b) const {
  int c = compare_keys(a, b);
  return store_->header().descending ? -c : c;
}

void NtxIndex::fail_loop(uint32_t page) const {
  store_->fail(page, "tree deeper than " + std::to_string(kMaxDepth) +
                         " levels or a page reached twice: page pointers form a loop");
}

void NtxIndex::push(Path& path, uint32_t page, int idx) const {
  if (path.size() >= static_cast<size_t>(kMaxDepth)) fail_loop(page);
  for (const Step& s : path)
    if (s.page == page) fail_loop(page);
  path.push_back({page, idx});
}

}  // namespace ntx

std::unique_ptr<IndexBag> open_ntx(const std::string& path, const RecordSource& schema,
                                   const IndexOptions& options) {
  return ntx::NtxIndex::open(path, schema, options);
}

std::unique_ptr<IndexBag> create_ntx(const std::string& path, const OrderDefinition& order,
                                     RecordScanner& table, const IndexOptions& options) {
  return ntx::NtxIndex::create(path, order, table, options);
}

}  // namespace xbase
