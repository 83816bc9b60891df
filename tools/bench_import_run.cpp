// bench_import's run: the folder made by the layer, the document loaded into the work tables,
// posted, committed and closed as an import run does it, each phase timed and its calls
// through the FileSystem seam counted; then the tables are counted against the document.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "app/hlavni_sdi.h"
#include "data/pozad.h"
#include "data/program_state.h"
#include "data/shared_access.h"
#include "import/loading.h"
#include "import/posting.h"
#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"
#include "platform/table/work_areas.h"
#include "platform/window/memory_window.h"
#include "tools/bench_import.h"
#include "tools/bench_import_parts.h"
#include "tools/sample_tables.h"

namespace bench_import {
namespace {

using Clock = std::chrono::steady_clock;

struct Phase {
  std::string name;
  double seconds = 0;
  double cpu = 0;  // processor time of the process (wall time where clock() gives that)
  IoTally io;
};

// The process-wide state the run changes, put back however it ends.
class StateGuard {
 public:
  StateGuard(CountingFileSystem& fs, ui::MemoryWindow& window) : saved_(xbase::table_settings()) {
    xbase::set_file_system(&fs);
    ui::set_boxes(&window);
    ui::set_main_window(&window);
  }
  ~StateGuard() {
    try {
      xbase::WorkAreas::instance().close_all();
    } catch (...) {  // the run's own error is the one reported
    }
    xbase::WorkAreas::instance().select(1);
    ui::set_boxes(nullptr);
    ui::set_main_window(nullptr);
    data::set_program_folder("");
    data::clear_target_folder();
    xbase::table_settings() = saved_;
    xbase::set_file_system(nullptr);
  }
  StateGuard(const StateGuard&) = delete;
  StateGuard& operator=(const StateGuard&) = delete;

 private:
  xbase::TableSettings saved_;
};

class Timer {
 public:
  Timer(const CountingFileSystem& fs, std::vector<Phase>& phases, std::string name)
      : fs_(fs),
        phases_(phases),
        name_(std::move(name)),
        io_(fs.counts()),
        t0_(Clock::now()),
        c0_(std::clock()) {}
  void stop() {
    double s = std::chrono::duration<double>(Clock::now() - t0_).count();
    double c = static_cast<double>(std::clock() - c0_) / CLOCKS_PER_SEC;
    phases_.push_back({name_, s, c, fs_.counts() - io_});
  }

