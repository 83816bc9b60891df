#include "data/journal_recovery.h"

#include "data/shared_access.h"
#include "platform/file/journal.h"
#include "platform/window/window.h"

namespace data {

std::string recovered_text(const std::string& orders) {
  size_t n = orders.empty() ? 0 : 1;
  for (char c : orders) n += c == ' ';
  return "Přerušený import byl dokončen z deníku IMPORTOBJ.JNL.\rDopsané objednávky (" +
         std::to_string(n) + "): " + orders;
}

bool recover_data_folder(const std::string& folder, std::string* recovered) {
  for (;;) {
    try {
      xbase::RecoveryReport r = xbase::recover_journal(folder);
      std::string orders;
      for (const std::string& label : r.written)
        if (!label.empty()) orders += (orders.empty() ? "" : " ") + label;
      if (recovered) *recovered = orders;
      if (!orders.empty())
        ui::boxes().info_box(ui::main_owner(), "Oznámení", recovered_text(orders));
      return true;
    } catch (const xbase::FileError& e) {
      if (e.kind() != xbase::FileErrorKind::kSharing && e.kind() != xbase::FileErrorKind::kLock)
        throw;
      if (!OPAKOVAT(ui::main_owner())) return false;
    } catch (const xbase::JournalRefused& e) {
      ui::boxes().error_box(ui::main_owner(), kRefusedCaption,
                            "Přerušený import nelze dokončit z deníku IMPORTOBJ.JNL:\r" +
                                std::string(e.what()) +
                                "\rNic nebylo zapsáno. Zkontrolujte data příkazem dbftool check,\r"
                                "deník zahoďte příkazem dbftool recover --discard\r"
                                "a indexy uvedeného souboru přebudujte (dbftool reindex).");
      return false;
    }
  }
}

}  // namespace data
