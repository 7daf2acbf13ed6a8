#include "core/runtime/console_line_splitter.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using Lines = std::vector<std::string>;

Lines feedAll(QSConsoleLineSplitter& s, const std::vector<std::string>& chunks, bool finish = true) {
  Lines out;
  for (const auto& c : chunks)
    for (auto& l : s.feed(c)) out.push_back(l);
  if (finish)
    for (auto& l : s.finish()) out.push_back(l);
  return out;
}

TEST(ConsoleLineSplitterTest, ChunkBoundariesLineEndsAndBlankLines) {
  struct Case {
    const char* name;
    std::vector<std::string> chunks;
    Lines expected;
  } cases[] = {
      {"CR LF split across reads", {"Build comp", "lete!\r\nServer st", "arted"}, {"Build complete!", "Server started"}},
      {"blank lines dropped", {"a\n\n\r\nb\n"}, {"a", "b"}},
      {"only one CR dropped", {"x\r\r\n"}, {"x\r"}},
      {"whitespace-only tail dropped", {"a\n \t\r"}, {"a"}},
  };
  for (auto& c : cases) {
    QSConsoleLineSplitter s;
    EXPECT_EQ(feedAll(s, c.chunks), c.expected) << c.name;
  }
}

TEST(ConsoleLineSplitterTest, UTF8SplitAcrossReadsIsKeptAndBadBytesReplaced) {
  QSConsoleLineSplitter s;
  // "é" is C3 A9: the two bytes arrive in different reads.
  EXPECT_EQ(feedAll(s, {"caf\xC3", "\xA9\n"}, false), Lines{"café"});
  EXPECT_EQ(feedAll(s, {"bad \xFF byte\n", "cut \xE2\x82\n"}, false),
            (Lines{"bad \xEF\xBF\xBD byte", "cut \xEF\xBF\xBD"}));
  EXPECT_EQ(feedAll(s, {"end \xF0\x9F"}), Lines{"end \xEF\xBF\xBD"});
}

TEST(ConsoleLineSplitterTest, RunawayLineIsCutOnceAndTheRestSkipped) {
  QSConsoleLineSplitter s;
  std::string huge(200 * 1024, 'x');
  auto lines = feedAll(s, {huge.substr(0, 70000), huge.substr(70000), "\nnext\n"});
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), QSConsoleLineSplitter::maxLineBytes + QSConsoleLineSplitter::cutMarker.size());
  EXPECT_TRUE(lines[0].ends_with(QSConsoleLineSplitter::cutMarker));
  EXPECT_EQ(lines[1], "next");

  // A cut never splits a character.
  QSConsoleLineSplitter t;
  std::string wide;
  while (wide.size() < 70000) wide += "\xC3\xA9";
  auto cut = feedAll(t, {wide + "\n"});
  ASSERT_EQ(cut.size(), 1u);
  std::string body = cut[0].substr(0, cut[0].size() - QSConsoleLineSplitter::cutMarker.size());
  EXPECT_EQ(body.size() % 2, 0u);
  EXPECT_LE(body.size(), QSConsoleLineSplitter::maxLineBytes);
}

}  // namespace
}  // namespace qs
