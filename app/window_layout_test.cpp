// The dialog template in resources/importobj.rc against the window's layout: every control with
// its id, class, place and size in dialog units, text and styles; the tab order; the tooltips.
#include "app/window_layout.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

#include "tests/support/test_util.h"

namespace app {
namespace {

struct RcControl {
  std::string text, cls, styles;
  int x, y, w, h;
};

std::string template_text() {
  return testutil::read_text(
      testutil::host_path(std::string(IO_SOURCE_DIR) + "/resources/importobj.rc"));
}

std::map<int, RcControl> rc_controls(std::vector<int>* order) {
  std::map<int, RcControl> out;
  std::istringstream in(template_text());
  static const std::regex re(
      R"re(^\s*CONTROL\s+"([^"]*)",\s*(\d+),\s*"(\w+)",\s*([^,]+),\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)\s*$)re");
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, re)) continue;
    int id = std::stoi(m[2]);
    out[id] = {m[1],           m[3], m[4], std::stoi(m[5]), std::stoi(m[6]), std::stoi(m[7]),
               std::stoi(m[8])};
    order->push_back(id);
  }
  return out;
}

bool has_style(const RcControl& c, const std::string& style) {
  return std::regex_search(c.styles, std::regex("(^|[| ])" + style + "($|[| ])"));
}

struct Expected {
  int id;
  const char* cls;
  const char* text;
  int x, y, w, h;
};

// The window as the operator knows it.
const Expected kTemplate[] = {
    {100, "Button", "Konec", 277, 256, 69, 12},
    {101, "Static", "HTTP import objednávek z Bazaro", 64, 4, 224, 13},
    {102, "Static", "Cesta na data Kontor:", 16, 34, 80, 12},
    {103, "Edit", "", 96, 34, 181, 12},
    {104, "Button", "Procházet", 280, 34, 64, 12},
    {105, "Static", "FTP adresa (ftp):", 16, 81, 69, 12},
    {106, "Edit", "", 96, 78, 181, 13},
    {107, "Static", "login:", 96, 92, 21, 11},
    {108, "Edit", "", 117, 91, 80, 12},
    {109, "Static", "heslo:", 201, 92, 21, 11},
    {110, "Edit", "", 224, 91, 53, 12},
    {111, "Button", "Spustit import", 178, 142, 171, 13},
    {112, "Button", "Zadání, kam objednávky ze serveru importovat", 8, 19, 341, 30},
    {113, "Button", "Počty záznamů v přenosu", 202, 174, 148, 69},
    {114, "Static", "0", 290, 204, 54, 12},
    {115, "Static", "Probíhá:", 8, 160, 40, 12},
    {116, "Static", "", 53, 160, 120, 12},
    {117, "Static", "", 176, 160, 173, 12},
    {118, "Static", "Počet objednávek", 240, 189, 58, 10},
    {119, "Static", "položek", 306, 189, 38, 10},
    {120, "Static", "Přečteno:", 208, 204, 40, 11},
    {121, "Static", "Chybných:", 208, 216, 40, 12},
    {122, "Static", "Dobrých:", 208, 228, 40, 12},
    {123, "Static", "0", 250, 204, 37, 12},
    {124, "Static", "0", 250, 216, 37, 12},
    {125, "Static", "0", 250, 228, 37, 13},
    {126, "Static", "0", 290, 216, 54, 12},
    {127, "Static", "0", 290, 228, 54, 13},
    {128, "SysListView32", "", 11, 184, 186, 84},
    {129, "Button", "Chybné záznamy", 8, 174, 192, 96},
    {130, "Button", "Nastavení pro přenos", 7, 52, 342, 56},
    {131, "Static", "URL adresa (http]:", 16, 67, 77, 11},
    {132, "Edit", "", 96, 66, 181, 12},
    {133, "Button", "Uložit nastavení", 282, 91, 64, 12},
    {134, "Button", "Nekontrolovat položky na skladové karty", 8, 113, 154, 11},
    {135, "Button", "Přebírat název položky z netu, jinak ze skl.karty", 178, 113, 171, 11},
    {136, "Static", "Počet dnů na splnění objednávky:", 8, 141, 115, 12},
    {137, "Edit", "", 125, 140, 22, 12},
    {138, "Button",
     "Pokud neexistuje skladová karta pro objednanou položku, automaticky založit novou s údaji z "
     "e-shopu",
     8, 125, 339, 11},
};

TEST(WindowTemplate, EveryControlInOrderWithItsPlaceSizeAndText) {
  std::vector<int> order;
  auto rc = rc_controls(&order);
  ASSERT_EQ(order.size(), std::size(kTemplate));
  for (size_t i = 0; i < order.size(); ++i) {
    const Expected& e = kTemplate[i];
    EXPECT_EQ(order[i], e.id);
    const RcControl& c = rc[e.id];
    EXPECT_EQ(c.cls, e.cls) << e.id;
    EXPECT_EQ(c.text, e.text) << e.id;
    EXPECT_EQ(std::vector<int>({c.x, c.y, c.w, c.h}), std::vector<int>({e.x, e.y, e.w, e.h}))
        << e.id;
  }
}

