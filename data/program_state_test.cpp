// The program and target folders, and the reporter of unexpected errors.
#include "data/program_state.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "data/data_test_support.h"
#include "data/error_report.h"
#include "platform/table/table_error.h"

namespace {

class ProgramState : public datatest::DataTest {};

TEST_F(ProgramState, FoldersEndInOneSeparator) {
  const std::string sep(1, data::path_separator());
  data::set_program_folder("prog");
  EXPECT_EQ(data::program_folder(), "prog" + sep);
  data::set_program_folder("prog" + sep);
  EXPECT_EQ(data::program_folder(), "prog" + sep);
  data::set_target_folder("");
  EXPECT_EQ(data::target_folder(), "") << "an empty folder stays empty";
  EXPECT_EQ(data::with_separator("a/b/"), "a/b/");
#ifdef _WIN32
  EXPECT_EQ(sep, "\\");
  EXPECT_EQ(data::with_separator("C:\\Kontor"), "C:\\Kontor\\");
  EXPECT_EQ(data::with_separator("C:/Kontor/"), "C:/Kontor/");
#else
  EXPECT_EQ(sep, "/");
  EXPECT_EQ(data::with_separator("a\\b"), "a\\b/");
#endif
}

TEST_F(ProgramState, TheTargetFollowsTheProgramFolderUntilSet) {
  data::clear_target_folder();
  data::set_program_folder("one");
  EXPECT_EQ(data::target_folder(), data::program_folder());
  data::set_program_folder("two");
  EXPECT_EQ(data::target_folder(), data::program_folder());
  data::set_target_folder("kontor");
  data::set_program_folder("three");
  EXPECT_EQ(data::target_folder(), data::with_separator("kontor"));
}

TEST_F(ProgramState, ErrorsGoToTheInstalledReporterOrTheDefault) {
  std::vector<std::string> seen;
  data::set_error_reporter([&](const std::exception& e) { seen.push_back(e.what()); });
  data::report_error(std::runtime_error("first"));
  EXPECT_EQ(seen, std::vector<std::string>{"first"});
  EXPECT_TRUE(window_.boxes.empty());
  data::set_error_reporter(nullptr);
  data::report_error(xbase::TableError(xbase::kErrCorruption, 0, "ZAK.DBF", "header damaged"));
  data::report_error(std::runtime_error("second\rline"));
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_EQ(window_.boxes[0].kind, ui::BoxRecord::Kind::kError);
  EXPECT_EQ(window_.boxes[0].owner, ui::Owner::kMain);
  EXPECT_EQ(window_.boxes[0].text, "ZAK.DBF: header damaged\rKód chyby: 32");
  std::string log = testutil::read_text(data::error_log_path());
  size_t first = log.find("ZAK.DBF: header damaged Kód chyby: 32\r\n");
  size_t second = log.find("second line\r\n");
  EXPECT_NE(first, std::string::npos) << log;
  EXPECT_NE(second, std::string::npos) << log;
  EXPECT_LT(first, second) << "appended in order";
}

}  // namespace
