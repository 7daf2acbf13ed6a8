// The text of the error a call throws, so that a test checks the exact message in one line.
#pragma once

#include <exception>
#include <string>

namespace qs::testing {

// The message of the `E` that `f()` throws; "no exception" when it returns. Anything else it
// throws goes on to the test, which fails.
template <class E = std::exception, class F>
std::string thrownMessage(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "no exception";
}

}  // namespace qs::testing
