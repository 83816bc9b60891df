// Every CDX of every fixture folder, written by the independent engine, read by our layer:
// the same keys and record numbers in the same order as its own dump (_keys.txt), both
// directions, seeks, finds, counts, levels and a clean verify; bulk builds over the same
// tables give the same keys, and for the indexes that engine built in bulk, the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>

#include "platform/index/cdx_node.h"
#include "platform/index/cdx_test_support.h"
#include "platform/table/dbf_table.h"
#include "platform/table/table_error.h"
#include "tests/support/test_util.h"

namespace xbase {
namespace {

struct Expected {
  std::string table, file, tag, expr;
  char type = 'C';
  int keylen = 0;
  size_t count = 0;
  int levels = 0;
  std::vector<std::pair<std::string, uint32_t>> lines;  // key text (UTF-8, unescaped), recno
};

std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    if (c == 'n')
      out += '\n';
    else if (c == 'r')
      out += '\r';
    else if (c == 't')
      out += '\t';
    else if (c == 'x' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string field(const std::string& head, const std::string& name) {
  size_t p = head.find(" " + name + "=");
  if (p == std::string::npos) return "";
  p += name.size() + 2;
  size_t e = head.find(" ", p);
  // expr= may hold blanks: it runs up to " keys=".
  if (name == "expr") e = head.find(" keys=", p);
  return head.substr(p, e == std::string::npos ? std::string::npos : e - p);
}

std::vector<Expected> expected_cdx(const std::string& folder) {
  std::vector<Expected> out;
  std::istringstream keys(testutil::read_text(testutil::fixture(folder) + "/_keys.txt"));
  std::string check = testutil::read_text(testutil::fixture(folder) + "/_check.txt");
  std::string line;
  Expected* cur = nullptr;
  while (std::getline(keys, line)) {
    if (line.rfind("## ", 0) == 0) {
      cur = nullptr;
      std::istringstream h(line.substr(3));
      std::string table, file_tag;
      h >> table >> file_tag;
      std::string file = file_tag.substr(0, file_tag.find(':'));
      std::string ext = file.substr(file.size() - 4);
      if (ext != ".CDX" && ext != ".cdx") continue;
      Expected e;
      e.table = table;
      e.file = file;
      e.tag = file_tag.substr(file_tag.find(':') + 1);
      e.expr = field(line, "expr");
      e.type = field(line, "type")[0];
      e.keylen = std::stoi(field(line, "keylen"));
      e.count = std::stoul(field(line, "keys"));
      size_t at = check.find(table + " " + file_tag + " ");
      if (at != std::string::npos)
        e.levels = std::stoi(field(check.substr(at, check.find('\n', at) - at), "levels"));
      out.push_back(e);
      cur = &out.back();
    } else if (cur && !line.empty()) {
      size_t bar = line.rfind('|');
      cur->lines.emplace_back(unescape(line.substr(0, bar)),
                              static_cast<uint32_t>(std::stoul(line.substr(bar + 1))));
    }
  }
  return out;
}

IndexKey stored_key(Order& o, const std::string& text, uint32_t recno) {
  IndexKey k;
  k.recno = recno;
  switch (o.key_type()) {
    case 'C':
      k.key = o.encode(Value::text(CodePage::cp852().from_utf8(text)));
      break;
    case 'N':
      k.key = o.encode(Value::number(std::stod(text)));
      break;
    case 'D':
      k.key = o.encode(Value::date(Date::from_dtos(text)));
      break;
    default:
      k.key = o.encode(Value::logical(text == "T"));
  }
  return k;
}

std::string show(const IndexKey& k) {
  std::string hex;
  char buf[4];
  for (unsigned char c : k.key) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    hex += buf;
  }
  return hex + "|" + std::to_string(k.recno);
}

const char* const kFolders[] = {"small-mixed-bin-s1", "small-incr-bin-s2", "small-mixed-cs852-s5",
                                "small-alt-bin-s12"};

IndexOptions options_for(const std::string& folder, ShareMode share, bool read_only) {
  IndexOptions o;
  o.share = share;
  o.read_only = read_only;
  o.collation = folder.find("cs852") != std::string::npos ? &czech_collation() : nullptr;
  return o;
}

std::unique_ptr<DbfTable> open_table(const std::string& dir, const std::string& name) {
  TableOpenOptions t;
  t.share = ShareMode::kShared;
  t.read_only = true;
  return DbfTable::open(dir + "/" + name, t);
}

class CdxFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(CdxFixture, EveryTagListsTheEnginesKeys) {
  const std::string folder = GetParam();
  const std::string dir = testutil::fixture(folder);
  auto all = expected_cdx(folder);
  ASSERT_EQ(all.size(), 15u);
  for (const Expected& ex : all) {
    SCOPED_TRACE(folder + " " + ex.file);
    auto table = open_table(dir, ex.table);
    auto bag =
        open_cdx(dir + "/" + ex.file, *table, options_for(folder, ShareMode::kExclusive, true));
    ASSERT_EQ(bag->order_count(), 1u);
    Order& o = bag->order(0);
    std::string upper_tag;
    for (char c : ex.tag)
      upper_tag += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(o.tag_name(), upper_tag);
    EXPECT_EQ(o.expression(), ex.expr);
    EXPECT_EQ(o.key_type(), ex.type);
    EXPECT_EQ(o.key_length(), ex.keylen);
    EXPECT_FALSE(o.descending());

    std::vector<IndexKey> want;
    for (const auto& [text, recno] : ex.lines) want.push_back(stored_key(o, text, recno));
    ASSERT_EQ(want.size(), ex.count);
    auto fwd = cdxtest::walk(o, true);
    ASSERT_EQ(fwd.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
      ASSERT_EQ(show(fwd[i]), show(want[i])) << "entry " << i;
    auto back = cdxtest::walk(o, false);
    ASSERT_EQ(back.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
      ASSERT_EQ(show(back[want.size() - 1 - i]), show(want[i]));

    EXPECT_EQ(o.key_count(), ex.count);
    EXPECT_EQ(o.levels(), ex.levels);
    std::vector<IndexKey> seen;
    o.verify([&](const IndexKey& k) { seen.push_back(k); });
    EXPECT_EQ(seen, fwd);

    // Seek: full keys, keys without their trailing blanks, and blank-extended keys all land
    // on the first record of that key; a found entry is found again by find().
    for (size_t i = 0; i < want.size(); ++i) {
      if (i > 0 && want[i].key == want[i - 1].key) continue;
      IndexKey got;
      ASSERT_TRUE(o.seek(want[i].key, &got)) << show(want[i]);
      ASSERT_EQ(show(got), show(want[i]));
      if (o.key_type() == 'C') {
        std::string trimmed = want[i].key;
        while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
        ASSERT_TRUE(o.seek(trimmed, &got));
        ASSERT_EQ(show(got), show(want[i]));
        ASSERT_TRUE(o.seek(want[i].key + "   ", &got));
        ASSERT_EQ(show(got), show(want[i]));
        EXPECT_FALSE(o.seek(want[i].key + "  x", &got) && got.key == want[i].key);
      }
      ASSERT_TRUE(o.find(want[i]));
      IndexKey wrong = want[i];
      wrong.recno += 100000;
      EXPECT_FALSE(o.find(wrong));
    }
  }
}

// Whether the single tag of a CDX looks as a bulk build leaves it: no free pages, every
// level's nodes in ascending page order with each parent after its first child, and every
// node but the last of a level packed full (leaves: the next key would not fit; interior
// nodes: at capacity). Growing record by record leaves a root before its children.
bool bulk_layout(const std::string& path, char type) {
  auto f = testutil::read_file(path);
  auto page = [&](uint32_t off) { return reinterpret_cast<const uint8_t*>(f.data() + off); };
  if (cdx::get_le32(page(4)) != 0) return false;
  const uint32_t hdr = 0x600;
  cdx::KeyShape shape{cdx::get_le16(page(hdr + 12)), type == 'C' ? ' ' : '\0'};
  uint32_t first = cdx::get_le32(page(hdr));
  while (true) {
    std::vector<cdx::Node> level;
    for (uint32_t p = first; p != cdx::kNoPage;) {
      level.emplace_back();
      cdx::decode_node(page(p), p, shape, path, &level.back());
      p = level.back().right;
    }
    for (size_t i = 0; i + 1 < level.size(); ++i) {
      if (level[i + 1].offset < level[i].offset) return false;
      if (!level[i].leaf && level[i].offset < level[i].entries.front().child) return false;
      cdx::Node more = level[i];
      if (!more.leaf) {
        if (more.entries.size() != cdx::interior_capacity(shape.length)) return false;
        continue;
      }
      more.entries.push_back(level[i + 1].entries.front());
      if (cdx::node_fits(more, shape)) return false;
    }
    if (level.front().leaf) return true;
    if (level.back().offset < level.back().entries.front().child) return false;
    first = level.front().entries.front().child;
  }
}

// A bulk build of ours gives the very bytes of every index the engine built over the full
// table (see bulk_layout), and the same keys for all.
TEST_P(CdxFixture, BulkBuildMatchesTheEnginesKeysAndBulkBytes) {
  const std::string folder = GetParam();
  testutil::TempDir tmp;
  testutil::copy_fixture(folder, tmp.path());
  int identical = 0;
  for (const Expected& ex : expected_cdx(folder)) {
    SCOPED_TRACE(folder + " " + ex.file);
    auto table = open_table(tmp.path(), ex.table);
    OrderDefinition def;
    def.tag = ex.tag;
    def.expression = ex.expr;
    std::string ours = tmp.file("NEW_" + ex.file);
    auto bag = create_cdx(ours, {def}, *table, options_for(folder, ShareMode::kExclusive, false));
    Order& o = bag->order(0);
    EXPECT_EQ(o.key_length(), ex.keylen);
    std::vector<IndexKey> want;
    for (const auto& [text, recno] : ex.lines) want.push_back(stored_key(o, text, recno));
    auto got = cdxtest::walk(o);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(show(got[i]), show(want[i])) << i;
    o.verify([](const IndexKey&) {});
    bag->close();
    bool same = testutil::read_file(ours) == testutil::read_file(tmp.file(ex.file));
    EXPECT_EQ(same, bulk_layout(tmp.file(ex.file), ex.type)) << ex.file;
    identical += same;
  }
  // The engine built some indexes of the "mixed" folders on full tables, none of "incr".
  if (folder.find("incr") == std::string::npos) {
    EXPECT_GT(identical, 0);
  } else {
    EXPECT_EQ(identical, 0);
  }
}

// The engine's files, extended and thinned by us (its free pages reused), stay valid and
// hold what they should, before and after a reopen.
TEST_P(CdxFixture, ChangedFixturesStayValid) {
  const std::string folder = GetParam();
  testutil::TempDir tmp;
  testutil::copy_fixture(folder, tmp.path());
  const ShareMode share =
      folder.find("s2") != std::string::npos ? ShareMode::kShared : ShareMode::kExclusive;
  std::mt19937 rng(77);
  for (const Expected& ex : expected_cdx(folder)) {
    SCOPED_TRACE(folder + " " + ex.file);
    auto table = open_table(tmp.path(), ex.table);
    const std::string path = tmp.file(ex.file);
    std::vector<IndexKey> model;
    {
      auto bag = open_cdx(path, *table, options_for(folder, share, false));
      Order& o = bag->order(0);
      model = cdxtest::walk(o);
      auto less = [&](const IndexKey& a, const IndexKey& b) {
        int c = o.compare_keys(a.key, b.key);
        return c != 0 ? c < 0 : a.recno < b.recno;
      };
      for (int step = 0; step < 400; ++step) {
        if (rng() % 2) {
          IndexKey k = model[rng() % model.size()];
          k.recno = 100000 + static_cast<uint32_t>(step);
          o.insert(k);
          model.insert(std::lower_bound(model.begin(), model.end(), k, less), k);
        } else {
          size_t i = rng() % model.size();
          ASSERT_TRUE(o.remove(model[i]));
          model.erase(model.begin() + static_cast<long>(i));
        }
        if (step % 100 == 99) {
          auto got = cdxtest::walk(o);
          ASSERT_EQ(got.size(), model.size()) << "step " << step;
          for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], model[i]) << "entry " << i;
          o.verify([](const IndexKey&) {});
        }
      }
    }
    auto bag = open_cdx(path, *table, options_for(folder, share, true));
    EXPECT_EQ(cdxtest::walk(bag->order(0)), model);
    EXPECT_EQ(cdxtest::walk(bag->order(0), false).size(), model.size());
    bag->order(0).verify([](const IndexKey&) {});
  }
}

INSTANTIATE_TEST_SUITE_P(AllFolders, CdxFixture, ::testing::ValuesIn(kFolders),
                         [](const auto& info) {
                           std::string n = info.param;
                           std::replace(n.begin(), n.end(), '-', '_');
                           return n;
                         });

}  // namespace
}  // namespace xbase
