// Damaged NTX files: each fault gives a TableError naming the file, the page and what was
// wrong; nothing crashes or hangs, and the file's bytes stay as they were.
#include <gtest/gtest.h>

#include <functional>

#include "platform/index/ntx_format.h"
#include "platform/index/ntx_test_support.h"
#include "platform/table/table_error.h"
#include "tests/support/test_util.h"

namespace {

using namespace xbase;
using ntxtest::field;
using ntxtest::MemTable;

using Bytes = std::vector<char>;

uint8_t* at(Bytes& b, size_t off) { return reinterpret_cast<uint8_t*>(b.data() + off); }
uint16_t get16(Bytes& b, size_t off) { return ntx::get16(at(b, off)); }
uint32_t get32(Bytes& b, size_t off) { return ntx::get32(at(b, off)); }
// File offset of logical item i of the page at off.
size_t item(Bytes& b, uint32_t page, int i) { return page + get16(b, page + 2 + 2 * i); }
uint32_t child(Bytes& b, uint32_t page, int i) { return get32(b, item(b, page, i)); }

// The leftmost path of a three-level tree: root, branch, leaf.
struct Layout {
  uint32_t root, branch, leaf;
  int max_keys;
};

class NtxDamage : public ::testing::Test {
 protected:
  NtxDamage() : table_({field("NAME", 'C', 100)}) {
    for (int i = 0; i < 300; ++i) table_.add({Value::text("KEY " + std::to_string(1000 + i))});
  }
  void SetUp() override {
    OrderDefinition def;
    def.expression = "NAME";
    create_ntx(dir_.file("GOOD.NTX"), def, table_, IndexOptions{})->close();
    good_ = testutil::read_file(dir_.file("GOOD.NTX"));
    lay_.root = get32(good_, 4);
    lay_.max_keys = get16(good_, 18);
    lay_.branch = child(good_, lay_.root, 0);
    lay_.leaf = child(good_, lay_.branch, 0);
    ASSERT_EQ(child(good_, lay_.leaf, 0), 0u) << "three levels expected";
  }

  // Writes the damaged copy, runs every operation that must see the fault, then checks that
  // the errors said what they should and the file is unchanged.
  void expect_fault(const std::function<void(Bytes&)>& damage, const std::string& where,
                    const std::string& what) {
    Bytes bad = good_;
    damage(bad);
    std::string path = dir_.file("BAD.NTX");
    testutil::write_file(path, bad);
    auto check = [&](const std::function<void()>& op, const char* name) {
      try {
        op();
        ADD_FAILURE() << name << " did not fail (" << what << ")";
      } catch (const TableError& e) {
        EXPECT_EQ(e.file(), path) << name;
        EXPECT_EQ(e.generic(), kErrCorruption) << name;
        EXPECT_NE(e.message().find(where), std::string::npos) << name << ": " << e.what();
        EXPECT_NE(e.message().find(what), std::string::npos) << name << ": " << e.what();
      }
    };
    std::unique_ptr<IndexBag> bag;
    IndexOptions io;
    io.share = ShareMode::kExclusive;
    try {
      bag = open_ntx(path, table_, io);
    } catch (const TableError&) {
      check([&] { open_ntx(path, table_, io); }, "open");
    }
    if (bag) {
      Order& o = bag->order(0);
      check([&] { o.key_count(); }, "key_count");
      check([&] { o.verify(nullptr); }, "verify");
      check([&] { ntxtest::walk_forward(o); }, "walk");
      // The smallest key goes down the damaged leftmost path.
      check([&] { o.insert({o.encode(Value::text("A")), 999}); }, "insert");
      check([&] { o.remove({o.encode(Value::text("KEY 1000")), 1}); }, "remove");
      bag->close();
    }
    EXPECT_EQ(testutil::read_file(path), bad) << "the damaged file was written to";
  }

