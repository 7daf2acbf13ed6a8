// The source files of a new Vapor project, as text. Names reaching these functions have been
// validated (no quotes, backslashes or control characters), so they go into Swift string
// literals as they are.
#pragma once

#include "core/models/database_type.h"

#include <optional>
#include <string>
#include <string_view>

namespace qs::QSScaffoldTemplates {

// `Package.swift`: tools version 6.0, package `name` for macOS 14, Vapor (plus Leaf with
// `includeLeaf`, plus Fluent and the driver for a SQL database, or Vapor's Redis package), an
// executable target "App" and a test target "AppTests" on VaporTesting. Four-space indentation,
// one entry a line, trailing commas after array elements.
std::string packageSwift(std::string_view name, bool includeLeaf, std::optional<QSDatabaseType> database);

// `Sources/App/entrypoint.swift`: the `@main` enumeration `Entrypoint` that detects the
// environment, bootstraps logging, makes the application, configures and executes it, and shuts
// it down asynchronously (also after a failure, which it logs).
std::string entrypointSwift();

// `Sources/App/configure.swift`. With error pages: Leaf as the view renderer and
// `ErrorPageMiddleware` registered first. With a database: its connection read from the
// environment (for SQL servers the DB_* variables over the parts of DATABASE_URL, defaulting to
// the database Quayside provisions for `projectName`; SQLite's file from DATABASE_URL, else
// db.sqlite; Redis from REDIS_URL, else REDIS_HOST/REDIS_PORT/REDIS_PASSWORD). Then the routes.
std::string configureSwift(bool includeErrorPages, std::optional<QSDatabaseType> database,
                           std::string_view projectName);

// `Sources/App/routes.swift`: GET / answers "It works!", GET /hello "Hello, world!".
std::string routesSwift();

// `Tests/AppTests/AppTests.swift`: a Swift Testing suite `AppTests` whose async test
// `helloWorld` checks GET /hello on a configured testing application.
std::string appTestsSwift();

// `.env`: PORT and the local mail catcher (127.0.0.1:1025, no encryption), ending with a newline.
std::string dotenv(int port);

}  // namespace qs::QSScaffoldTemplates
