#include "core/runtime/scaffold_templates.h"

#include <fmt/format.h>

#include <vector>

namespace qs::QSScaffoldTemplates {
namespace {

struct PackageDependency {
  std::string_view url;
  std::string_view version;
};

struct ProductDependency {
  std::string_view name;
  std::string_view package;
};

struct Manifest {
  std::vector<PackageDependency> packages;
  std::vector<ProductDependency> products;
};

// The lowest releases that have everything the generated code uses (VaporTesting appeared in the
// 4.110 line of Vapor); Swift Package Manager still picks the newest compatible release.
constexpr PackageDependency kVapor{"https://github.com/vapor/vapor.git", "4.115.0"};
constexpr PackageDependency kLeaf{"https://github.com/vapor/leaf.git", "4.4.0"};
constexpr PackageDependency kFluent{"https://github.com/vapor/fluent.git", "4.11.0"};
constexpr PackageDependency kRedis{"https://github.com/vapor/redis.git", "4.10.0"};

struct SQLDriver {
  PackageDependency package;
  ProductDependency product;
};

std::optional<SQLDriver> sqlDriver(QSDatabaseType type) {
  switch (type) {
    case QSDatabaseType::postgresql:
      return SQLDriver{{"https://github.com/vapor/fluent-postgres-driver.git", "2.9.0"},
                       {"FluentPostgresDriver", "fluent-postgres-driver"}};
    case QSDatabaseType::mysql:
      return SQLDriver{{"https://github.com/vapor/fluent-mysql-driver.git", "4.4.0"},
                       {"FluentMySQLDriver", "fluent-mysql-driver"}};
    case QSDatabaseType::sqlite:
      return SQLDriver{{"https://github.com/vapor/fluent-sqlite-driver.git", "4.6.0"},
                       {"FluentSQLiteDriver", "fluent-sqlite-driver"}};
    case QSDatabaseType::redis:
      return std::nullopt;
  }
  return std::nullopt;
}

Manifest manifestFor(bool includeLeaf, std::optional<QSDatabaseType> database) {
  Manifest manifest{{kVapor}, {{"Vapor", "vapor"}}};
  if (includeLeaf) {
    manifest.packages.push_back(kLeaf);
    manifest.products.push_back({"Leaf", "leaf"});
  }
  if (!database) return manifest;
  if (auto driver = sqlDriver(*database)) {
    manifest.packages.push_back(kFluent);
    manifest.packages.push_back(driver->package);
    manifest.products.push_back({"Fluent", "fluent"});
    manifest.products.push_back(driver->product);
  } else {
    manifest.packages.push_back(kRedis);
    manifest.products.push_back({"Redis", "redis"});
  }
  return manifest;
}

// The database Quayside provisions for a project: its name lower-cased, with every character
// outside a-z and 0-9 replaced by "_".
std::string provisionedDatabaseName(std::string_view projectName) {
  std::string out;
  for (char c : projectName) {
    char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    bool keep = (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9');
    out += keep ? lower : '_';
  }
  return out;
}

// Settings for a SQL server: the DB_* variables win over the parts of DATABASE_URL, which is how
// Quayside itself reads them.
constexpr std::string_view kSQLServerSettings = R"swift(    // Quayside writes DATABASE_URL and the DB_* variables into .env when you link a database;
    // the DB_* variables win over the parts of the URL.
    let url = setting("DATABASE_URL").flatMap { URLComponents(string: $0) }
    let hostname = setting("DB_HOST") ?? url?.host ?? "localhost"
    let port = setting("DB_PORT").flatMap { Int($0) } ?? url?.port ?? $DEFAULT_PORT
    let username = setting("DB_USERNAME") ?? setting("DB_USER") ?? url?.user ?? "quayside"
    let password = setting("DB_PASSWORD") ?? url?.password ?? ""
    let database = setting("DB_NAME") ?? databaseName(in: url) ?? "$DATABASE_NAME"
)swift";

constexpr std::string_view kPostgresUse = R"swift(    app.databases.use(.postgres(configuration: SQLPostgresConfiguration(
        hostname: hostname,
        port: port,
        username: username,
        password: password,
        database: database,
        // Quayside's engine listens on 127.0.0.1 without TLS; require TLS for a remote server.
        tls: .disable
    )), as: .psql)
)swift";

