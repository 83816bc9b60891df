// One order, one atomic change: while a Journal is active for a data folder, the files under
// it opened exclusively for writing (not created or emptied) keep their writes in memory.
// commit() puts every changed range of every such file into the redo journal, syncs the
// journal once and only then writes the ranges in place; abort() drops what was not
// committed and discards every later write of those files; checkpoint() syncs the files and
// empties the journal. recover_journal() replays what a crash left. Format: journal_format.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file/file.h"
#include "platform/file/journal_format.h"

namespace xbase {

inline constexpr const char* kJournalName = "IMPORTOBJ.JNL";

struct JournalState;

class Journal : public ForwardingFileSystem {
 public:
  // Installs itself as the process file system over the current one. Throws FileError, or
  // JournalRefused when a journal with commits waits in the folder (recover it first).
  // checkpoint_bytes: a checkpoint syncs every journaled file, some twenty in a run; at 4 MB
  // they were a tenth of a 1,000-order run's syncs and its time.
  explicit Journal(const std::string& folder, uint64_t checkpoint_bytes = 16u << 20);
  // A preview: every write of the journaled files is held until the end and then dropped;
  // commit() keeps it pending, so later orders see earlier ones as a run would. No journal
  // file is made and no byte of the folder changes.
  struct Preview {};
  Journal(const std::string& folder, Preview);
  // Uninstalls; anything not committed is dropped.
  ~Journal() override;
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // label: what the operator will be told was recovered (the order number).
  void commit(const std::string& label);
  // Whether the last commit() got its mark on disk (an error after it still leaves it whole).
  bool last_commit_durable() const { return durable_; }
  void abort();
  void checkpoint();
  // A last checkpoint, the journal removed; the wrapped files write straight through after.
  void finish();

  std::unique_ptr<File> open(const std::string& path, const OpenOptions& opts) override;

  // Files opened while one exists pass straight through: a counter another workstation must
  // see at once is never held back.
  class Bypass {
   public:
    Bypass();
    ~Bypass();
    Bypass(const Bypass&) = delete;
    Bypass& operator=(const Bypass&) = delete;
  };

 private:
  bool journaled(const std::string& path, const OpenOptions& opts) const;
  void empty_journal();

  FileSystem* previous_;  // the override this one replaced (nullptr: the native one)
  std::string folder_;
  std::string path_;
  uint64_t checkpoint_bytes_;
  std::shared_ptr<JournalState> state_;
  std::unique_ptr<File> file_;
  uint64_t size_ = 0;
  bool durable_ = false;
  bool keep_ = false;  // a commit failed in place: the next start must replay the journal
  bool preview_ = false;
};

struct RecoveryReport {
  bool found = false;                // a journal with commits was there
  bool torn_tail = false;            // an unfinished last commit was dropped
  std::vector<std::string> written;  // labels of the commits that had to be written again
  std::vector<std::string> labels;   // every commit's label
};

// Replays the journal left in folder: takes each file it names exclusively (FileError of kind
// kSharing when one is busy), checks every range before writing a byte, writes what is
// missing, syncs, removes the journal. Throws JournalRefused when the journal is damaged or a
// file holds neither the old nor the new bytes of a range (another program changed it).
RecoveryReport recover_journal(const std::string& folder, FileSystem& fs = file_system());
// What a journal left in folder holds, without writing (check; nothing when none waits).
JournalContents read_journal(const std::string& folder, FileSystem& fs = file_system());

}  // namespace xbase
