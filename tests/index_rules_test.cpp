// Whole runs on folders whose indexes another program keeps in its own key rules: the station's
// start-up collation differs from the folder's, or UPPER mapped only the ASCII letters. Every
// index stays in its owner's rules, a partner is found by name, and an index that fits no
// rules is refused before anything is written.
#include <filesystem>

#include "platform/index/collation_detect.h"
#include "platform/table/table_error.h"
#include "platform/text/codepage.h"
#include "tests/import_run_fixture.h"

namespace {

using namespace runtest;
using End = app::RunRecord::End;
using testutil::header;
using testutil::item;

// Bytes in reverse: keys built so fit none of the orders the layer knows.
class ReversedCollation : public xbase::Collation {
 public:
  const char* name() const override { return "reversed"; }
  int compare(std::string_view a, std::string_view b, const xbase::CodePage& cp) const override {
    return -xbase::binary_collation().compare(a, b, cp);
  }
};

class IndexRulesRun : public runtest::ImportRunTest {
 protected:
  void use_folder(const char* name) {
    for (const auto& e : std::filesystem::directory_iterator(target_.path()))
      std::filesystem::remove(e.path());
    testutil::copy_fixture(name, target_.path());
  }
  // Rebuilds index files of a table with our layer in other rules than the usual ones.
  void rebuild(const char* table, std::vector<const char*> files, xbase::CaseMapping cases,
               const xbase::Collation* collation) {
    xbase::TableOpenOptions t;
    t.share = xbase::ShareMode::kExclusive;
    auto dbf = xbase::DbfTable::open(target_.file(table), t);
    for (const char* f : files) {
      xbase::IndexOptions o{xbase::ShareMode::kExclusive, false, collation};
      std::string path = xbase::file_system().resolve_case(target_.file(f));
      bool cdx = path.find(".CDX") != std::string::npos;
      auto bag = cdx ? xbase::open_cdx(path, *dbf, o) : xbase::open_ntx(path, *dbf, o);
      bag->order(0).set_case_mapping(cases);
      bag->rebuild(*dbf);
      bag->close();
    }
  }
  // Every file of the folder, to show that nothing was written.
  std::map<std::string, std::vector<char>> folder_files() {
    std::map<std::string, std::vector<char>> files;
    for (const auto& e : std::filesystem::directory_iterator(target_.path()))
      files[e.path().string()] = testutil::read_file(e.path().string());
    return files;
  }
  void expect_unchanged(const std::map<std::string, std::vector<char>>& files) {
    for (const auto& [path, bytes] : files)
      EXPECT_TRUE(testutil::read_file(path) == bytes) << path << " changed";
  }
  // A live partner whose name holds "Ch" and, with czech_letter, holds a lower-case
  // letter that the ASCII-only UPPER leaves alone: its name and number.
  std::pair<std::string, double> partner(bool czech_letter) {
    auto dood = open("DOOD");
    const xbase::CodePage& cp = dood->codepage();
    for (uint32_t i = 1; i <= dood->record_count(); ++i) {
      dood->go_to(i);
      std::string name = text(*dood, "NAZD");
      std::string bytes = cp.from_utf8(name);
      // The shop's name field holds 30 characters.
      bool ch = name.find("Ch") != std::string::npos || name.find("ch") != std::string::npos;
      if (dood->deleted() || !ch || bytes.size() > 30) continue;
      if (czech_letter && cp.upper(bytes) == xbase::CodePage::ascii_case(852).upper(bytes))
        continue;
      return {name, num(*dood, "FIRMA")};
    }
    ADD_FAILURE() << "no such partner";
    return {};
  }
  // Posts an order for an existing partner by name and two new ones with "Ch", Czech capitals
  // and hyphens; checks the partner was found and every index is in the folder's collation.
  const app::RunRecord& post_names(bool czech_letter, const char* folder_collation) {
    auto [name, firma] = partner(czech_letter);
    window_.set_checked("NZAS", true);
    serve(testutil::document({header("6101", name), item("6101", "X-1"),
                              header("6102", "Chalupa-Černý Ůlehla"), item("6102", "X-2"),
                              header("6103", "Hrách-Chrást Čeněk"), item("6103", "X-3")}));
    const auto before = counts();
    const app::RunRecord& r = run();
    EXPECT_EQ(r.end, End::kPosted) << r.error;
    EXPECT_EQ(r.good_orders, 3u);
    EXPECT_EQ(count("DOOD"), before.at("DOOD") + 2) << "the existing partner found by name";
    auto zak = open("ZAK");
    zak->go_to(before.at("ZAK") + 1);
    EXPECT_EQ(num(*zak, "FIRM"), firma) << name;
    std::ostringstream out, err;
    EXPECT_EQ(dbftool::run({"check", target_.path(), "--collation", folder_collation}, out, err), 0)
        << out.str() << err.str();
    return r;
  }
};

TEST_F(IndexRulesRun, ACzechOrderedFolderIsKeptCzechOnAByteOrderStation) {
  use_folder("small-mixed-cs852-s5");
  xbase::table_settings().collation = &xbase::binary_collation();
  const app::RunRecord& r = post_names(false, "czech");
  for (const char* kept : {"NAZO.CDX (NAZO): czech", "NZAK.NTX (NZAK): czech"})
    EXPECT_NE(std::find(r.kept_indexes.begin(), r.kept_indexes.end(), kept), r.kept_indexes.end())
        << kept;
}

TEST_F(IndexRulesRun, AByteOrderedFolderIsKeptInBytesOnACzechStation) {
  xbase::table_settings().collation = &xbase::czech_collation();
  const app::RunRecord& r = post_names(false, "binary");
  EXPECT_NE(std::find(r.kept_indexes.begin(), r.kept_indexes.end(), "NAZO.CDX (NAZO): binary"),
            r.kept_indexes.end());
}

TEST_F(IndexRulesRun, IndexesKeyedWithAsciiOnlyUpperGetSuchKeys) {
  rebuild("ZAK.DBF", {"NZAK.NTX", "INAZAK.NTX"}, xbase::CaseMapping::kAscii, nullptr);
  rebuild("DOOD.DBF", {"NAZO.CDX"}, xbase::CaseMapping::kAscii, nullptr);
  post_names(true, "binary");  // check evaluates with the case mapping each index shows
  std::ostringstream out, err;
  dbftool::run({"keys", target_.file("NAZO.CDX")}, out, err);
  EXPECT_NE(out.str().find("rules=binary/ascii-case"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("CHALUPA-ČERNý ŮLEHLA|"), std::string::npos) << "ASCII-only UPPER";
}

TEST_F(IndexRulesRun, AnIndexThatFitsNoRulesIsRefusedAndNothingWritten) {
  static const ReversedCollation reversed;
  rebuild("DOOD.DBF", {"NAZO.CDX"}, xbase::CaseMapping::kCodePage, &reversed);
  const auto files = folder_files();
  serve(testutil::document({header("6201", "Nová firma"), item("6201", "MAT-000010/T")}));
  const app::RunRecord& r = run();
  EXPECT_EQ(r.end, End::kError);
  EXPECT_NE(r.error.find("Index NAZO.CDX byl vytvořen s jiným nastavením jazyka"),
            std::string::npos)
      << r.error;
  EXPECT_NE(r.error.find("dbftool reindex"), std::string::npos) << r.error;
  expect_unchanged(files);
  // dbftool reindex will not guess the rules of such an index, and takes the ones named.
  const std::string dood = target_.file("DOOD.DBF"), nazo = target_.file("NAZO.CDX");
  std::ostringstream out, err;
  EXPECT_THROW(dbftool::run({"reindex", dood, nazo}, out, err), dbftool::UsageError);
  expect_unchanged(files);
  EXPECT_EQ(
      dbftool::run({"reindex", dood, nazo, "--collation", "czech", "--case", "ascii"}, out, err),
      0);
  EXPECT_NE(out.str().find("NAZO.CDX:NAZO rules=czech/ascii-case"), std::string::npos) << out.str();
}

// A leaf that cannot be read is damage, not another language setting: the run ends with the
// index's damage error and writes nothing.
TEST_F(IndexRulesRun, ADamagedLeafGivesItsDamageErrorAndNothingIsWritten) {
  std::string ntx = xbase::file_system().resolve_case(target_.file("NZAK.NTX"));
  std::vector<char> bytes = testutil::read_file(ntx);
  auto u32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(bytes[at + i]);
    return v;
  };
  uint32_t page = u32(4);  // root; down the first children to the first leaf
  while (uint32_t child = u32(page + static_cast<uint8_t>(bytes[page + 2]) +
                              256u * static_cast<uint8_t>(bytes[page + 3])))
    page = child;
  bytes[page] = bytes[page + 1] = '\xFF';  // a key count no page holds
  testutil::write_file(ntx, bytes);
  const auto files = folder_files();
  serve(testutil::document({header("6301", "Nová firma"), item("6301", "MAT-000010/T")}));
  const app::RunRecord& r = run();
  EXPECT_EQ(r.end, End::kError);
  EXPECT_NE(r.error.find("NZAK.NTX: page at " + std::to_string(page) + ": key count"),
            std::string::npos)
      << r.error;
  EXPECT_EQ(r.error.find("byl vytvořen"), std::string::npos) << r.error;
  expect_unchanged(files);
}

// Reindexed without options, an index keeps the rules its keys showed, not the tool's.
TEST_F(IndexRulesRun, ReindexKeepsTheRulesTheKeysShow) {
  rebuild("DOOD.DBF", {"NAZO.CDX"}, xbase::CaseMapping::kAscii, &xbase::czech_collation());
  std::ostringstream out, err;
  ASSERT_EQ(dbftool::run({"reindex", target_.file("DOOD.DBF"), target_.file("NAZO.CDX")}, out, err),
            0);
  EXPECT_NE(out.str().find("NAZO.CDX:NAZO rules=czech/ascii-case"), std::string::npos) << out.str();
  std::ostringstream keys;
  dbftool::run({"check", target_.path(), "--collation", "czech"}, keys, err);
  EXPECT_NE(keys.str().find("OK DOOD.DBF NAZO.CDX:NAZO keys=250"), std::string::npos) << keys.str();
  EXPECT_NE(keys.str().find("rules=czech/ascii-case"), std::string::npos) << keys.str();
}

// A key whose stored neighbour no longer evaluates to its bytes (a record changed behind the
// index's back, one the sample at open does not read): the insert is refused, nothing written.
TEST(IndexRules, AnInsertBesideAStaleKeyIsRefused) {
  testutil::TempDir dir;
  testutil::copy_fixture("small-mixed-bin-s1", dir.path());
  xbase::FileSystem& fs = xbase::file_system();
  const std::string dbf = fs.resolve_case(dir.file("ZAK.DBF"));
  const std::string ntx = fs.resolve_case(dir.file("NZAK.NTX"));
  xbase::TableOpenOptions o;
  o.share = xbase::ShareMode::kExclusive;
  xbase::Value name;
  size_t at = 0;
  {
    auto zak = xbase::DbfTable::open(dbf, o);
    zak->go_to(2);
    name = zak->get("NAZD");
    at = zak->header().header_length + zak->header().record_length +
         static_cast<size_t>(zak->field_info(zak->field_index("NAZD")).offset) + 1;
  }
  std::vector<char> bytes = testutil::read_file(dbf);
  bytes[at] = bytes[at] == 'Q' ? 'R' : 'Q';
  testutil::write_file(dbf, bytes);
  const std::vector<char> index_before = testutil::read_file(ntx);
  {
    auto zak = xbase::DbfTable::open(dbf, o);
    zak->add_bag(xbase::open_ntx(ntx, *zak, {xbase::ShareMode::kExclusive, false, nullptr}));
    zak->append_blank();
    zak->put("NAZD", name);
    try {
      zak->commit();
      ADD_FAILURE() << "the insert went in";
    } catch (const xbase::TableError& e) {
      EXPECT_NE(std::string(e.what()).find("NZAK.NTX byl vytvořen"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("záznam 2 má v indexu klíč"), std::string::npos)
          << e.what();
    }
  }
  EXPECT_EQ(testutil::read_file(dbf), bytes);
  EXPECT_EQ(testutil::read_file(ntx), index_before);
}

// Reads of the tables (.DBF) seen through it.
class ReadCountingFs : public xbase::ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  std::unique_ptr<xbase::File> open(const std::string& p, const xbase::OpenOptions& o) override {
    struct Counted : xbase::File {
      Counted(std::unique_ptr<xbase::File> f, int& n) : f_(std::move(f)), n_(n) {}
      const std::string& path() const override { return f_->path(); }
      uint64_t size() override { return f_->size(); }
      size_t read_at(uint64_t off, void* b, size_t len) override {
        ++n_;
        return f_->read_at(off, b, len);
      }
      void write_at(uint64_t off, const void* b, size_t len) override { f_->write_at(off, b, len); }
      void truncate(uint64_t size) override { f_->truncate(size); }
      void sync() override { f_->sync(); }
      bool lock(uint64_t off, uint64_t len, bool ex) override { return f_->lock(off, len, ex); }
      void unlock(uint64_t off, uint64_t len) override { f_->unlock(off, len); }
      std::unique_ptr<xbase::File> f_;
      int& n_;
    };
    return std::make_unique<Counted>(inner_.open(p, o), p.ends_with(".DBF") ? reads : others);
  }
  int reads = 0, others = 0;
};

// Held exclusively, a neighbour whose stored key was verified is not read again, nor one
// this table wrote itself: a second insert beside the same entries reads fewer records than
// the first, and an insert past every key, after one past them all, reads none.
TEST(IndexRules, AVerifiedNeighbourIsNotReadAgain) {
  testutil::TempDir dir;
  testutil::copy_fixture("small-mixed-bin-s1", dir.path());
  ReadCountingFs counting(xbase::file_system());
  const std::string dbf = counting.resolve_case(dir.file("ZAK.DBF"));
  const std::string ntx = counting.resolve_case(dir.file("NZAK.NTX"));
  xbase::set_file_system(&counting);
  xbase::TableOpenOptions o;
  o.share = xbase::ShareMode::kExclusive;
  int reads[4] = {};
  {
    auto zak = xbase::DbfTable::open(dbf, o);
    zak->add_bag(xbase::open_ntx(ntx, *zak, {xbase::ShareMode::kExclusive, false, nullptr}));
    zak->go_to(2);
    const xbase::Value name = zak->get("NAZD");
    const xbase::Value names[] = {name, name, xbase::Value::text("řřřř1"),
                                  xbase::Value::text("řřřř2")};
    for (int i = 0; i < 4; ++i) {
      const int before = counting.reads;
      zak->append_blank();
      zak->put("NAZD", names[i]);
      zak->commit();
      reads[i] = counting.reads - before;
    }
  }
  xbase::set_file_system(nullptr);
  EXPECT_GT(reads[0], reads[1]);
  EXPECT_GT(reads[2], 0);
  EXPECT_EQ(reads[3], 0);
}

// Each byte weighed alone (CH is C then H) is an order of its own, and a folder kept in it is
// recognised as such.
TEST_F(IndexRulesRun, AnIndexInPerCharacterCzechWeightsIsRecognised) {
  const xbase::CodePage& cp = xbase::CodePage::cp852();
  const xbase::Collation& chars = xbase::czech_chars_collation();
  EXPECT_LT(chars.compare(cp.from_utf8("CHA"), cp.from_utf8("DA "), cp), 0);
  EXPECT_GT(xbase::czech_collation().compare(cp.from_utf8("CHA"), cp.from_utf8("DA "), cp), 0);
  EXPECT_LT(chars.compare(cp.from_utf8("ČA"), cp.from_utf8("DA"), cp), 0);
  rebuild("DOOD.DBF", {"NAZO.CDX"}, xbase::CaseMapping::kCodePage, &chars);
  std::ostringstream out, err;
  dbftool::run({"keys", target_.file("NAZO.CDX")}, out, err);
  EXPECT_NE(out.str().find("rules=czech-chars/codepage-case"), std::string::npos)
      << out.str().substr(0, 200);
}

}  // namespace
