#include "app/cli_run.h"

#include <filesystem>
#include <system_error>

#include "app/cli_console.h"
#include "app/cli_options.h"
#include "app/program_folder.h"
#include "data/program_state.h"
#include "platform/table/settings.h"

namespace app {
namespace {

std::string trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(' ') - b + 1);
}

struct Counter {
  const char* control;
  const char* label;
};
constexpr Counter kCounters[] = {
    {"FTPOCO", "Přečteno objednávek"}, {"FTPOCP", "Přečteno položek"},
    {"FTPDOB", "Dobrých objednávek"},  {"FTPCHY", "Chybných objednávek"},
    {"FTKDOB", "Dobrých položek"},     {"FTKCHY", "Chybných položek"},
};

void print_outcome(const ui::MemoryWindow& w, std::ostream& out) {
  for (const Counter& c : kCounters) out << c.label << ": " << trimmed(w.text(c.control)) << '\n';
  auto rows = w.rows();
  out << "Chybné záznamy: " << rows.size() << '\n';
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) out << (i ? "\t" : "") << row[i];
    out << '\n';
  }
  out.flush();
}

// The window and the main window reference are this function's; nothing may point at them
// after it returns.
class Installed {
 public:
  explicit Installed(ui::WindowInterface& w) { ui::set_boxes(&w); }
  ~Installed() {
    ui::set_main_window(nullptr);
    ui::set_boxes(nullptr);
  }
  Installed(const Installed&) = delete;
  Installed& operator=(const Installed&) = delete;
};

}  // namespace

int exit_code(const RunRecord& run) {
  if (run.end != RunRecord::End::kPosted) return kExitStopped;
  if (run.confirmation_tried && !run.confirmation_sent) return kExitUnconfirmed;
  bool rejected = run.bad_orders > 0 || run.bad_items > 0 || !run.rejected.empty();
  return rejected ? kExitRejected : kExitPosted;
}

int run_cli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err, bool terminal) {
  CliParse parsed = parse_cli(args);
  if (!parsed.ok) {
    err << parsed.error << '\n' << cli_usage();
    return kExitUsage;
  }
  const CliOptions& o = parsed.options;
  if (o.help) {
    out << cli_usage();
    return kExitPosted;
  }
  std::string folder = o.program_folder.empty() ? executable_folder() : o.program_folder;
  if (folder.empty()) {
    err << "Složku programu nelze zjistit; zadejte --program-folder.\n";
    return kExitUsage;
  }
  // A mistyped folder would otherwise end in the settings table's raw open error.
  std::error_code ec;
  if (!std::filesystem::is_directory(std::u8string(folder.begin(), folder.end()), ec)) {
    err << "Složka programu " << folder << " neexistuje.\n";
    return kExitUsage;
  }
  xbase::apply_startup_table_settings();
  data::set_program_folder(folder);
  data::clear_target_folder();

  ConsoleWindow window(in, err, {terminal, o.retries, o.retry_wait});
  Installed installed(window);
  HlavniSDI sdi(window);
  HlavniSDI::ApplyTemplate(window);
  sdi.Init();
  if (!sdi.Guarded([&] { sdi.PostInit(); })) return kExitStopped;
  apply_options(o, window);
  if (o.save) sdi.Guarded([&] { sdi.Ulozit(); });
  bool finished = sdi.Guarded([&] { o.preview ? sdi.Zkusebni() : sdi.Spustit(); });
  print_outcome(window, out);
  if (o.preview) {
    const auto& lines = sdi.last_run().preview_lines;
    out << (lines.empty() ? "Zkušební import, nic nezapsáno.\n"
                          : "Zkušební import, nic nezapsáno. Import by zapsal:\n");
    for (const std::string& line : lines) out << line << '\n';
  }
  return finished ? exit_code(sdi.last_run()) : kExitStopped;
}

}  // namespace app
