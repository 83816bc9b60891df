// The run log: after every import run one block of Czech text appended to ESH_RUN.LOG in the
// program folder (UTF-8 with a byte-order mark, CR LF line ends, so Notepad shows it right),
// and the downloaded document kept as doklady/YYYYMMDD-HHMMSS.txt beside it, the last 30 only.
// It writes nothing that the tables or the settings hold, and it never fails a run.
#pragma once

#include <functional>
#include <string>

#include "app/hlavni_sdi.h"

namespace app {

struct LogTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  static LogTime now();  // the local date and time
};
using LogClock = std::function<LogTime()>;

inline constexpr const char* kRunLogName = "ESH_RUN.LOG";
inline constexpr const char* kDocumentFolder = "doklady";
inline constexpr size_t kKeptDocuments = 30;

// The Czech words for how a run ended.
std::string end_text(RunRecord::End end);

class RunLog {
 public:
  // folder: where the log and the document folder live; empty means the program folder as it
  // stands at each run.
  explicit RunLog(std::string folder = {}, LogClock clock = LogTime::now);

  // Keeps the document, appends the block. Every failure ends as one line on standard error.
  void operator()(const RunRecord& run) const noexcept;

  // The block for a run at time t; document names the kept file ("" when none was kept) or
  // carries the reason it was not kept.
  static std::string Block(const RunRecord& run, const LogTime& t, const std::string& document);

  std::string log_path() const;
  std::string document_folder() const;

 private:
  std::string folder() const;
  // The kept file's name under the document folder; throws when it cannot be written.
  std::string keep_document(const std::string& bytes, const LogTime& t) const;
  void prune() const;

  std::string folder_;
  LogClock clock_;
};

}  // namespace app