constexpr std::string_view kMySQLUse = R"swift(    app.databases.use(.mysql(
        hostname: hostname,
        port: port,
        username: username,
        password: password,
        database: database,
        // Quayside's engine listens on 127.0.0.1 without TLS; give a TLS configuration for a remote server.
        tlsConfiguration: nil
    ), as: .mysql)
)swift";

constexpr std::string_view kSQLiteUse = R"swift(    app.databases.use(.sqlite(.file(sqliteFilePath())), as: .sqlite)
)swift";

constexpr std::string_view kRedisUse = R"swift(    if let redisURL = setting("REDIS_URL") {
        app.redis.configuration = try RedisConfiguration(url: redisURL)
    } else {
        app.redis.configuration = try RedisConfiguration(
            hostname: setting("REDIS_HOST") ?? "localhost",
            port: setting("REDIS_PORT").flatMap { Int($0) } ?? 6379,
            password: setting("REDIS_PASSWORD")
        )
    }
)swift";

constexpr std::string_view kSettingHelper = R"swift(
/// The value of an environment variable (set for the process or in .env); empty counts as unset.
private func setting(_ key: String) -> String? {
    guard let value = Environment.get(key), !value.isEmpty else { return nil }
    return value
}
)swift";

constexpr std::string_view kDatabaseNameHelper = R"swift(
/// The database named by a connection URL's path ("/shop" names "shop").
private func databaseName(in url: URLComponents?) -> String? {
    guard let name = url?.path.split(separator: "/").first else { return nil }
    return String(name)
}
)swift";

constexpr std::string_view kSQLiteFileHelper = R"swift(
/// The SQLite file named by DATABASE_URL (a sqlite:// or file:// URL, or a plain path),
/// else db.sqlite in the folder the server runs in.
private func sqliteFilePath() -> String {
    guard let value = setting("DATABASE_URL") else { return "db.sqlite" }
    for scheme in ["sqlite://", "file://"] where value.hasPrefix(scheme) {
        return String(value.dropFirst(scheme.count))
    }
    return value
}
)swift";

// Swift code is full of braces, so the templates mark their blanks with `$NAME` instead of fmt fields.
void replaceFirst(std::string& text, std::string_view token, std::string_view value) {
  auto at = text.find(token);
  if (at != std::string::npos) text.replace(at, token.size(), value);
}

std::vector<std::string_view> configureImports(bool includeErrorPages, std::optional<QSDatabaseType> database) {
  std::vector<std::string_view> imports;
  if (database) {
    if (auto driver = sqlDriver(*database)) imports.insert(imports.end(), {"Fluent", driver->product.name});
  }
  if (includeErrorPages) imports.push_back("Leaf");
  if (database == QSDatabaseType::redis) imports.push_back("Redis");
  imports.push_back("Vapor");
  return imports;
}

std::string databaseSection(QSDatabaseType database, std::string_view projectName) {
  auto serverSettings = [&](std::string_view defaultPort) {
    std::string text(kSQLServerSettings);
    replaceFirst(text, "$DEFAULT_PORT", defaultPort);
    replaceFirst(text, "$DATABASE_NAME", provisionedDatabaseName(projectName));
    return text;
  };
  switch (database) {
    case QSDatabaseType::postgresql:
      return serverSettings("SQLPostgresConfiguration.ianaPortNumber") + std::string(kPostgresUse);
    case QSDatabaseType::mysql:
      return serverSettings("MySQLConfiguration.ianaPortNumber") + std::string(kMySQLUse);
    case QSDatabaseType::sqlite:
      return "    // The database file: DATABASE_URL when it is set, else db.sqlite.\n" + std::string(kSQLiteUse);
    case QSDatabaseType::redis:
      return "    // Redis: REDIS_URL when it is set, else REDIS_HOST, REDIS_PORT and REDIS_PASSWORD.\n" +
             std::string(kRedisUse);
  }
  return {};
}

