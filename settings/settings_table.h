// The operator's settings in record 1 of ESH_NAS.DBF in the program folder: 27 fields, of
// which this program reads and writes nine; the others stay as another tool left them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/table/dbf_table.h"

namespace settings {

struct Settings {
  std::string kam;     // KAM: the accounting data folder (WKAM)
  std::string iserv;   // ISERV: the shop's export address (WISERV)
  std::string idir;    // IDIR: FTP address
  std::string log;     // LOG: FTP login
  std::string hes;     // HES: FTP password, plain text
  bool nzas = false;   // NZAS: do not check items against stock cards
  bool nznet = false;  // NZNET: item name from the shop, not from the stock card
  bool znb = false;    // ZNB: create a missing stock card (ZALOZKARTU)
  double pocdnu = 0;   // POCDNU: days added to the order date
};

// The 27 fields of ESH_NAS.DBF in their order.
const std::vector<xbase::FieldSpec>& esh_nas_fields();
// Full path of ESH_NAS.DBF in the program folder (the letter case found on disk).
std::string settings_path();

// Nothing when the table is missing or could not be opened (OPDBF told why). A table without
// records gives empty values. Texts come cut to what the window's fields take: KAM and IDIR
// to 60 characters, LOG and HES to 30, trailing blanks removed.
std::optional<Settings> load_settings();
// Creates the table when it is missing, appends record 1 when there is none, and writes the
// nine fields into it. False when OPDBF refused the open (it told why).
bool save_settings(const Settings& s);

// The first n characters (code points) of a UTF-8 text, then trailing blanks cut.
std::string cut_text(const std::string& utf8, size_t n);

}  // namespace settings
