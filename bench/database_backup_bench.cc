// Backup and restore of a 100 MB PostgreSQL database through `qs` (the real daemon answering
// for the record), beside pg_dump and psql run by hand with the same arguments. The PostgreSQL of
// the system's packages. Target: ≤ 1.03× the hand-run time for each.
#include "bench_support.h"
#include "core/platform/files.h"
#include "core/platform/process_environment.h"
#include "core/platform/process_runner.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unistd.h>

using namespace qs;
using namespace qs::bench;
namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 7;
const std::string kPassword = "bench pw";

std::string run(const std::vector<std::string>& arguments, std::map<std::string, std::string> environment = {}) {
  auto result = runProcess(arguments, {.environment = std::move(environment)});
  if (!result.succeeded()) throw std::runtime_error(arguments[0] + " failed: " + result.errorOutput);
  return result.output;
}

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

struct Setup {
  fs::path home, qs, pgBin;
  std::string port;
};

// A home of its own, the daemon started, a database `bench` of about 100 MB.
Setup prepare() {
  Setup s;
  s.home = scratchFolder("qs-backup-bench");
  createDirectories(s.home / "tmp", 0700);
  useHome(s.home);
  ::setenv("TMPDIR", (s.home / "tmp").c_str(), 1);
  s.qs = currentExecutable().parent_path() / "qs";
  s.pgBin = s.home / "data/Quayside/services/postgresql-system/bin";
  run({s.qs.string(), "daemon", "start"});
  run({s.qs.string(), "db", "create", "bench", "--type", "postgresql", "--user", "bench", "--password", kPassword});
  std::string url = trimmed(run({s.qs.string(), "db", "url", "bench"}));
  run({(s.pgBin / "psql").string(), "-X", "-q", url, "-c",
       "CREATE TABLE posts AS SELECT g AS id, md5(g::text) || repeat('x', 1000) AS body "
       "FROM generate_series(1, 100000) g"});
  s.port = url.substr(url.rfind(':') + 1, url.rfind('/') - url.rfind(':') - 1);
  return s;
}

void tearDown(const Setup& s) {
  runProcess({s.qs.string(), "daemon", "stop"});
  runProcess({(s.pgBin / "pg_ctl").string(), "stop", "-D", (s.home / "data/Quayside/postgresql/data").string(),
              "-m", "fast"});
  std::error_code ignored;
  fs::remove_all(s.home, ignored);
}

void report(const char* what, const std::vector<double>& ours, const std::vector<double>& byHand) {
  double ratio = median(ours) / median(byHand);
  fmt::print("{:<8} qs {:7.0f} ms, by hand {:7.0f} ms, ratio {:.3f} (target <= 1.03) {}\n", what, median(ours),
             median(byHand), ratio, ratio <= 1.03 ? "ok" : "MISSED");
}

}  // namespace

int main() {
  if (!fileExists("/usr/lib/postgresql")) {
    fmt::print("PostgreSQL is not installed; skipped\n");
    return 0;
  }
  Setup s = prepare();
  try {
    std::map<std::string, std::string> password{{"PGPASSWORD", kPassword}};
    fs::path handDump = s.home / "by-hand.sql";
    std::vector<double> backupQs, backupHand, restoreQs, restoreHand;
    // Before every timed step, for both sides alike: the table's rows are vacuumed (a scan of
    // rows that were just loaded sets their hint bits and writes the pages back, which would bill
    // whoever reads them first) and nothing is left to write back.
    auto settle = [&] {
      run({(s.pgBin / "psql").string(), "-X", "-q", "-h", "127.0.0.1", "-p", s.port, "-U", "bench", "-d", "bench", "-c",
           "VACUUM ANALYZE posts"},
          password);
      run({"sync"});
    };
    auto timed = [&](const std::function<void()>& work) {
      settle();
      return millisecondsOf(work);
    };
    for (int round = 0; round < kRounds; ++round) {
      // The order alternates too. Both write a new file, deleted after the round.
      fs::path snapshots = s.home / "data/Quayside/Backups/bench";
      auto ours = [&] { run({s.qs.string(), "db", "backup", "bench"}); };
      handDump = s.home / fmt::format("by-hand-{}.sql", round);
      auto hand = [&] {
        run({(s.pgBin / "pg_dump").string(), "-h", "127.0.0.1", "-p", s.port, "-U", "bench", "--clean", "--if-exists",
             "-f", handDump.string(), "bench"},
            password);
      };
      if (round % 2) {
        backupHand.push_back(timed(hand));
        backupQs.push_back(timed(ours));
      } else {
        backupQs.push_back(timed(ours));
        backupHand.push_back(timed(hand));
      }
      auto restoreOurs = [&] { run({s.qs.string(), "db", "restore", "bench", handDump.string(), "--yes"}); };
      auto restoreByHand = [&] {
        run({(s.pgBin / "psql").string(), "-X", "-q", "-h", "127.0.0.1", "-p", s.port, "-U", "bench", "-d", "bench",
             "-v", "ON_ERROR_STOP=1", "--single-transaction", "-f", handDump.string()},
            password);
      };
      if (round % 2) {
        restoreHand.push_back(timed(restoreByHand));
        restoreQs.push_back(timed(restoreOurs));
      } else {
        restoreQs.push_back(timed(restoreOurs));
        restoreHand.push_back(timed(restoreByHand));
      }
      for (const auto& name : tryListDirectory(snapshots))
        if (name.ends_with(".sql")) tryRemoveFile(snapshots / name);
      if (round + 1 < kRounds) tryRemoveFile(handDump);
    }
    // What qs adds around the tool, alone: starting, asking the daemon for the database, listing
    // the snapshots. The dump's own time swings by more than this from run to run (a new file
    // against an old one, the file system's deferred work), so it is measured on its own too.
    std::vector<double> ownPart;
    for (int i = 0; i < 20; ++i) ownPart.push_back(millisecondsOf([&] { run({s.qs.string(), "db", "backups", "bench"}); }));
    fmt::print("PostgreSQL, {:.0f} MB dump, median of {} rounds\n", static_cast<double>(fs::file_size(handDump)) / 1e6,
               kRounds);
    report("backup", backupQs, backupHand);
    report("restore", restoreQs, restoreHand);
    // A restore through qs first keeps a copy of what it replaces (so that it can be undone),
    // which by hand is a pg_dump before the load: the like-for-like figure.
    double safeByHand = median(backupHand) + median(restoreHand);
    fmt::print("restore by hand with the same safety copy (dump, then load): {:.0f} ms; qs's restore is {:.3f} of it\n",
               safeByHand, median(restoreQs) / safeByHand);
    fmt::print("qs's own part (start, ask the daemon, list snapshots): {:.1f} ms = {:.3f} of the dump by hand\n",
               median(ownPart), median(ownPart) / median(backupHand));
  } catch (const std::exception& e) {
    fmt::print(stderr, "benchmark failed: {}\n", e.what());
    tearDown(s);
    return 1;
  }
  tearDown(s);
  return 0;
}
