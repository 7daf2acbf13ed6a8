// Provisioning a database with the engine stopped (a fresh cluster: link, initialise, start,
// create, first query), beside the same steps run by hand with the engine's own tools, and a
// second database in the running cluster. PostgreSQL and MariaDB from the system's packages.
// Targets: fresh ≤ 1.2× the hand-run time; second database ≤ 100 ms.
#include "bench_support.h"
#include "core/databases/database_service.h"
#include "core/platform/child_process.h"
#include "core/platform/files.h"
#include "core/platform/process_runner.h"
#include "core/platform/proc_table.h"
#include "core/runtime/port_scanner.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <unistd.h>

using namespace qs;
using namespace qs::bench;
namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 3;

void run(const std::vector<std::string>& arguments) {
  auto result = runProcess(arguments);
  if (!result.succeeded()) throw std::runtime_error(arguments[0] + " failed: " + result.errorOutput);
}

fs::path scratch() { return scratchFolder("qs-db-bench"); }

QSDatabase record(const std::string& name, QSDatabaseType type) {
  QSDatabase d = QSDatabase::make(name, type);
  d.username = "quayside";
  d.databaseName = name;
  return d;
}

// Quayside: provision into a fresh data folder, then one query through the project's URL.
std::pair<double, double> quaysidePostgres(const fs::path& psql) {
  fs::path root = scratch();
  QSDatabaseService service(root);
  double fresh = millisecondsOf([&] {
    auto result = service.provision(record("first", QSDatabaseType::postgresql));
    run({psql.string(), "-X", "-tA", result.database.connectionString(), "-c", "select 1"});
  });
  double second = millisecondsOf([&] { service.provision(record("second", QSDatabaseType::postgresql)); });
  service.stop(QSDatabaseType::postgresql);
  fs::remove_all(root);
  return {fresh, second};
}

double handPostgres(const fs::path& bin) {
  fs::path root = scratch();
  int port = QSPortScanner().availablePort(25432, {}, 256);
  std::string p = std::to_string(port);
  double elapsed = millisecondsOf([&] {
    run({(bin / "initdb").string(), "-D", (root / "data").string(), "-U", "quayside", "--encoding=UTF8", "--locale=C"});
    run({(bin / "pg_ctl").string(), "start", "-D", (root / "data").string(), "-o",
         "-p " + p + " -k " + root.string() + " -c listen_addresses=127.0.0.1", "-l", (root / "log").string(), "-w"});
    run({(bin / "createdb").string(), "-h", "127.0.0.1", "-p", p, "-U", "quayside", "first"});
    run({(bin / "psql").string(), "-X", "-tA", "-h", "127.0.0.1", "-p", p, "-U", "quayside", "-d", "first", "-c", "select 1"});
  });
  run({(bin / "pg_ctl").string(), "stop", "-D", (root / "data").string(), "-m", "fast"});
  fs::remove_all(root);
  return elapsed;
}

std::pair<double, double> quaysideMySQL(const fs::path& client) {
  fs::path root = scratch();
  QSDatabaseService service(root);
  double fresh = millisecondsOf([&] {
    auto result = service.provision(record("first", QSDatabaseType::mysql));
    run({client.string(), "--no-defaults", "-h", "127.0.0.1", "-P", std::to_string(result.database.port), "-u",
         result.database.username.value_or("quayside"), "--password=" + result.database.password.value_or(""), "-e", "select 1", "first"});
  });
  double second = millisecondsOf([&] { service.provision(record("second", QSDatabaseType::mysql)); });
  service.stopAll();
  fs::remove_all(root);
  return {fresh, second};
}

