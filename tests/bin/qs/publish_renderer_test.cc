// How qs shows a publish on a terminal (a status line with the running time, rewritten in place)
// and what it accepts on the command line for one.
#include "bin/qs/cli_session.h"
#include "bin/qs/publish_options.h"
#include "bin/qs/publish_renderer.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace qs {
namespace {

using Kind = QSPublishPhase::Kind;
using namespace std::chrono_literals;

TEST(PublishRendererTest, LiveModeKeepsAStatusLineUnderFinishedPhasesAndLogLines) {
  std::string out;
  QSTimestamp start = QSTime::now(), now = start;
  QSPublishRenderer renderer(QSPublishRenderer::Mode::live, [&](std::string_view s) { out += s; }, [&] { return now; });
  renderer.phaseChanged({Kind::checkingAPI}, start, std::nullopt);
  now += 1500ms;
  renderer.tick();
  renderer.phaseChanged({Kind::deploying}, now, std::nullopt);
  renderer.logLines({"Compiling", "\x1b[2J"});
  now += 75s;
  renderer.tick();
  renderer.phaseChanged(QSPublishPhase::failed("error: no such module"), std::nullopt, Kind::deploying);
  EXPECT_EQ(out,
            "\r\033[K\u2026 Contacting Brindle Hosting\u2026 0s"
            "\r\033[K\u2026 Contacting Brindle Hosting\u2026 1s"
            "\r\033[K\u2713 Contacting Brindle Hosting\u2026 1s\n"
            "  Compiling your Vapor app from scratch. This usually takes a few minutes \u2014 you can leave this open.\n"
            "\r\033[K\u2026 Building on Brindle Hosting\u2026 0s"
            "\r\033[K  | Compiling\n  | \uFFFD[2J\n"
            "\r\033[K\u2026 Building on Brindle Hosting\u2026 0s"
            "\r\033[K\u2026 Building on Brindle Hosting\u2026 1m 15s"
            "\r\033[K\u2717 Building on Brindle Hosting\u2026 1m 15s\n");
  EXPECT_EQ(publishFailureText(Kind::deploying, "error: no such module"),
            "Publishing failed while building on Brindle Hosting: error: no such module");
}

// The option's outcome, or the usage error's text.
std::string parsed(std::vector<std::string> options) {
  try {
    QSServerOptions o = parseRuntimeOptions(options);
    return fmt::format("{} {} {} {} {} {} {}", o.memoryMB, o.cpus, o.cpuKind, o.region, o.machineCount, o.alwaysOn,
                       o.dedicatedIPv4);
  } catch (const QSCliError& e) {
    EXPECT_EQ(e.exitCode(), QSExitCode::usage);
    return e.what();
  }
}

TEST(PublishOptionsTest, RuntimeOptionsAndSubdomains) {
  EXPECT_EQ(parsed({"memoryMB=4096", "cpus=2", "cpuKind=performance", "region=syd", "machineCount=2", "alwaysOn=yes",
                    "dedicatedIPv4=on"}),
            "4096 2 performance syd 2 true true");
  EXPECT_EQ(parsed({"memoryMB=-1"}), "--runtime-option memoryMB: '-1' isn't a positive whole number.");
  EXPECT_EQ(parsed({"alwaysOn=maybe"}), "--runtime-option alwaysOn: 'maybe' isn't true or false.");
  EXPECT_EQ(parsed({"gpu=1"}), "Unknown runtime option 'gpu'; use memoryMB, cpus, cpuKind, region, machineCount, "
                               "alwaysOn or dedicatedIPv4.");
  EXPECT_EQ(parsed({"region"}), "--runtime-option 'region' isn't KEY=VALUE.");

  EXPECT_EQ(defaultSubdomain("My Blog!"), "my-blog");
  EXPECT_EQ(defaultSubdomain("--Caf\u00e9 2--"), "caf-2");
  EXPECT_FALSE(subdomainProblem("my-blog-2"));
  for (std::string bad : std::vector<std::string>{"", "-blog", "blog-", "Blog", "my_blog", "../x", std::string(64, 'a')})
    EXPECT_TRUE(subdomainProblem(bad)) << bad;
}

}  // namespace
}  // namespace qs
