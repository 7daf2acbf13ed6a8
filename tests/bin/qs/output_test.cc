// How qs fits what it prints to the terminal (tables, the status line of waits, publishes and
// downloads) and that its JSON survives text that is not UTF-8.
#include "bin/qs/json_output.h"
#include "bin/qs/output.h"
#include "bin/qs/publish_renderer.h"
#include "bin/qs/status_line.h"
#include "support/sample_records.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using testing::sampleID;

// A start error is the longest cell of `qs status`: on a terminal 60 columns wide its table
// keeps within 60, the error cut and marked, the other columns whole; off a terminal every
// character stays (and the full text is in `qs info` and --json either way).
TEST(TableWidth, ALongCellIsCutToTheTerminal) {
  QSFullStatus status;
  status.daemonVersion = "1.0";
  QSProject blog = testing::minimalProject();
  blog.id = sampleID(1);
  blog.name = "blog";
  blog.path = "/w/blog";
  blog.port = 8080;
  status.projects = {blog};
  std::string error = "Process exited with code 1: " + std::string(180, 'x');
  status.servers = {QSServer{blog.id, QSServerStatus::error, 8080, std::nullopt, std::nullopt, error}};

  std::string fitted = formatStatus(status, 60);
  EXPECT_NE(fitted.find("PROJECT  SERVER                         PORT  WATCH  PATH\n"
                        "blog     error: Process exited with c\u2026  8080  off    /w/blog\n"),
            std::string::npos)
      << fitted;
  EXPECT_NE(formatStatus(status).find("blog     error: " + error + "  8080  off    /w/blog\n"), std::string::npos);

  // Columns narrow no further than their headers, however little room there is.
  QSTextTable table({"NAME", "PATH"});
  table.addRow({"shop", "/home/someone/projects/shop"});
  EXPECT_EQ(table.render("  ", 10), "  NAME  PATH\n  shop  /ho\u2026\n");
}

// One status line for build waits, publish phases and downloads: on a terminal rewritten in
// place and cut to its width (a wrapped line can't be rewritten), elsewhere a line per change.
TEST(StatusLine, CutToTheTerminalOrALinePerChange) {
  std::string out;
  QSStatusLine terminal([&](std::string_view s) { out += s; }, 12);
  terminal.show("Compiling [12/340]\u2026");
  terminal.show("Compiling [12/340]\u2026");
  terminal.keep();
  terminal.show("Linking\u2026");
  terminal.clear();
  EXPECT_EQ(out, "\r\033[KCompiling [\n\r\033[KLinking\u2026\r\033[K");

  out.clear();
  QSStatusLine plain([&](std::string_view s) { out += s; }, std::nullopt);
  plain.show("42%");
  plain.show("42%");
  plain.show("43%");
  plain.clear();
  EXPECT_EQ(out, "42%\n43%\n");

  out.clear();
  QSTimestamp now = QSTime::now();
  QSPublishRenderer renderer(
      QSPublishRenderer::Mode::live, [&](std::string_view s) { out += s; }, [&] { return now; }, 20);
  renderer.phaseChanged({QSPublishPhase::Kind::checkingAPI}, now, std::nullopt);
  EXPECT_EQ(out, "\r\033[K\u2026 Contacting Brindl");
}

// A socket path from the environment or a build log line with a byte that is not UTF-8 comes
// out as U+FFFD in every JSON qs prints, instead of ending it with a JSON type error.
TEST(JsonOutput, BytesThatAreNotUTF8BecomeReplacementCharacters) {
  auto status = json::parse(jsonText(output::DaemonStatus{.running = false, .socket = "/tmp/x/sock\xff"}));
  EXPECT_EQ(status, json({{"running", false}, {"socket", "/tmp/x/sock\uFFFD"}}));
  EXPECT_EQ(jsonLine(output::PublishEvent{.event = "log", .line = "make: \xff"}),
            "{\"event\":\"log\",\"line\":\"make: \uFFFD\"}\n");
}

}  // namespace
}  // namespace qs
