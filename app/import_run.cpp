// The import run behind the button SPUSTIT: the address and folder checks, the download, the
// first check of the document, the loading and the posting, and the closing steps with the
// confirmation to the shop. The run blocks the window's thread from start to end.
#include <exception>
#include <functional>
#include <string>

#include "app/hlavni_sdi.h"
#include "data/journal_recovery.h"
#include "data/program_state.h"
#include "data/shared_access.h"
#include "import/loading.h"
#include "import/order_document.h"
#include "import/posting.h"
#include "platform/file/journal.h"
#include "platform/http/http.h"
#include "platform/index/collation_detect.h"
#include "platform/table/work_areas.h"

namespace app {
namespace {

const char* const kDisabledByRun[] = {"WKAM", "TLKAM", "WISERV", "SPUSTIT", "ULOZIT", "ENDDIALOG"};
const char* const kEnabledAfterRun[] = {"WKAM", "TLKAM", "SPUSTIT", "ENDDIALOG"};

std::string trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool no_document(const std::string& doc) {
  return doc.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Up to n characters of the document from position from (counted from 0), as the box shows
// them: the document is in the shop's code page, the box in UTF-8.
std::string excerpt(const std::string& doc, size_t from, size_t n) {
  if (from >= doc.size()) return {};
  return import::document_text(std::string_view(doc).substr(from, n));
}

// The common exit: every path of the run ends here, also when an error escapes the run.
class CommonExit {
 public:
  explicit CommonExit(ui::WindowInterface& w) : w_(w) {}
  ~CommonExit() {
    try {
      xbase::WorkAreas::instance().close_all();
    } catch (...) {  // a close that fails must not keep the window locked
    }
    for (const char* c : kEnabledAfterRun) w_.set_enabled(c, true);
    // Disabling the button moved the focus on, maybe to a check box a stray Space toggles.
    w_.focus("SPUSTIT");
    w_.set_busy(false);
  }
  CommonExit(const CommonExit&) = delete;
  CommonExit& operator=(const CommonExit&) = delete;

 private:
  ui::WindowInterface& w_;
};

}  // namespace

std::string HlavniSDI::ConfirmationAddress(const std::string& address) {
  return address + "/module/port.php?key=&akce=exportOk";
}

void HlavniSDI::Spustit() { Run(false); }
void HlavniSDI::Zkusebni() { Run(true); }

void HlavniSDI::Run(bool preview) {
  RunRecord run;
  run.preview = preview;
  run.address = trimmed(win_.text("WISERV"));
  run.nzas = win_.checked("NZAS");
  run.nznet = win_.checked("NZNET");
  run.zalozkartu = win_.checked("ZALOZKARTU");
  run.days = win_.text("POCDNU");
  size_t rows_before = win_.rows().size();
  xbase::reset_orders_kept_otherwise();
  std::exception_ptr failure;
  {
    CommonExit exit(win_);
    try {
      RunSteps(run);
    } catch (const std::exception& e) {
      // The run log records this run too; the error goes on to the default error handling.
      run.end = RunRecord::End::kError;
      run.error = e.what();
      failure = std::current_exception();
    }
  }
  run.kept_indexes = xbase::orders_kept_otherwise();
  auto rows = win_.rows();
  if (rows.size() > rows_before) run.rejected.assign(rows.begin() + rows_before, rows.end());
  last_run_ = run;
  if (run_observer_) run_observer_(last_run_);
  if (failure) std::rethrow_exception(failure);
}

void HlavniSDI::RunSteps(RunRecord& run) {
  if (run.address.empty()) {
    win_.warning_box(ui::Owner::kMain, data::kRefusedCaption, "Není uvedeno označení serveru!");
    return;
  }
  if (!KontrolaKam()) return;
  run.data_folder = data::target_folder();
  if (run.preview) {
    // Recovery writes; a preview leaves a waiting journal to the next real run.
    if (!xbase::read_journal(run.data_folder).commits.empty()) {
      win_.warning_box(ui::Owner::kMain, data::kRefusedCaption,
                       "Ve složce dat čeká nedokončený zápis (IMPORTOBJ.JNL).\rZkušební import ho "
                       "nedokončí: spusťte ostrý import, nebo dbftool recover.");
      return;
    }
  } else if (!data::recover_data_folder(run.data_folder, &run.recovered)) {
    return;
  }
  win_.set_busy(true);
  for (const char* c : kDisabledByRun) win_.set_enabled(c, false);
  win_.set_visible("FTPRO", true);
  win_.set_text("FTPC", "HTTP načtení ze serveru");
  win_.refresh();

  xbase::CHttp http;
  run.document = http.GetDocumentByURL(run.address);
  const std::string& doc = run.document;
  if (no_document(doc)) {
    run.end = RunRecord::End::kNoDocument;
    win_.set_text("FTPSTATUS", "Z Bazaro nebyla načtena žádná objednávka");
    win_.warning_box(ui::Owner::kMain, data::kRefusedCaption,
                     "Buď se nepodařilo spojení se serverem nebo nejsou žádné objednávky!");
    return;
  }
  if (doc[0] != 'c') {
    run.end = RunRecord::End::kMalformed;
    win_.warning_box(ui::Owner::kMain, data::kRefusedCaption,
                     "Načtený soubor nemá strukturu objednávek!\n" + excerpt(doc, 0, 40) + "\n" +
                         excerpt(doc, 259, 40));
    win_.set_text("FTPSTATUS", "Chybná struktura objednávek");
    return;
  }

  std::function<void()> prepare = [this] { VytvoreniDB(); };
  import::LoadResult loaded = import::load_document(win_, doc, prepare);
  run.read_orders = static_cast<unsigned>(loaded.header_count);
  run.read_items = static_cast<unsigned>(loaded.item_count);
  bool confirm = false;
  switch (loaded.outcome) {
    case import::LoadOutcome::kUnknownRecord:
      run.end = RunRecord::End::kUnknownRecord;
      break;
    case import::LoadOutcome::kNoWorkTable:
      run.end = RunRecord::End::kNoWorkTable;
      break;
    case import::LoadOutcome::kLoaded: {
      import::PostingResult posted = import::post_orders(
          win_, *loaded.headers, *loaded.items, import::PostingClock::now(), loaded.held_back,
          run.preview ? import::PostingMode::kPreview : import::PostingMode::kRun);
      for (const import::OrderPreview& p : posted.previews)
        run.preview_lines.push_back(import::preview_text(p));
      run.good_orders = posted.good_orders;
      run.bad_orders = posted.bad_orders;
      run.good_items = posted.good_items;
      run.bad_items = posted.bad_items;
      run.end = posted.outcome == import::PostOutcome::kPostedAll   ? RunRecord::End::kPosted
                : posted.outcome == import::PostOutcome::kNotOpened ? RunRecord::End::kNotOpened
                                                                    : RunRecord::End::kStopped;
      // A document cut short is sent again whole only while the shop has not been told.
      confirm = posted.confirm() && !loaded.cut_short && !run.preview;
      break;
    }
  }

  win_.set_text("FTPC", "Hotovo");
  win_.set_text("FTPSTATUS",
                win_.text("FTPSTATUS") + (run.preview ? "Zkušební import: nic nebylo zapsáno"
                                                      : "Přenos objednávek ukončen"));
  win_.set_visible("FTPRO", false);
  loaded.headers.reset();
  loaded.items.reset();
  xbase::WorkAreas::instance().commit_all();
  xbase::WorkAreas::instance().close_all();
  // The shop stops exporting the orders it is told about, so it hears only of a posting that
  // went over every order; rejected orders stay listed for the operator.
  if (confirm) {
    http.GetDocumentByURL(ConfirmationAddress(run.address));
    run.confirmation_tried = true;
    run.confirmation_status = http.last_status();
    run.confirmation_sent = run.confirmation_status >= 200 && run.confirmation_status <= 299;
  }
  win_.set_busy(false);
  win_.warning_box(
      ui::Owner::kMain, "Oznámení",
      run.preview ? "Zkušební import ukončen, nic nebylo zapsáno." : "Přenos objednávek ukončen.");
}

}  // namespace app
