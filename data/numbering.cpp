#include "data/numbering.h"

#include <cmath>
#include <string>

#include "data/error_report.h"
#include "data/shared_access.h"
#include "platform/file/journal.h"
#include "platform/table/settings.h"
#include "platform/table/table_error.h"
#include "platform/table/work_areas.h"

namespace data {
namespace {

// Opens POSCI exclusively into a new lowest free area as KP; false when refused.
bool open_counter_table() {
  xbase::WorkAreas& areas = xbase::WorkAreas::instance();
  areas.select_free();
  xbase::UseOptions options;
  options.shared = false;
  options.read_only = false;
  try {
    return areas.use("POSCI", "KP", options) && !xbase::net_err();
  } catch (const xbase::TableError& e) {
    report_error(e);
    return false;
  }
}

// Closes KP on every way out, so that the exclusive hold never outlives the call.
class CloseArea {
 public:
  explicit CloseArea(int area) : area_(area) {}
  ~CloseArea() {
    try {
      xbase::WorkAreas::instance().close(area_);
    } catch (...) {
      // Already failing: the first error is the one to report.
    }
  }
  void close() {
    int a = area_;
    area_ = 0;
    xbase::WorkAreas::instance().close(a);
  }
  CloseArea(const CloseArea&) = delete;
  CloseArea& operator=(const CloseArea&) = delete;

 private:
  int area_;
};

}  // namespace

std::int64_t NOVECISLO(std::string_view counter_field) {
  // Another workstation takes its numbers from the same counter: the taken number goes to the
  // disk at once, never into the posting's journal.
  xbase::Journal::Bypass bypass;
  while (!open_counter_table())
    if (!OPAKOVAT(ui::main_owner())) return 0;

  xbase::WorkAreas& areas = xbase::WorkAreas::instance();
  int area = areas.current();
  CloseArea guard(area);
  xbase::DbfTable& kp = *areas.table(area);
  kp.go_top();
  if (kp.eof())
    throw xbase::TableError(xbase::kErrRead, 0, kp.path(), "no record holds the counters");
  xbase::Value stored = kp.get(counter_field);
  if (stored.type() != xbase::Value::Type::kNumber)
    throw xbase::TableError(xbase::kErrDataType, 0, kp.path(),
                            "counter " + std::string(counter_field) + " is not numeric");
  std::int64_t next = std::llround(stored.num()) + 1;
  // A counter below 1 (damaged or never set) starts again at 1: 0 would read as "no number".
  if (next > kCounterMax || next < 1) next = 1;
  kp.put(counter_field, xbase::Value::number(static_cast<double>(next)));
  kp.commit();
  guard.close();
  return next;
}

}  // namespace data
