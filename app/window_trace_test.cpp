// The test build's trace lines: JSON that a reader takes back unchanged.
#include "app/window_trace.h"

#include <gtest/gtest.h>

#include "tests/support/test_util.h"

namespace app {
namespace {

TEST(WindowTrace, JsonStringEscapes) {
  EXPECT_EQ(json_string("Č.objednávky"), "\"Č.objednávky\"");
  EXPECT_EQ(json_string("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(json_string("x\ry\nz\t"), "\"x\\ry\\nz\\t\"");
  EXPECT_EQ(json_string(std::string("\x01", 1)), "\"\\u0001\"");
  EXPECT_EQ(WindowTrace::line("set_text", {jtext("c", "FTPC"), jnum("n", -3), jbool("b", true)}),
            "{\"ev\":\"set_text\",\"c\":\"FTPC\",\"n\":-3,\"b\":true}\n");
}

TEST(WindowTrace, LinesAppendToAFreshFileOnlyWhenOpened) {
  testutil::TempDir dir;
  WindowTrace t;
  t.write("lost");  // not open: nowhere to go
  EXPECT_FALSE(t.on());
  testutil::write_file(dir.file("t.jsonl"), {'o', 'l', 'd', '\n'});
  t.open(dir.file("t.jsonl"));
  t.write("a", {jtext("v", "Přenos")});
  t.write("b");
  EXPECT_EQ(testutil::read_text(dir.file("t.jsonl")),
            "{\"ev\":\"a\",\"v\":\"Přenos\"}\n{\"ev\":\"b\"}\n");
}

}  // namespace
}  // namespace app
