// The import run end to end: a copy of a fixture folder as the accounting data, a scratch
// program folder, the in-memory window with the main window's logic, and a real HTTP server on
// loopback that serves the shop's document and records every request.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include "app/hlavni_sdi.h"
#include "data/data_test_support.h"
#include "tests/support/loopback_http.h"
#include "tests/support/order_doc.h"
#include "tools/dbftool_commands.h"

namespace runtest {

using Rows = std::vector<std::vector<std::string>>;
using ui::BoxRecord;

inline const char* const kExport = "/shop/export.php";
inline const std::string kConfirm = std::string(kExport) + "/module/port.php?key=&akce=exportOk";

class ImportRunTest : public datatest::DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    testutil::copy_fixture("small-mixed-bin-s1", target_.path());
    app::HlavniSDI::ApplyTemplate(window_);
    sdi_.Init();
    sdi_.PostInit();
    window_.set_text("WKAM", target_.path());
    window_.set_text("WISERV", shop_.url(kExport));
    window_.set_text("POCDNU", "14");
  }

  void serve(const std::string& body, int status = 200) {
    shop_.serve(kExport, {status, body, "", false});
    shop_.serve(kConfirm, {200, "OK", "", false});
  }
  // One click of "Spustit import"; the boxes of this run only.
  const app::RunRecord& run() {
    window_.boxes.clear();
    window_.busy_changes.clear();
    EXPECT_TRUE(sdi_.Click("SPUSTIT"));
    return sdi_.last_run();
  }

  std::unique_ptr<xbase::DbfTable> open(const std::string& table) {
    return xbase::DbfTable::open(xbase::resolve_table_path(target_.file(table), ".DBF"), {});
  }
  uint32_t count(const std::string& table) { return open(table)->record_count(); }

  // Every table's record count, to show that a run wrote nothing.
  std::map<std::string, uint32_t> counts() {
    std::map<std::string, uint32_t> c;
    for (const char* t : {"ZAK", "DOOD", "POZAD", "ZAS", "POSCI"}) c[t] = count(t);
    return c;
  }

  std::vector<std::pair<std::string, std::string>> box_texts() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const BoxRecord& b : window_.boxes) out.emplace_back(b.caption, b.text);
    return out;
  }

  // What every run that got past the folder check leaves: the data folder, its button, the
  // start and the end buttons usable again, the address and the save still disabled, the
  // normal pointer.
  void expect_controls_after_run() {
    for (const char* c : {"WKAM", "TLKAM", "SPUSTIT", "ENDDIALOG"})
      EXPECT_TRUE(window_.enabled(c)) << c;
    for (const char* c : {"WISERV", "ULOZIT"}) EXPECT_FALSE(window_.enabled(c)) << c;
    for (const char* c : {"NZAS", "NZNET", "ZALOZKARTU", "POCDNU", "IDIR", "LOG", "HES"})
      EXPECT_TRUE(window_.enabled(c)) << c;
    EXPECT_FALSE(window_.busy);
    ASSERT_FALSE(window_.busy_changes.empty());
    EXPECT_TRUE(window_.busy_changes.front()) << "busy from the download on";
  }

  // Every index of the folder valid for our checker and, on Linux, walked whole by Debian's
  // Perl reader: each holds one key per record.
  void expect_indexes_ok() {
    std::ostringstream out, err;
    ASSERT_EQ(dbftool::run({"check", target_.path(), "--collation", "binary"}, out, err), 0)
        << out.str() << err.str();
#ifndef _WIN32
    if (!perl_reader()) return;
    std::istringstream lines(out.str());
    std::map<std::string, uint32_t> records;
    int walked = 0;
    for (std::string line; std::getline(lines, line);) {
      std::istringstream f(line);
      std::string ok, table, what;
      f >> ok >> table >> what;
      if (what.rfind("records=", 0) == 0) {
        records[table] = static_cast<uint32_t>(std::stoul(what.substr(8)));
        continue;
      }
      size_t colon = what.find(':');
      size_t type_at = line.find(" type=");
      if (colon == std::string::npos || type_at == std::string::npos) continue;
      std::string file = what.substr(0, colon), tag = what.substr(colon + 1);
      char type = line[type_at + 6];
      bool cdx = file.size() > 4 &&
                 (file.substr(file.size() - 4) == ".CDX" || file.substr(file.size() - 4) == ".cdx");
      std::vector<uint32_t> recnos = perl_recnos(target_.file(file), type, cdx ? tag : "");
      std::sort(recnos.begin(), recnos.end());
      // That reader lists some keys of NTX trees of three levels twice (it does so on the
      // fixtures' own files too), so for NTX it must find every record, each at least once.
      if (!cdx) recnos.erase(std::unique(recnos.begin(), recnos.end()), recnos.end());
      std::vector<uint32_t> want(records[table]);
      for (uint32_t i = 0; i < want.size(); ++i) want[i] = i + 1;
      EXPECT_EQ(recnos, want) << file << ": the Perl reader's record numbers";
      ++walked;
    }
    EXPECT_GE(walked, 20);
#endif
  }

  testutil::LoopbackHttp shop_;
  app::HlavniSDI sdi_{window_};

 private:
#ifndef _WIN32
  static bool perl_reader() {
    int status = 0;
    testutil::run_command("perl -MXBase::Index -e 1 2>/dev/null", &status);
    if (status != 0 && std::getenv("CI")) ADD_FAILURE() << "libdbd-xbase-perl is missing";
    return status == 0;
  }
  static std::vector<uint32_t> perl_recnos(const std::string& path, char type,
                                           const std::string& tag) {
    std::string for_tag;
    for (char c : tag) for_tag += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    std::string cmd =
        "perl -MXBase::Index -e '$i = XBase::Index->new(shift, type => shift, "
        "(@ARGV ? (tag => shift) : ())) or die XBase::Index->errstr; $i->prepare_select; "
        "while (my @d = $i->fetch) { print \"$d[1]\\n\" }' '" +
        path + "' " + (type == 'N' ? "N" : "C") + " " + for_tag + " 2>&1";
    int status = 0;
    std::string out = testutil::run_command(cmd, &status);
    EXPECT_EQ(status, 0) << path << ": " << out;
    std::vector<uint32_t> recnos;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);)
      recnos.push_back(static_cast<uint32_t>(std::stoul(l)));
    return recnos;
  }
#endif
};

inline std::string text(const xbase::DbfTable& t, const char* f) { return t.get_text(f); }
inline double num(const xbase::DbfTable& t, const char* f) { return t.get(f).num(); }
inline std::string day(const xbase::DbfTable& t, const char* f) {
  return t.get(f).date_value().dtos();
}

}  // namespace runtest