std::string databaseHelpers(QSDatabaseType database) {
  std::string helpers(kSettingHelper);
  if (database == QSDatabaseType::postgresql || database == QSDatabaseType::mysql) helpers += kDatabaseNameHelper;
  if (database == QSDatabaseType::sqlite) helpers += kSQLiteFileHelper;
  return helpers;
}

}  // namespace

std::string packageSwift(std::string_view name, bool includeLeaf, std::optional<QSDatabaseType> database) {
  Manifest manifest = manifestFor(includeLeaf, database);
  std::string packages, products;
  for (const auto& p : manifest.packages)
    packages += fmt::format("        .package(url: \"{}\", from: \"{}\"),\n", p.url, p.version);
  for (const auto& p : manifest.products)
    products += fmt::format("                .product(name: \"{}\", package: \"{}\"),\n", p.name, p.package);
  return fmt::format(fmt::runtime(R"swift(// swift-tools-version:6.0
import PackageDescription

let package = Package(
    name: "{name}",
    platforms: [
        .macOS(.v14),
    ],
    dependencies: [
{packages}    ],
    targets: [
        .executableTarget(
            name: "App",
            dependencies: [
{products}            ]
        ),
        .testTarget(
            name: "AppTests",
            dependencies: [
                .target(name: "App"),
                .product(name: "VaporTesting", package: "vapor"),
            ]
        ),
    ]
)
)swift"),
                     fmt::arg("name", name), fmt::arg("packages", packages), fmt::arg("products", products));
}

std::string entrypointSwift() {
  return R"swift(import Logging
import Vapor

@main
enum Entrypoint {
    static func main() async throws {
        var env = try Environment.detect()
        try LoggingSystem.bootstrap(from: &env)

        let app = try await Application.make(env)

        do {
            try await configure(app)
            try await app.execute()
        } catch {
            app.logger.report(error: error)
            try? await app.asyncShutdown()
            throw error
        }
        try await app.asyncShutdown()
    }
}
)swift";
}

std::string configureSwift(bool includeErrorPages, std::optional<QSDatabaseType> database,
                           std::string_view projectName) {
  std::string text;
  for (auto module : configureImports(includeErrorPages, database)) text += fmt::format("import {}\n", module);
  text += "\n// Configures the application before it starts serving requests.\n";
  text += "public func configure(_ app: Application) async throws {\n";
  if (includeErrorPages) {
    text += "    app.views.use(.leaf)\n\n";
    text += "    // Branded error pages first, so it catches not-found from routing.\n";
    text += "    app.middleware.use(ErrorPageMiddleware())\n\n";
  }
  if (database) text += databaseSection(*database, projectName) + "\n";
  text += "    try routes(app)\n}\n";
  if (database) text += databaseHelpers(*database);
  return text;
}

std::string routesSwift() {
  return R"swift(import Vapor

func routes(_ app: Application) throws {
    app.get { req async in
        "It works!"
    }

    app.get("hello") { req async -> String in
        "Hello, world!"
    }
}
)swift";
}

std::string appTestsSwift() {
  return R"swift(@testable import App
import Testing
import VaporTesting

@Suite("App Tests")
struct AppTests {
    @Test("GET /hello answers Hello, world!")
    func helloWorld() async throws {
        try await withApp { app in
            try await app.testing().test(.GET, "hello", afterResponse: { res async in
                #expect(res.status == .ok)
                #expect(res.body.string == "Hello, world!")
            })
        }
    }

    // Add your tests here

    /// Runs `test` against an application configured like the real one, then shuts it down.
    private func withApp(_ test: (Application) async throws -> Void) async throws {
        let app = try await Application.make(.testing)
        do {
            try await configure(app)
            try await test(app)
        } catch {
            try? await app.asyncShutdown()
            throw error
        }
        try await app.asyncShutdown()
    }
}
)swift";
}

std::string dotenv(int port) {
  return fmt::format("PORT={}\nMAIL_HOST=127.0.0.1\nMAIL_PORT=1025\nMAIL_ENCRYPTION=none\n", port);
}

}  // namespace qs::QSScaffoldTemplates