 private:
  const CountingFileSystem& fs_;
  std::vector<Phase>& phases_;
  std::string name_;
  IoTally io_;
  Clock::time_point t0_;
  std::clock_t c0_;
};

uint32_t records(const std::string& dir, const char* table) {
  xbase::TableOpenOptions o;
  o.share = xbase::ShareMode::kExclusive;
  auto t = xbase::DbfTable::open(xbase::path_join(dir, table), o);
  uint32_t n = t->record_count();
  t->close();
  return n;
}

void row(std::ostream& out, const std::string& name, double seconds, double cpu, double r, double w,
         double f, double o, int decimals) {
  char buf[200];
  std::snprintf(buf, sizeof buf, "%-30s %9.3f %9.3f %10.*f %10.*f %10.*f %10.*f\n", name.c_str(),
                seconds, cpu, decimals, r, decimals, w, decimals, f, decimals, o);
  out << buf;
}

int scaled(double base, double scale, int least) {
  return std::max(least, static_cast<int>(base * scale + 0.5));
}

void configure() {
  xbase::TableSettings& ts = xbase::table_settings();
  ts.exclusive = false;
  ts.deleted_hidden = true;
  ts.driver = "DBFNTX";
}

// Every file of dir on disk, so that no run pays for the writes that made the folder.
void settle(const std::string& dir) {
  xbase::OpenOptions o;
  o.share = xbase::ShareMode::kExclusive;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    xbase::native_file_system().open(e.path().string(), o)->sync();
}

// Loads, posts, commits and closes as an import run does, each phase timed; with syncs off
// every sync is counted but skipped. False when the loading stopped.
bool post_run(CountingFileSystem& counting, const std::string& dir, const std::string& program,
              const std::string& document, bool syncs, std::vector<Phase>& phases,
              ::import::PostingResult* posted) {
  ui::MemoryWindow window;
  StateGuard guard(counting, window);
  configure();
  counting.set_syncs(syncs);
  data::set_program_folder(data::with_separator(program));
  data::set_target_folder(data::with_separator(dir));
  window.set_text("POCDNU", "14");
  app::HlavniSDI sdi(window);

  Timer load(counting, phases, "load");
  auto prepare = [&] { sdi.VytvoreniDB(); };
  ::import::LoadResult loaded = ::import::load_document(window, document, prepare);
  load.stop();
  if (!loaded.run_on()) return false;
  Timer post(counting, phases, "post (incl. POZAD reindex)");
  *posted = ::import::post_orders(window, *loaded.headers, *loaded.items);
  post.stop();
  Timer close(counting, phases, "commit/close");
  loaded.headers.reset();
  loaded.items.reset();
  xbase::WorkAreas::instance().commit_all();
  xbase::WorkAreas::instance().close_all();
  close.stop();
  if (!syncs) return true;

  // The reindex that ends the posting, once more on its own, to show its share.
  Timer reindex(counting, phases, "POZAD reindex alone (again)");
  {
    auto pozad = data::OPSERVER<data::Pozad>(false, false);
    if (pozad) {
      pozad->set_order(1);
      pozad->reindex();
      pozad->close();
    }
  }
  reindex.stop();
  counting.set_syncs(true);
  return true;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  double scale = 1.0;
  std::string keep;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--scale" && i + 1 < args.size()) {
      scale = std::atof(args[++i].c_str());
    } else if (args[i] == "--keep" && i + 1 < args.size()) {
      keep = args[++i];
    } else {
      err << "usage: bench_import [--scale F] [--keep DIR]\n";
      return 3;
    }
  }
  if (!(scale > 0 && scale <= 10)) {
    err << "bench_import: --scale wants a number above 0 and at most 10\n";
    return 3;
  }
  namespace fs = std::filesystem;
  fs::path base = keep.empty() ? fs::temp_directory_path() / "bench-import" : fs::path(keep);
  for (const char* sub : {"data", "program", "data-nosync", "program-nosync"}) {
    fs::remove_all(base / sub);
    if (std::string(sub).rfind("program", 0) == 0) fs::create_directories(base / sub);
  }
  const std::string dir = (base / "data").string(), program = (base / "program").string();
  const std::string quiet_dir = (base / "data-nosync").string(),
                    quiet_program = (base / "program-nosync").string();

  sample::SampleSizes sizes;
  sizes.orders = scaled(100000, scale, 10);
  sizes.partners = scaled(20000, scale, 6);
  sizes.cards = scaled(50000, scale, 5);
  sizes.lines = scaled(1000000, scale, 10);
  const int doc_orders = scaled(1000, scale, 6), doc_items = 5;

  CountingFileSystem counting(xbase::native_file_system());
  std::vector<Phase> phases, quiet;
  sample::SampleMade made;
  DocumentMix mix;
  std::string document;
  {
    ui::MemoryWindow window;
    StateGuard guard(counting, window);
    configure();
    Timer make(counting, phases, "make folder");
    made = sample::make_folder(dir, sizes, 7);
    std::vector<Partner> by_ico, by_name;
    existing_partners(dir, static_cast<size_t>(doc_orders), &by_ico, &by_name);
    document =
        make_document(doc_orders, doc_items, 2026000001.0, by_ico, by_name, made.cards, 11, &mix);
    make.stop();
  }
  fs::copy(dir, quiet_dir, fs::copy_options::recursive);
  settle(dir);
  settle(quiet_dir);
  const uint32_t zak0 = records(dir, "ZAK.DBF"), pozad0 = records(dir, "POZAD.DBF"),
                 dood0 = records(dir, "DOOD.DBF");

  ::import::PostingResult posted, quiet_posted;
  if (!post_run(counting, dir, program, document, true, phases, &posted) ||
      !post_run(counting, quiet_dir, quiet_program, document, false, quiet, &quiet_posted)) {
    err << "bench_import: the loading stopped\n";
    return 2;
  }

