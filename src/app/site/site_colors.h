// Colour helpers of the export styles: HSL conversion and the dark-mode variants.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qs {

// Hue, saturation, lightness and alpha, each in 0...1.
struct QSHSL {
  double h = 0, s = 0, l = 0, a = 1;
};

// How a colour is used, which decides when its dark variant differs from it.
enum class QSColorRole { background, foreground, other };

namespace QSSiteColors {

// "#abc", "#aabbcc" or "#aabbccdd" (white space trimmed) as HSL; nothing for anything else.
std::optional<QSHSL> hexToHSL(std::string_view colour);
// "#" and six upper-case hexadecimal digits, two more for alpha when it is below 1.
std::string hslToHex(const QSHSL& hsl);
// Background colours lighter than 0.55 and foreground colours darker than 0.55 (and every
// colour in the other role) get lightness 1 − l clamped to 0.08...0.92; others, and colours that
// do not parse, are returned unchanged.
std::string autoDarkVariant(std::string_view colour, QSColorRole role);
// The colour, or with dark mode "light-dark(colour, dark variant)".
std::string themed(std::string_view colour, QSColorRole role, bool darkMode);
// "rgba(r,g,b,alpha)"; a colour that does not parse is returned unchanged.
std::string rgba(std::string_view colour, double alpha);

// The WCAG contrast ratio (1 to 21) of two opaque colours; nothing when either does not parse.
std::optional<double> contrastRatio(std::string_view a, std::string_view b);
// The text colour for a button on `background`: white when it reaches 4.5:1 there, else the dark
// ink "#17151c", else black (which reaches it on any background); white when it does not parse.
std::string readableInk(std::string_view background);
// `colour` with its lightness moved away from `background`'s, in small steps, until the two reach
// `ratio`; hue and saturation kept. A colour that does not parse is returned unchanged.
std::string withContrast(std::string_view colour, std::string_view background, double ratio);

}  // namespace QSSiteColors
}  // namespace qs
