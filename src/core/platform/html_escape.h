// Text put into an HTML page.
#pragma once

#include <string>
#include <string_view>

namespace qs {

// `text` safe in element content and in quoted attribute values of either kind: & < > " ' as
// &amp; &lt; &gt; &quot; &#39;.
std::string escapeHTML(std::string_view text);

}  // namespace qs