TEST(WindowTemplate, DialogFrameFontAndNoDefaultButton) {
  std::string rc = template_text();
  EXPECT_NE(rc.find("#pragma code_page(65001)"), std::string::npos);
  EXPECT_NE(rc.find("HlavniSDI DIALOGEX 12, 22, 356, 272\n"), std::string::npos);
  EXPECT_NE(rc.find("CAPTION \"Import Objednávek\""), std::string::npos);
  EXPECT_NE(rc.find("FONT 8, \"MS Shell Dlg\""), std::string::npos);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(rc, m, std::regex("\nSTYLE ([^\n]*)\n")));
  for (const char* s : {"WS_POPUP", "WS_CAPTION", "WS_SYSMENU", "DS_MODALFRAME"})
    EXPECT_NE(m[1].str().find(s), std::string::npos) << s;
  for (const char* s : {"MINIMIZEBOX", "MAXIMIZEBOX", "WS_OVERLAPPEDWINDOW"})
    EXPECT_EQ(m[1].str().find(s), std::string::npos) << s;
  EXPECT_EQ(rc.find("DEFPUSHBUTTON"), std::string::npos);
  EXPECT_NE(rc.find("101 ICON"), std::string::npos);
  EXPECT_NE(rc.find("RT_MANIFEST"), std::string::npos);
}

TEST(WindowTemplate, StylesOfTheControlObjects) {
  std::vector<int> order;
  auto rc = rc_controls(&order);
  for (const ControlDef& d : control_defs()) {
    const RcControl& c = rc[d.id];
    EXPECT_EQ(has_style(c, "WS_TABSTOP"), d.tab_stop) << d.name;
    switch (d.kind) {
      case ControlKind::kButton:
        EXPECT_TRUE(has_style(c, "BS_PUSHBUTTON")) << d.name;
        break;
      case ControlKind::kCheckBox:
        EXPECT_TRUE(has_style(c, "BS_AUTOCHECKBOX")) << d.name;
        break;
      case ControlKind::kMySLE:
      case ControlKind::kEdit:
        EXPECT_EQ(c.cls, "Edit") << d.name;
        EXPECT_TRUE(has_style(c, "WS_BORDER") && has_style(c, "ES_AUTOHSCROLL")) << d.name;
        EXPECT_EQ(has_style(c, "ES_NUMBER"), d.kind == ControlKind::kEdit) << d.name;
        EXPECT_FALSE(has_style(c, "ES_PASSWORD")) << d.name;
        break;
      case ControlKind::kLabel:
        EXPECT_EQ(c.cls, "Static") << d.name;
        break;
      case ControlKind::kListView:
        EXPECT_TRUE(has_style(c, "LVS_REPORT") && has_style(c, "WS_BORDER"));
        break;
    }
  }
  EXPECT_TRUE(has_style(rc[115], "NOT WS_VISIBLE"));  // FTPRO until a run
  EXPECT_TRUE(has_style(rc[114], "SS_RIGHT"));
  int hidden = 0;
  for (const auto& [id, c] : rc) hidden += c.styles.find("NOT WS_VISIBLE") != std::string::npos;
  EXPECT_EQ(hidden, 1);
}

TEST(WindowTemplate, TabOrderFromTheTemplateAndTheLayoutAgree) {
  std::vector<int> order;
  auto rc = rc_controls(&order);
  std::vector<std::string_view> from_rc;
  for (int id : order)
    if (has_style(rc[id], "WS_TABSTOP")) {
      const ControlDef* d = control_by_id(id);
      ASSERT_NE(d, nullptr) << id;
      from_rc.push_back(d->name);
    }
  const std::vector<std::string_view> expected = {
      "ENDDIALOG", "WKAM",   "TLKAM", "IDIR",  "LOG",    "HES",       "SPUSTIT",
      "WISERV",    "ULOZIT", "NZAS",  "NZNET", "POCDNU", "ZALOZKARTU"};
  EXPECT_EQ(from_rc, expected);
  EXPECT_EQ(tab_order(), expected);
  EXPECT_EQ(tab_neighbour("WKAM", 1), "TLKAM");
  EXPECT_EQ(tab_neighbour("wiserv", 1), "ULOZIT");
  EXPECT_EQ(tab_neighbour("HES", 1), "SPUSTIT");
  EXPECT_EQ(tab_neighbour("WKAM", -1), "ENDDIALOG");
  EXPECT_EQ(tab_neighbour("ENDDIALOG", -1), "ZALOZKARTU");
  EXPECT_EQ(tab_neighbour("LV", 1), "");
}

TEST(WindowLayout, TooltipsExactlyForTheDescribedControls) {
  std::map<std::string, std::string> tips;
  for (const ControlDef& d : control_defs())
    if (d.tooltip) tips[d.name] = d.tooltip;
  EXPECT_EQ(tips.size(), 9u);
  for (const char* none : {"ENDDIALOG", "LOG", "HES", "ZALOZKARTU", "LV", "FTPRO", "FTPOCO"})
    EXPECT_EQ(tips.count(none), 0u) << none;
  EXPECT_EQ(tips["TLKAM"], "Výběr složky, kde jsou sdílená data KTR");
  EXPECT_EQ(tips["NZNET"].back(), ' ');  // the trailing blank stays
  EXPECT_EQ(control_by_name("wkam")->text_limit, 60);
  EXPECT_EQ(control_by_name("WISERV")->text_limit, 128);
  EXPECT_EQ(control_by_name("POCDNU")->text_limit, 2);
  EXPECT_EQ(control_by_id(999), nullptr);
}

}  // namespace
}  // namespace app