  const uint32_t zak1 = records(dir, "ZAK.DBF"), pozad1 = records(dir, "POZAD.DBF"),
                 dood1 = records(dir, "DOOD.DBF");
  out << "folder " << dir << "\n";
  out << "ZAK " << zak0 << " orders, DOOD " << dood0 << " partners, ZAS " << made.cards.size()
      << " cards, POZAD " << pozad0 << " lines\n";
  out << "document: " << doc_orders << " orders x " << doc_items
      << " items (partners: " << mix.by_ico << " by ICO, " << mix.by_name << " by name, "
      << mix.new_partners << " new)\n\n";
  char head[160];
  std::snprintf(head, sizeof head, "%-30s %9s %9s %10s %10s %10s %10s\n", "phase", "seconds",
                "cpu s", "reads", "writes", "flushes", "opens");
  out << head;
  for (const Phase& p : phases)
    row(out, p.name, p.seconds, p.cpu, static_cast<double>(p.io.all.reads),
        static_cast<double>(p.io.all.writes), static_cast<double>(p.io.all.flushes),
        static_cast<double>(p.io.all.opens), 0);
  // The same run on a copy of the folder with syncs switched off: what the disk's waits cost.
  out << "\nthe same run on a copy of the folder, syncs counted but not done:\n";
  for (size_t i = 0; i < quiet.size() && i + 1 < phases.size(); ++i) {
    const Phase& q = quiet[i];
    const Phase& r = phases[i + 1];
    char buf[200];
    std::snprintf(buf, sizeof buf, "%-30s %9.3f %9.3f   real / this: %.2f x wall, %.2f x cpu\n",
                  q.name.c_str(), q.seconds, q.cpu, q.seconds > 0 ? r.seconds / q.seconds : 0.0,
                  q.cpu > 0 ? r.cpu / q.cpu : 0.0);
    out << buf;
  }
  if (quiet_posted.good_orders != posted.good_orders)
    out << "the run without syncs posted " << quiet_posted.good_orders << " orders\n";
  if (posted.good_orders > 0) {
    const double n = posted.good_orders;
    const Phase& load_p = phases[1];
    const Phase& post_p = phases[2];
    const Phase& close_p = phases[3];
    auto per_order = [&](const std::string& name, double seconds, double cpu, const IoCounts& io) {
      row(out, name, seconds / n, cpu / n, static_cast<double>(io.reads) / n,
          static_cast<double>(io.writes) / n, static_cast<double>(io.flushes) / n,
          static_cast<double>(io.opens) / n, 1);
    };
    per_order("per posted order: post", post_p.seconds, post_p.cpu, post_p.io.all);
    IoCounts all = load_p.io.all;
    for (const IoCounts* c : {&post_p.io.all, &close_p.io.all}) {
      all.reads += c->reads;
      all.writes += c->writes;
      all.flushes += c->flushes;
      all.opens += c->opens;
      all.bytes_written += c->bytes_written;
    }
    per_order("per posted order: load..close", load_p.seconds + post_p.seconds + close_p.seconds,
              load_p.cpu + post_p.cpu + close_p.cpu, all);
    out << "bytes written per posted order: post " << post_p.io.all.bytes_written / n
        << ", load..close " << all.bytes_written / n << "\n";
    out << "\npost, per posted order, by file kind\n";
    for (const auto& [kind, io] : post_p.io.by_kind)
      per_order("  " + (kind.empty() ? std::string("(no extension)") : kind), 0, 0, io);
  }
  out << "\nposted orders: " << posted.good_orders << " of " << doc_orders << ", rejected "
      << posted.bad_orders << "; items " << posted.good_items << " of " << doc_orders * doc_items
      << ", rejected " << posted.bad_items << "\n";
  out << "tables grew: ZAK +" << zak1 - zak0 << ", POZAD +" << pozad1 - pozad0 << ", DOOD +"
      << dood1 - dood0 << "\n";
  if (keep.empty()) fs::remove_all(base);
  return 0;
}

}  // namespace bench_import