double handMySQL(const QSSystemEngines& system) {
  fs::path root = scratch();
  std::map<std::string, fs::path> tools;
  for (const auto& [name, target] : system.binaries(QSDatabaseType::mysql)) tools[name] = target;
  int port = QSPortScanner().availablePort(23306, {}, 256);
  fs::path socket = root / "mysql.sock";
  std::vector<std::string> user;
  if (currentUserID() == 0) user.push_back("--user=root");
  pid_t server = -1;
  std::shared_ptr<QSChildProcess> process;
  double elapsed = millisecondsOf([&] {
    std::vector<std::string> install{tools["mariadb-install-db"].string(), "--no-defaults", "--datadir=" + (root / "data").string(),
                                     "--auth-root-authentication-method=normal", "--skip-test-db"};
    install.insert(install.end(), user.begin(), user.end());
    run(install);
    QSChildLaunch launch{.executable = tools["mysqld"],
                         .arguments = {"--no-defaults", "--datadir=" + (root / "data").string(), "--port=" + std::to_string(port),
                                       "--socket=" + socket.string(), "--pid-file=" + (root / "pid").string(),
                                       "--bind-address=127.0.0.1", "--log-error=" + (root / "log").string()},
                         .workingDirectory = root,
                         .outputFile = root / "out"};
    launch.arguments.insert(launch.arguments.end(), user.begin(), user.end());
    process = QSChildProcess::spawn(launch);
    server = process->pid();
    auto ping = [&] {
      return fileExists(socket) && runProcess({tools["mysqladmin"].string(), "--no-defaults", "-u", "root",
                                               "--socket=" + socket.string(), "ping"}).succeeded();
    };
    while (!ping()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    run({tools["mysql"].string(), "--no-defaults", "-u", "root", "--socket=" + socket.string(), "-e", "create database first"});
    run({tools["mysql"].string(), "--no-defaults", "-u", "root", "--socket=" + socket.string(), "-e", "select 1", "first"});
  });
  run({tools["mysqladmin"].string(), "--no-defaults", "-u", "root", "--socket=" + socket.string(), "shutdown"});
  while (!process->reap()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  fs::remove_all(root);
  return elapsed;
}

void report(const char* engine, const std::vector<double>& ours, const std::vector<double>& hand,
            const std::vector<double>& second) {
  double ratio = median(ours) / median(hand);
  fmt::print("{:<11} fresh cluster: quayside {:7.0f} ms, by hand {:7.0f} ms, ratio {:.2f} (target <= 1.20) {}\n", engine,
             median(ours), median(hand), ratio, ratio <= 1.2 ? "ok" : "MISSED");
  fmt::print("{:<11} second database in a running cluster: {:5.0f} ms (target <= 100 ms) {}\n", engine, median(second),
             median(second) <= 100 ? "ok" : "MISSED");
}

}  // namespace

int main() {
  if (currentUserID() == 0) {
    fmt::print("database_provision_bench: PostgreSQL refuses root; run it through scripts/engine-test-account run\n");
    return 0;
  }
  QSSystemEngines system;
  if (system.isPresent(QSDatabaseType::postgresql)) {
    fs::path bin;
    for (const auto& [name, target] : system.binaries(QSDatabaseType::postgresql)) bin = target.parent_path();
    std::vector<double> ours, hand, second;
    for (int round = 0; round < kRounds; ++round) {
      auto [fresh, next] = quaysidePostgres(bin / "psql");
      ours.push_back(fresh);
      second.push_back(next);
      hand.push_back(handPostgres(bin));
    }
    report("PostgreSQL", ours, hand, second);
  }
  if (system.isPresent(QSDatabaseType::mysql)) {
    fs::path client;
    for (const auto& [name, target] : system.binaries(QSDatabaseType::mysql))
      if (name == "mysql") client = target;
    std::vector<double> ours, hand, second;
    for (int round = 0; round < kRounds; ++round) {
      auto [fresh, next] = quaysideMySQL(client);
      ours.push_back(fresh);
      second.push_back(next);
      hand.push_back(handMySQL(system));
    }
    report("MariaDB", ours, hand, second);
  }
  return 0;
}
