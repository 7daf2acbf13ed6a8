// Text from the network as UTF-8 that can be shown: invalid sequences become U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace qs {

// `bytes` with every byte that does not start a well-formed UTF-8 sequence (overlong forms,
// surrogates and values above U+10FFFF included) replaced by U+FFFD.
std::string repairUTF8(std::string_view bytes);

}  // namespace qs
