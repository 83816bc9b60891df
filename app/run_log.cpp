// Writes ESH_RUN.LOG (UTF-8 text with a byte-order mark, CR LF line ends, one block per run)
// and the documents doklady/YYYYMMDD-HHMMSS[_NN].txt, byte for byte as downloaded.
#include "app/run_log.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <vector>

#include "data/program_state.h"
#include "platform/file/file.h"

namespace app {
namespace {

const char kBom[] = "\xEF\xBB\xBF";

std::string two(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

std::string stamp(const LogTime& t) {
  return std::to_string(t.year) + two(t.month) + two(t.day) + "-" + two(t.hour) + two(t.minute) +
         two(t.second);
}

std::string shown(const LogTime& t) {
  return two(t.day) + "." + two(t.month) + "." + std::to_string(t.year) + " " + two(t.hour) + ":" +
         two(t.minute) + ":" + two(t.second);
}

const char* yes_no(bool b) { return b ? "ano" : "ne"; }

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  size_t b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b);
}

// A kept document's name: 8 digits, '-', 6 digits, an optional "_NN", ".txt".
bool kept_name(const std::string& n) {
  auto digits = [&](size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i)
      if (i >= n.size() || n[i] < '0' || n[i] > '9') return false;
    return true;
  };
  if (n.size() != 19 && n.size() != 22) return false;
  if (!digits(0, 8) || n[8] != '-' || !digits(9, 6)) return false;
  if (n.size() == 22 && (n[15] != '_' || !digits(16, 2))) return false;
  return n.compare(n.size() - 4, 4, ".txt") == 0;
}

std::filesystem::path native(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

void append(const std::string& path, const std::string& text) {
  xbase::OpenOptions o;
  o.create = true;
  auto f = xbase::file_system().open(path, o);
  uint64_t at = f->size();
  std::string bytes = at == 0 ? kBom + text : text;
  f->write_at(at, bytes.data(), bytes.size());
  f->sync();
}

}  // namespace

LogTime LogTime::now() {
  std::time_t now = std::time(nullptr);
  const std::tm* tm = std::localtime(&now);
  LogTime t;
  if (!tm) return t;
  t.year = tm->tm_year + 1900;
  t.month = tm->tm_mon + 1;
  t.day = tm->tm_mday;
  t.hour = tm->tm_hour;
  t.minute = tm->tm_min;
  t.second = tm->tm_sec;
  return t;
}

std::string end_text(RunRecord::End end) {
  switch (end) {
    case RunRecord::End::kRefused:
      return "odmítnut před stažením (chybí adresa nebo data Kontor)";
    case RunRecord::End::kNoDocument:
      return "nebyla načtena žádná objednávka";
    case RunRecord::End::kMalformed:
      return "načtený soubor nemá strukturu objednávek";
    case RunRecord::End::kUnknownRecord:
      return "načítání zastaveno u neznámého typu věty, nic nezapsáno";
    case RunRecord::End::kNoWorkTable:
      return "pracovní tabulku nebylo možné otevřít, nic nezapsáno";
    case RunRecord::End::kNotOpened:
      return "tabulky Kontor nebylo možné otevřít nebo použít, nic nezapsáno";
    case RunRecord::End::kStopped:
      return "zastaven (zrušené opakování nebo plné počítadlo partnerů), další objednávky "
             "nezapsány";
    case RunRecord::End::kPosted:
      return "dokončen, prošel všechny objednávky";
    case RunRecord::End::kError:
      return "ukončen neočekávanou chybou (popis v ESH_ERR.LOG)";
  }
  return "?";
}

// What became of the confirmation: the shop stops exporting the orders only after a 2xx.
std::string confirmation_text(const RunRecord& run) {
  if (run.confirmation_sent) return "odesláno";
  if (!run.confirmation_tried) return "neodesláno";
  if (run.confirmation_status == 0) return "selhalo, e-shop neodpověděl";
  return "selhalo, e-shop odpověděl stavem " + std::to_string(run.confirmation_status);
}

RunLog::RunLog(std::string folder, LogClock clock)
    : folder_(std::move(folder)), clock_(std::move(clock)) {}

std::string RunLog::folder() const {
  return folder_.empty() ? data::program_folder() : data::with_separator(folder_);
}

