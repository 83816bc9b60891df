// The control objects of the dialog template "HlavniSDI": id, name, kind, tooltip and text
// limit of each, in template order. The Win32 window attaches to the template by these ids;
// the tab order and the tooltip set follow from this one table.
#pragma once

#include <string_view>
#include <vector>

namespace app {

enum class ControlKind { kButton, kMySLE, kEdit, kCheckBox, kLabel, kListView };

struct ControlDef {
  int id;
  const char* name;
  ControlKind kind;
  bool tab_stop;
  const char* tooltip;  // nullptr: none shown
  int text_limit;       // 0: none
};

// Every control object (the plain labels and group frames have none), in template order.
const std::vector<ControlDef>& control_defs();
const ControlDef* control_by_name(std::string_view name);  // any letter case
const ControlDef* control_by_id(int id);
// The names of the tab-stop controls in tab order.
std::vector<std::string_view> tab_order();
// The tab-stop control after (step 1) or before (step -1) name, wrapping around.
std::string_view tab_neighbour(std::string_view name, int step);

inline constexpr int kIconId = 101;
inline constexpr const char* kDialogName = "HlavniSDI";
inline constexpr const char* kWindowCaption = "Import Objednávek";
inline constexpr const char* kFolderDialogText = "Pro zálohu dat";
// The list view's columns: heading and width in characters.
inline constexpr int kLvColumnChars[] = {9, 16};

}  // namespace app
