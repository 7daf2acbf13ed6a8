#include "core/runtime/scaffold_templates.h"

#include <fmt/format.h>

#include <vector>

namespace qs::QSScaffoldTemplates {
namespace {

struct PackageDependency {
  std::string_view url;
  std::string_view version;
};

constexpr PackageDependency kVapor{"https://github.com/vapor/vapor.git", "4.99.0"};
constexpr PackageDependency kLeaf{"https://github.com/vapor/leaf.git", "4.4.0"};

}  // namespace

std::string packageSwift(std::string_view name, bool includeLeaf) {
  std::string packages, products;
  for (const auto& p : includeLeaf ? std::vector{kVapor, kLeaf} : std::vector{kVapor})
    packages += fmt::format("        .package(url: \"{}\", from: \"{}\"),\n", p.url, p.version);
  products += "                .product(name: \"Vapor\", package: \"vapor\"),\n";
  if (includeLeaf) products += "                .product(name: \"Leaf\", package: \"leaf\"),\n";
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

std::string configureSwift(bool includeErrorPages) {
  std::string text = includeErrorPages ? "import Leaf\nimport Vapor\n" : "import Vapor\n";
  text += "\n// Configures the application before it starts serving requests.\n";
  text += "public func configure(_ app: Application) async throws {\n";
  if (includeErrorPages) {
    text += "    app.views.use(.leaf)\n\n";
    text += "    // Branded error pages first, so it catches not-found from routing.\n";
    text += "    app.middleware.use(ErrorPageMiddleware())\n\n";
  }
  text += "    try routes(app)\n}\n";
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

@Suite struct AppTests {
    @Test func helloWorld() async throws {
        // Add your tests here
    }
}
)swift";
}

std::string dotenv(int port, int mailPort) {
  return fmt::format("PORT={}\nMAIL_HOST=127.0.0.1\nMAIL_PORT={}\nMAIL_ENCRYPTION=none\n", port, mailPort);
}

}  // namespace qs::QSScaffoldTemplates
