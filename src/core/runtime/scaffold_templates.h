// The source files of a new Vapor project, as text. Names reaching these functions have been
// validated (no quotes, backslashes or control characters), so they go into Swift string
// literals as they are.
#pragma once

#include <string>
#include <string_view>

namespace qs::QSScaffoldTemplates {

// `Package.swift`: tools version 6.0, package `name` for macOS 14, Vapor from 4.99.0 (plus Leaf
// from 4.4.0 with `includeLeaf`), an executable target "App" and a test target "AppTests" on App
// and VaporTesting. Four-space indentation, one entry a line, trailing commas after array elements.
std::string packageSwift(std::string_view name, bool includeLeaf);

// `Sources/App/entrypoint.swift`: the `@main` enumeration `Entrypoint` that detects the
// environment, bootstraps logging, makes the application, configures and executes it, and shuts
// it down asynchronously (also after a failure, which it logs).
std::string entrypointSwift();

// `Sources/App/configure.swift`: the routes; with error pages first Leaf as the view renderer
// and `ErrorPageMiddleware` registered before anything else.
std::string configureSwift(bool includeErrorPages);

// `Sources/App/routes.swift`: GET / answers "It works!", GET /hello "Hello, world!".
std::string routesSwift();

// `Tests/AppTests/AppTests.swift`: a Swift Testing suite `AppTests` (App imported as testable)
// with one empty async test `helloWorld` for the user to fill.
std::string appTestsSwift();

// `.env`: PORT and the local mail catcher (127.0.0.1 on `mailPort`, no encryption), ending with
// a newline.
std::string dotenv(int port, int mailPort);

}  // namespace qs::QSScaffoldTemplates
