#include "support/sample_records.h"

#include <fmt/format.h>

namespace qs::testing {

QSTimestamp sampleTime(double referenceSeconds) { return QSTime::fromReferenceSeconds(referenceSeconds); }

QSUUID sampleID(int n) { return *QSUUID::parse(fmt::format("00000000-0000-4000-8000-{:012}", n)); }

QSDomain sampleDomain() { return {sampleID(10), "blog.test", 8081, true}; }

QSEnvironmentVariable sampleVariable() {
  return {sampleID(11), "DATABASE_URL", "postgresql://postgres@127.0.0.1:5432/blog", "Linked database", false};
}

QSProject sampleProject() {
  QSProject p;
  p.id = sampleID(1);
  p.name = "Blog – Café";
  p.path = "/home/me/Quayside/My Blog";
  p.bookmarkData = QSBytes{'/', 'h', 0x00, 0xff, 0x80};
  p.swiftVersion = "6.0.3";
  p.port = 8081;
  p.databaseID = sampleID(2);
  p.redisID = sampleID(3);
  p.domain = sampleDomain();
  p.environmentVariables = {sampleVariable(), {sampleID(12), "APP_ENV", "dev ${X} \"q\"", std::nullopt, true}};
  p.createdAt = sampleTime(700'000'000.125);
  p.lastOpenedAt = sampleTime(700'086'400.5);
  p.autoStartServerAtLogin = false;
  p.pagesSourceBookmark = QSBytes{1, 2, 3};
  return p;
}

QSProject minimalProject() {
  QSProject p;
  p.id = sampleID(4);
  p.name = "api";
  p.path = "/srv/api";
  p.port = 8080;
  p.createdAt = sampleTime(0);
  return p;
}

QSDatabase sampleDatabase() {
  QSDatabase db = QSDatabase::make("blog", QSDatabaseType::mysql, 3307);
  db.id = sampleID(2);
  db.status = QSDatabaseStatus::error;
  db.username = "blog_user";
  db.password = "p@ss word";
  db.databaseName = "blog_dev";
  db.errorMessage = "mysqld exited with status 1";
  return db;
}

QSServer sampleServer() {
  return {sampleID(1), QSServerStatus::running, 8081, 4242, sampleTime(86'400), "previous run failed"};
}

QSLogEntry sampleLogEntry() {
  QSLogEntry e;
  e.id = sampleID(20);
  e.timestamp = sampleTime(700'000'123.456);
  e.method = QSHTTPMethod::delete_;
  e.path = "/posts/1?x=%20";
  e.statusCode = 503;
  e.duration = 0.0123;
  e.projectID = sampleID(1);
  e.requestHeaders = std::map<std::string, std::string>{{"Host", "blog.test"}};
  e.responseSize = 5'000'000'000;
  e.errorMessage = "upstream closed";
  e.source = QSLogSource::proxy;
  return e;
}

QSToolchain sampleToolchain() { return {"swift-6.0.3-RELEASE", "6.0.3", "/opt/swift/swift-6.0.3-RELEASE", true}; }

QSProjectConfiguration sampleConfiguration() {
  return {1, {sampleProject(), minimalProject()}, {sampleDatabase(), QSDatabase::make("cache", QSDatabaseType::redis)}};
}

}  // namespace qs::testing
