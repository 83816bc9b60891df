// The table layer's process-wide settings, fixed by start-up, and the network-error flag.
#pragma once

#include <string>

namespace xbase {

class Collation;

struct TableSettings {
  bool exclusive = false;         // default share mode of an open that asks for nothing
  bool deleted_hidden = true;     // deleted records hidden from navigation and seek
  std::string driver = "DBFNTX";  // driver of opens and creations that name none
  std::string default_folder;     // folder for bare table names
  bool ansi = false;              // false: tables hold the OEM code page
  int oem_codepage = 852;         // the OEM page of the tables
  std::string date_format = "DD.MM.YYYY";
  bool century = true;
  int epoch = 1910;
  const Collation* collation = nullptr;  // nullptr: binary order of the stored key
};

TableSettings& table_settings();

// What start-up fixes, in its order: shared opens by default, deleted records hidden, the
// DBFNTX driver, the locale's collation, OEM text in the operating system's OEM page, dates
// "DD.MM.YYYY" with the century shown and epoch 1910.
void apply_startup_table_settings();
// The operating system's OEM code page where the layer knows it, else 852.
int system_oem_codepage();

// Raised by an open refused for a sharing conflict; cleared by every open.
bool net_err();
void set_net_err(bool v);

// Resolves a table or index name as the layer does: a bare name goes to the default folder,
// ext is added when the name has none, the letter case of the file on disk is found.
std::string resolve_table_path(const std::string& name, const std::string& ext);

}  // namespace xbase
