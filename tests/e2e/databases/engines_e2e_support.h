// What the database end-to-end tests share: the data folder the daemon keeps its engines in,
// PostgreSQL's own client, and stopping the PostgreSQL cluster, which outlives the daemon.
#pragma once

#include "e2e/e2e_support.h"

#include "core/databases/service_catalogue.h"
#include "core/platform/files.h"

namespace qs::testing {

class EnginesE2ETest : public E2ETest {
protected:
  void TearDown() override {
    daemon.reset();  // stops MariaDB and Redis; PostgreSQL runs detached and is stopped here
    if (fileExists(data / "postgresql/data/postmaster.pid"))
      runProcess({(pgBin / "pg_ctl").string(), "stop", "-D", (data / "postgresql/data").string(), "-m", "immediate"});
  }

  // Adds the project `name` in a folder of its own; the folder.
  std::filesystem::path addProject(const std::string& name) {
    auto folder = home.home() / "projects" / name;
    writeVaporPackage(folder, name);
    qsOK({"add", folder.string()});
    return folder;
  }

  QSProcessResult psql(const std::string& url, const std::string& sql) {
    return runProcess({(pgBin / "psql").string(), "-X", "-tA", url, "-c", sql});
  }

  static std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }

  std::filesystem::path data = home.home() / ".local/share/Quayside";
  std::filesystem::path pgBin = data / "services/postgresql-system/bin";
};

}  // namespace qs::testing
