// Opening and creating CDX files: the directory tag at offset 0 (tag names, upper case and
// blank padded to 10, whose record numbers are the offsets of the tags' 1024-byte headers)
// and the tags it lists, in the order of their header offsets (their creation order).
#include "platform/index/cdx_bag.h"

#include <algorithm>
#include <set>

#include "platform/table/table_error.h"

namespace xbase::cdx {
namespace {

std::string trim_right(std::string_view v) {
  std::string s(v);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

std::unique_ptr<Store> open_store(const std::string& path, const IndexOptions& options,
                                  bool create) {
  OpenOptions o;
  o.share = options.share;
  o.read_only = options.read_only && !create;
  o.create = create;
  o.truncate = create;
  std::unique_ptr<File> file;
  try {
    file = file_system().open(path, o);
  } catch (const FileError& e) {
    std::string what = e.what();
    if (what.rfind(path + ": ", 0) == 0) what.erase(0, path.size() + 2);
    throw TableError(create ? kErrCreate : kErrOpen, e.os_code(), path, what);
  }
  return std::make_unique<Store>(std::move(file), path, options.share == ShareMode::kShared,
                                 o.read_only);
}

}  // namespace

Bag::Bag(std::string path, std::unique_ptr<Store> store, const Collation* collation)
    : path_(std::move(path)), store_(std::move(store)), collation_(collation) {}

Bag::~Bag() {
  try {
    close();
  } catch (const TableError&) {
    // A destructor cannot report; close() explicitly to see the error.
  }
}

void Bag::load(const RecordSource& schema) {
  ReadScope lock(*store_);
  if (store_->end() < kHeaderSize + kPageSize)
    fail_page(path_, kNoPage, "file is too short for a directory and a tag");
  uint8_t hdr[kHeaderSize];
  store_->read_exact(0, hdr, kHeaderSize);
  TagInfo dir = parse_tag_header(hdr, 0, path_);
  if (dir.key_length != kTagNameLength || !(dir.options & kOptCompound))
    fail_page(path_, kNoPage, "offset 0 holds no tag directory");

  // The directory's tree, in key order; the walk refuses loops and pages seen twice.
  const KeyShape shape{kTagNameLength, ' '};
  std::vector<std::pair<uint32_t, std::string>> found;
  std::set<uint32_t> seen;
  std::function<void(uint32_t, int)> walk = [&](uint32_t page, int depth) {
    if (depth > 16 || !seen.insert(page).second)
      fail_page(path_, page, "tag directory loops back on itself");
    Node& n = store_->load(page, shape);
    std::vector<Entry> entries = n.entries;
    for (const Entry& e : entries) {
      if (n.leaf)
        found.emplace_back(e.recno, trim_right(e.key));
      else
        walk(e.child, depth + 1);
    }
  };
  walk(dir.root, 0);
  std::sort(found.begin(), found.end());
  for (size_t i = 0; i < found.size(); ++i) {
    auto& [offset, name] = found[i];
    if (name.empty()) fail_page(path_, kNoPage, "tag directory holds an empty tag name");
    if (offset % kPageSize != 0 || offset < kHeaderSize || offset + kHeaderSize > store_->end())
      fail_page(
          path_, kNoPage,
          "tag " + name + ": header offset " + std::to_string(offset) + " is not in the file");
    if (i > 0 && found[i - 1].first == offset)
      fail_page(path_, kNoPage, "tags " + found[i - 1].second + " and " + name + " share a header");
    store_->read_exact(offset, hdr, kHeaderSize);
    TagInfo info = parse_tag_header(hdr, offset, path_);
    info.name = name;
    store_->check_page(info.root, ("root of tag " + name).c_str());
    tags_.push_back(std::make_unique<Tag>(*store_, offset, std::move(info), schema, collation_));
  }
}

void Bag::flush() {
  if (closed_) return;
  if (store_->flush()) store_->sync();
}

void Bag::close() {
  if (closed_) return;
  closed_ = true;
  try {
    if (store_->flush()) store_->sync();
  } catch (...) {
    store_->close();
    throw;
  }
  store_->close();
}

namespace {

class Rebuild : public BagRebuild {
 public:
  explicit Rebuild(Bag& bag) : lock_(bag.store()), store_(bag.store()) {
    for (auto& t : bag.tags()) tags_.push_back(t.get());
    keys_.keys.resize(tags_.size());
    // Read under the lock: the counter must move past what every other station has seen.
    counter_ = store_.counter() + 1;
  }
  void gather(const RecordSource& rec) override { keys_.gather(tags_, rec); }
  size_t orders() const override { return tags_.size(); }
  void sort(size_t i) override { keys_.sort(tags_, i); }
  void prepare() override {
    file_ = lay_out_file(store_.path(), tags_, keys_, counter_);
    keys_ = BuildKeys{};
  }
  void write() override {
    if (file_.image.empty()) prepare();
    put_file(store_, tags_, file_);
    file_ = BuiltFile{};
    lock_.commit();  // held exclusively, the new file was synced before it was swapped in
  }

