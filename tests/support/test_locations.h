// Where the build put what the tests run (the programs, the fake toolchain) and where the test
// fixtures are. The folders are compiled into one generated file of the test library rather than
// passed to every test as macros: no other test object then holds a path of its checkout, so two
// checkouts of the tree (a clone, a worktree) share their compiler cache.
#pragma once

#include <string>

namespace qs::testing {

// The build's programs: qs, quaysided, quayside-app and the test helpers (bin/ of the build).
const std::string& binFolder();
// tests/fixtures of the source tree.
const std::string& fixturesFolder();
// A toolchain search root (what QS_TOOLCHAIN_DIRS takes) holding only the fake toolchain.
const std::string& fakeToolchainsFolder();
// The fake toolchain's root, laid out like an installed one: <root>/usr/bin/swift.
const std::string& fakeToolchainRoot();
// Where the real-toolchain tests keep each test's package between runs, so a run compiles only
// what changed.
const std::string& toolchainCacheFolder();

}  // namespace qs::testing
