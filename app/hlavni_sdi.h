// The main window's logic, written once against the window interface: the folder check, the
// work tables, the settings load and save, and what follows the window's construction.
// The Win32 dialog, the console front-end and the tests drive it through ui::WindowInterface.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

namespace app {

// What one import run did, for the run log: filled by Spustit, handed to the run observer.
struct RunRecord {
  enum class End {
    kRefused,        // no address, or the folder check failed: nothing was requested
    kNoDocument,     // the download gave no document
    kMalformed,      // the document does not begin with an order header
    kUnknownRecord,  // the loading stopped at a record of unknown type
    kNoWorkTable,    // a work table could not be opened
    kNotOpened,      // an accounting table could not be opened
    kStopped,        // the user cancelled a retry during the posting
    kPosted,         // the posting ran over all orders
    kError,          // an unexpected error ended it (shown and written to the error log)
  };
  End end = End::kRefused;
  std::string address, data_folder;
  bool nzas = false, nznet = false, zalozkartu = false;
  std::string days;
  std::string document;  // as downloaded
  unsigned read_orders = 0, read_items = 0;
  unsigned good_orders = 0, bad_orders = 0, good_items = 0, bad_items = 0;
  std::vector<std::vector<std::string>> rejected;  // the LV rows this run added
  bool confirmation_sent = false;                  // the shop answered the confirmation with 2xx
  bool confirmation_tried = false;
  long confirmation_status = 0;  // the shop's HTTP status; 0 when no answer came
  std::string error;             // kError: the error's description
  std::string recovered;         // order numbers a crashed run left in the journal, written before
  bool preview = false;          // a preview run: nothing written, the shop not told
  std::vector<std::string> preview_lines;  // what a run would write, an order a line
  // Indexes kept in their owner's collation, not the start-up one ("FILE (TAG): NAME").
  std::vector<std::string> kept_indexes;
};

// The value type of the days field POCDNU: "N", 2, 0.
struct ZAP_ZNAK {
  static constexpr char kType = 'N';
  static constexpr int kLength = 2;
  static constexpr int kDecimals = 0;
  // The number a text of the field stands for: its leading digits; none (empty) gives 0.
  static double value_of(std::string_view text);
  static std::string text_of(double value);
};

class HlavniSDI {
 public:
  explicit HlavniSDI(ui::WindowInterface& window) : win_(window) {}
  ui::WindowInterface& window() { return win_; }

  // The controls as the dialog template leaves them: for windows that have no template.
  static void ApplyTemplate(ui::Controls& controls);
  // The text limits of the edit fields.
  void Init();
  // The days field's value type, the settings load, the list columns, and the main
  // window reference, in this order.
  void PostInit();

  // The import run: download, loading, posting, confirmation.
  void Spustit();
  // The same run as a preview: every verdict of a run, nothing written, the shop not told.
  void Zkusebni();
  const RunRecord& last_run() const { return last_run_; }
  // Called at the end of every run that was started (the run log).
  void set_run_observer(std::function<void(const RunRecord&)> observer) {
    run_observer_ = std::move(observer);
  }
  // The address the confirmation request goes to, for an address as the run took it.
  static std::string ConfirmationAddress(const std::string& address);

  void TLKAM();             // folder dialog, then the folder check
  bool KontrolaKam();       // sets the target data folder from WKAM; true when the tables are there
  void VytvoreniDB();       // ESH_HLA.DBF made anew, ESH_POL.DBF made when missing
  void NacteniNastaveni();  // the settings load
  void Ulozit();            // the settings save
  void EndDialog() { ended_ = true; }
  bool ended() const { return ended_; }

  // The value of POCDNU as a number of its value type.
  double PocetDnu() const;

  // A button's operation under the default error handling: an unexpected error of the table
  // layer or the runtime is reported (box and error log) and the window goes on. False then.
  bool Guarded(const std::function<void()>& operation);
  // The button rule: the operation whose name equals the button's name (any letter case).
  // False for a button this class has no operation for.
  bool Click(std::string_view button);

 private:
  void Run(bool preview);
  void RunSteps(RunRecord& run);

  ui::WindowInterface& win_;
  bool ended_ = false;
  RunRecord last_run_;
  std::function<void(const RunRecord&)> run_observer_;
};

}  // namespace app