 private:
  WriteScope lock_;
  Store& store_;
  std::vector<Tag*> tags_;
  BuildKeys keys_;
  BuiltFile file_;
  uint32_t counter_ = 0;
};

}  // namespace

std::unique_ptr<BagRebuild> Bag::begin_rebuild() {
  if (closed_) throw TableError(kErrNoTable, 0, path_, "index is closed");
  return std::make_unique<Rebuild>(*this);
}

void Bag::build(RecordScanner& table, bool fresh) {
  WriteScope lock(*store_);
  std::vector<Tag*> tags;
  for (auto& t : tags_) tags.push_back(t.get());
  // Read under the lock: the counter must move past what every other station has seen.
  build_file(*store_, tags, table, fresh ? 0 : store_->counter() + 1);
  lock.commit();  // held exclusively, the new file was synced before it was swapped in
}

}  // namespace xbase::cdx

namespace xbase {

std::unique_ptr<IndexBag> open_cdx(const std::string& path, const RecordSource& schema,
                                   const IndexOptions& options) {
  auto bag =
      std::make_unique<cdx::Bag>(path, cdx::open_store(path, options, false), options.collation);
  bag->load(schema);
  return bag;
}

std::unique_ptr<IndexBag> create_cdx(const std::string& path,
                                     const std::vector<OrderDefinition>& orders,
                                     RecordScanner& table, const IndexOptions& options) {
  using namespace cdx;
  const RecordSource& schema = table.schema();
  // Definitions are checked before the file is touched.
  std::vector<TagInfo> infos;
  std::set<std::string> names;
  for (const OrderDefinition& def : orders) {
    TagInfo info;
    info.name = directory_name(def.tag.empty() ? path_stem(path) : def.tag);
    info.expression = def.expression;
    info.for_expression = def.for_expression;
    info.descending = def.descending;
    info.options = static_cast<uint8_t>(kOptCompact | kOptCompound | (def.unique ? kOptUnique : 0) |
                                        (def.for_expression.empty() ? 0 : kOptFor));
    auto fail = [&](const std::string& what) {
      throw TableError(kErrCreate, 0, path, "CDX tag " + info.name + ": " + what);
    };
    if (info.name.empty()) fail("no tag name");
    if (!names.insert(info.name).second) fail("tag name given twice");
    if (info.expression.size() + info.for_expression.size() + 2 > 510)
      fail("key and FOR expressions are too long");
    std::unique_ptr<KeyExpression> expr;
    try {
      expr = KeyExpression::compile(info.expression, schema);
    } catch (const ExpressionError& e) {
      fail("cannot evaluate key expression '" + info.expression + "': " + e.what());
    }
    switch (expr->result_type()) {
      case 'C':
        info.key_length = expr->result_length();
        if (info.key_length < 1 || info.key_length > kMaxKeyLength)
          fail("key of " + std::to_string(info.key_length) + " bytes ('" + info.expression +
               "'); a CDX key holds 1 to 240");
        break;
      case 'L':
        info.key_length = 1;
        break;
      default:
        info.key_length = 8;
    }
    infos.push_back(std::move(info));
  }
  auto bag = std::make_unique<Bag>(path, open_store(path, options, true), options.collation);
  bag->store().created();
  for (TagInfo& info : infos)
    bag->tags().push_back(
        std::make_unique<Tag>(bag->store(), 0, std::move(info), schema, options.collation));
  bag->build(table, true);
  return bag;
}

}  // namespace xbase
