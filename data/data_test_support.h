// The data room's tests: a scratch target folder that is the table layer's default folder, a
// program folder, and the in-memory window as the boxes and the main window reference. The
// process-wide state is restored after every test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/error_report.h"
#include "data/program_state.h"
#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"
#include "platform/table/work_areas.h"
#include "platform/window/memory_window.h"
#include "tests/support/test_util.h"

namespace datatest {

class DataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = xbase::table_settings();
    xbase::table_settings().default_folder = target_.path();
    xbase::table_settings().exclusive = false;
    xbase::table_settings().deleted_hidden = true;
    xbase::table_settings().driver = "DBFNTX";
    xbase::set_net_err(false);
    ui::set_boxes(&window_);
    ui::set_main_window(&window_);
    data::set_program_folder(program_.path());
    data::set_target_folder(target_.path());
  }
  void TearDown() override {
    xbase::WorkAreas::instance().close_all();
    xbase::WorkAreas::instance().select(1);
    ui::set_boxes(nullptr);
    ui::set_main_window(nullptr);
    data::set_error_reporter(nullptr);
    data::set_program_folder("");
    data::clear_target_folder();
    xbase::table_settings() = saved_;
  }

  // A table with numeric and text fields, one record per row (numbers, then texts).
  static void make_table(const std::string& path, const std::vector<xbase::FieldSpec>& fields,
                         const std::vector<std::vector<xbase::Value>>& rows) {
    auto t = xbase::DbfTable::create(path, fields, {});
    for (const auto& row : rows) {
      t->append_blank();
      for (size_t i = 0; i < row.size(); ++i) t->put(fields[i].name, row[i]);
    }
    t->close();
  }

  // Holds a table the way another workstation would (inside this process the share modes
  // refuse each other as between processes).
  static std::unique_ptr<xbase::DbfTable> hold(const std::string& path, xbase::ShareMode mode) {
    xbase::TableOpenOptions o;
    o.share = mode;
    return xbase::DbfTable::open(path, o);
  }

  static int open_areas() {
    int n = 0;
    for (int a = 1; a < 300; ++a) n += xbase::WorkAreas::instance().table(a) != nullptr;
    return n;
  }

  std::vector<ui::BoxRecord> questions() const {
    std::vector<ui::BoxRecord> out;
    for (const auto& b : window_.boxes)
      if (b.kind == ui::BoxRecord::Kind::kQuestion) out.push_back(b);
    return out;
  }

  xbase::TableSettings saved_;
  testutil::TempDir target_;
  testutil::TempDir program_;
  ui::MemoryWindow window_;
};

// The texts of the boxes, byte for byte.
inline const std::string kBusyQuestion =
    "Data právě používá jiný uživatel\rnebo jsou otevřena v jiném okně!\rOpakovat?";
inline std::string exclusive_warning(const std::string& what) {
  return "K souboru " + what +
         " má jiný uživatel exlusivni přístup\rnebo je v jiném okně exlusivně otevřen!\r"
         "Zkuste později.";
}
inline std::string missing_warning(const std::string& path) {
  return "Soubor " + path +
         " nenalezen!\rOvěřte správnost přiřazení firemních dat\r"
         "nebo instalace dat program.syst.KTR!";
}

}  // namespace datatest