  testutil::TempDir dir_;
  MemTable table_;
  Bytes good_;
  Layout lay_{};
};

TEST_F(NtxDamage, TruncatedFiles) {
  expect_fault([](Bytes& b) { b.resize(700); }, "header", "file ends inside the header page");
  // The root is written last: cutting the file loses it.
  expect_fault([](Bytes& b) { b.resize(b.size() / 2); }, "root", "beyond the end of the file");
  expect_fault([](Bytes& b) { b.resize(b.size() - 100); }, "root", "beyond the end of the file");
  // Pages lost from the middle of the tree: the root kept, the leaf cut off.
  expect_fault(
      [this](Bytes& b) {
        Bytes root(b.begin() + lay_.root, b.begin() + lay_.root + 1024);
        b.resize(lay_.leaf);
        b.insert(b.end(), root.begin(), root.end());
        ntx::put32(at(b, 4), lay_.leaf);  // the root now sits where the leaf began
      },
      "page at", "beyond the end of the file");
}

TEST_F(NtxDamage, BadPagePointers) {
  expect_fault([this](Bytes& b) { ntx::put32(at(b, item(b, lay_.branch, 0)), 51200000); },
               "page at " + std::to_string(lay_.branch), "beyond the end of the file");
  expect_fault([this](Bytes& b) { ntx::put32(at(b, item(b, lay_.branch, 0)), lay_.leaf + 7); },
               "page at " + std::to_string(lay_.branch), "not a multiple of 1024");
  expect_fault([this](Bytes& b) { ntx::put32(at(b, item(b, lay_.branch, 0)), 0); },
               "page at " + std::to_string(lay_.branch), "mixes leaf and branch");
  expect_fault([this](Bytes& b) { ntx::put32(at(b, item(b, lay_.leaf, 1)), lay_.branch); },
               "page at " + std::to_string(lay_.leaf), "mixes leaf and branch");
  expect_fault([](Bytes& b) { ntx::put32(at(b, 4), 0); }, "root", "points at the header");
  expect_fault([](Bytes& b) { ntx::put32(at(b, 8), 3072000); }, "free list",
               "beyond the end of the file");
}

TEST_F(NtxDamage, PagePointersInALoop) {
  // Back up to the root, and to the page itself: bounded, reported, no hang.
  expect_fault([this](Bytes& b) { ntx::put32(at(b, item(b, lay_.branch, 0)), lay_.root); },
               "page at " + std::to_string(lay_.root), "loop");
  expect_fault([this](Bytes& b) { ntx::put32(at(b, item(b, lay_.branch, 0)), lay_.branch); },
               "page at " + std::to_string(lay_.branch), "loop");
}

TEST_F(NtxDamage, BadCountsAndGeometry) {
  expect_fault([this](Bytes& b) { ntx::put16(at(b, lay_.leaf), lay_.max_keys + 5); },
               "page at " + std::to_string(lay_.leaf),
               "key count " + std::to_string(lay_.max_keys + 5) + " exceeds the maximum");
  expect_fault([this](Bytes& b) { ntx::put16(at(b, lay_.leaf + 2), 1020); },
               "page at " + std::to_string(lay_.leaf), "bad offset 1020");
  expect_fault([this](Bytes& b) { ntx::put16(at(b, lay_.leaf + 4), get16(b, lay_.leaf + 2)); },
               "page at " + std::to_string(lay_.leaf), "shares its slot");
  expect_fault([](Bytes& b) { ntx::put16(at(b, 12), get16(b, 12) + 1); }, "header",
               "does not match key length");
  expect_fault([](Bytes& b) { ntx::put16(at(b, 18), 40); }, "header", "does not fit a page");
  expect_fault([](Bytes& b) { ntx::put16(at(b, 0), 0x1234); }, "header", "not an NTX index");
  expect_fault([](Bytes& b) { b[22] = 0; }, "header", "key expression missing");
}

// Faults that only the full check sees: keys out of order, leaves on different levels.
TEST_F(NtxDamage, VerifyFindsWhatNavigationCannot) {
  std::string path = dir_.file("ORDER.NTX");
  auto run_verify = [&](const Bytes& b) -> std::string {
    testutil::write_file(path, b);
    auto bag = open_ntx(path, table_, IndexOptions{});
    try {
      bag->order(0).verify(nullptr);
    } catch (const TableError& e) {
      EXPECT_EQ(e.file(), path);
      return e.message();
    }
    return "";
  };
  EXPECT_EQ(run_verify(good_), "");
  Bytes swapped = good_;
  // Exchange the offsets of items 0 and 1 of the leaf: their keys change places.
  uint16_t a = get16(swapped, lay_.leaf + 2), b = get16(swapped, lay_.leaf + 4);
  ntx::put16(at(swapped, lay_.leaf + 2), b);
  ntx::put16(at(swapped, lay_.leaf + 4), a);
  std::string fault = run_verify(swapped);
  EXPECT_NE(fault.find("page at " + std::to_string(lay_.leaf)), std::string::npos) << fault;
  EXPECT_NE(fault.find("out of order"), std::string::npos) << fault;
  EXPECT_EQ(testutil::read_file(path), swapped);
}

// Two branch entries naming one child: a walk would go through it once per path to it (2^depth
// times for a deep tree); with equal keys no order check can tell. Each walk enters a page once.
TEST_F(NtxDamage, BranchPagesSharingAChild) {
  MemTable same({field("NAME", 'C', 100)});
  for (int i = 0; i < 300; ++i) same.add({Value::text("SAME")});
  OrderDefinition def;
  def.expression = "NAME";
  std::string path = dir_.file("SAME.NTX");
  create_ntx(path, def, same, IndexOptions{})->close();
  Bytes b = testutil::read_file(path);
  uint32_t root = get32(b, 4);
  uint32_t shared = child(b, root, 0);
  ntx::put32(at(b, item(b, root, 1)), shared);
  testutil::write_file(path, b);
  auto bag = open_ntx(path, same, IndexOptions{});
  Order& o = bag->order(0);
  auto expect_refusal = [&](const std::function<void()>& op, const char* name) {
    try {
      op();
      ADD_FAILURE() << name << " went through the shared page twice";
    } catch (const TableError& e) {
      EXPECT_EQ(e.file(), path);
      EXPECT_NE(e.message().find("page at " + std::to_string(shared)), std::string::npos)
          << e.what();
      EXPECT_NE(e.message().find("reached twice"), std::string::npos) << e.what();
    }
  };
  expect_refusal([&] { ntxtest::walk_forward(o); }, "walk");
  expect_refusal([&] { ntxtest::walk_backward(o); }, "walk back");
  expect_refusal([&] { o.find({o.encode(Value::text("SAME")), 999}); }, "find");
  EXPECT_EQ(testutil::read_file(path), b);
}

TEST_F(NtxDamage, KeyExpressionWiderThanAnNtxKey) {
  Bytes b = good_;
  const char wide[] = "SPACE(300)";
  std::copy(wide, wide + sizeof wide, b.begin() + 22);  // the expression, NUL-terminated
  std::string path = dir_.file("WIDE.NTX");
  testutil::write_file(path, b);
  try {
    open_ntx(path, table_, IndexOptions{});
    ADD_FAILURE() << "opened";
  } catch (const TableError& e) {
    EXPECT_EQ(e.file(), path);
    EXPECT_NE(e.message().find("SPACE(300)\" gives keys of 300 bytes"), std::string::npos)
        << e.what();
  }
}

}  // namespace
