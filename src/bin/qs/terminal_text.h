// Text from elsewhere (caught mail, a remote build's log) as a terminal may show it: control
// characters, which could clear the screen, move the cursor or retitle the window, become U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace qs {

// One line: every C0 and C1 control character and DEL replaced, tabs kept.
std::string terminalSafeLine(std::string_view text);

// Text of several lines: as terminalSafeLine, but line feeds kept and the CR of each CR LF dropped.
std::string terminalSafeText(std::string_view text);

}  // namespace qs