std::string RunLog::log_path() const { return folder() + kRunLogName; }

std::string RunLog::document_folder() const { return folder() + kDocumentFolder; }

std::string RunLog::Block(const RunRecord& run, const LogTime& t, const std::string& document) {
  std::string b;
  auto line = [&b](const std::string& s) { b += s + "\r\n"; };
  line("=== Import objednávek " + shown(t) + " ===");
  line("Adresa: " + run.address);
  line("Data Kontor: " + run.data_folder);
  if (run.preview) line("Zkušební import, nic nezapsáno");
  if (!run.recovered.empty()) line("Dopsáno z deníku IMPORTOBJ.JNL: " + run.recovered);
  line(std::string("Volby: NZAS ") + yes_no(run.nzas) + ", NZNET " + yes_no(run.nznet) +
       ", ZALOZKARTU " + yes_no(run.zalozkartu) + ", POCDNU " +
       (trimmed(run.days).empty() ? "0" : trimmed(run.days)));
  line("Přečteno: objednávek " + std::to_string(run.read_orders) + ", položek " +
       std::to_string(run.read_items));
  line("Dobrých: objednávek " + std::to_string(run.good_orders) + ", položek " +
       std::to_string(run.good_items));
  line("Chybných: objednávek " + std::to_string(run.bad_orders) + ", položek " +
       std::to_string(run.bad_items));
  if (run.rejected.empty()) {
    line("Chybné záznamy: žádné");
  } else {
    line("Chybné záznamy: " + std::to_string(run.rejected.size()));
    for (const auto& row : run.rejected) {
      std::string order = row.empty() ? "" : trimmed(row[0]);
      std::string reason = row.size() > 1 ? row[1] : "";
      line("  " + order + ": " + reason);
    }
  }
  for (const auto& ix : run.kept_indexes)
    line("Index v řazení svého vlastníka, ne podle nastavení stanice: " + ix);
  for (const std::string& p : run.preview_lines) line("  " + p);
  line("Konec: " + end_text(run.end));
  if (run.end == RunRecord::End::kError) line("Chyba: " + run.error);
  line("Potvrzení e-shopu: " + confirmation_text(run));
  line("Doklad: " + (document.empty() ? std::string("žádný") : document));
  line("");
  return b;
}

std::string RunLog::keep_document(const std::string& bytes, const LogTime& t) const {
  std::string dir = document_folder();
  std::error_code ec;
  std::filesystem::create_directories(native(dir), ec);
  if (ec) throw std::runtime_error(dir + ": " + ec.message());
  xbase::FileSystem& fs = xbase::file_system();
  std::string name = stamp(t) + ".txt";
  for (int n = 2; fs.exists(xbase::path_join(dir, name)) && n < 100; ++n)
    name = stamp(t) + "_" + two(n) + ".txt";
  xbase::OpenOptions o;
  o.create = true;
  o.truncate = true;
  auto f = fs.open(xbase::path_join(dir, name), o);
  f->write_at(0, bytes.data(), bytes.size());
  f->sync();
  return std::string(kDocumentFolder) + "/" + name;
}

void RunLog::prune() const {
  std::string dir = document_folder();
  xbase::FileSystem& fs = xbase::file_system();
  std::vector<std::string> kept;
  for (const std::string& n : fs.list_dir(dir))
    if (kept_name(n)) kept.push_back(n);
  if (kept.size() <= kKeptDocuments) return;
  // The names sort as their times do.
  std::sort(kept.begin(), kept.end());
  for (size_t i = 0; i + kKeptDocuments < kept.size(); ++i)
    fs.remove(xbase::path_join(dir, kept[i]));
}

void RunLog::operator()(const RunRecord& run) const noexcept {
  try {
    LogTime t = clock_();
    std::string document;
    if (!run.document.empty()) {
      try {
        document = keep_document(run.document, t);
        prune();
      } catch (const std::exception& e) {
        document = std::string("neuložen (") + e.what() + ")";
        std::fprintf(stderr, "run log: document not kept: %s\n", e.what());
      }
    }
    append(log_path(), Block(run, t, document));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "run log: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "run log: unknown error\n");
  }
}

}  // namespace app
