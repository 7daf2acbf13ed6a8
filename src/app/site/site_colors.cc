#include "app/site/site_colors.h"

#include "app/site/html_utilities.h"
#include "core/platform/encoding.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace qs::QSSiteColors {
namespace {

struct RGBA {
  double r, g, b, a;
};

std::optional<RGBA> parseHex(std::string_view colour) {
  auto first = colour.find_first_not_of(" \t\r\n");
  auto last = colour.find_last_not_of(" \t\r\n");
  if (first == std::string_view::npos) return std::nullopt;
  colour = colour.substr(first, last - first + 1);
  if (colour.empty() || colour.front() != '#') return std::nullopt;
  std::string digits(colour.substr(1));
  if (digits.size() == 3) digits = {digits[0], digits[0], digits[1], digits[1], digits[2], digits[2]};
  if (digits.size() != 6 && digits.size() != 8) return std::nullopt;
  std::array<double, 4> channels{0, 0, 0, 1};
  for (std::size_t i = 0; i < digits.size() / 2; ++i) {
    int high = hexDigitValue(digits[2 * i]), low = hexDigitValue(digits[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    channels[i] = (high * 16 + low) / 255.0;
  }
  return RGBA{channels[0], channels[1], channels[2], channels[3]};
}

double hueToChannel(double p, double q, double t) {
  if (t < 0) t += 1;
  if (t > 1) t -= 1;
  if (t < 1.0 / 6) return p + (q - p) * 6 * t;
  if (t < 1.0 / 2) return q;
  if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
  return p;
}

int toByte(double channel) { return std::clamp(static_cast<int>(std::lround(channel * 255)), 0, 255); }

// WCAG relative luminance of the colour's channels, each taken as the byte it is written as.
double luminance(const RGBA& c) {
  auto linear = [](double channel) {
    double v = toByte(channel) / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}

}  // namespace

std::optional<QSHSL> hexToHSL(std::string_view colour) {
  auto rgba = parseHex(colour);
  if (!rgba) return std::nullopt;
  double max = std::max({rgba->r, rgba->g, rgba->b}), min = std::min({rgba->r, rgba->g, rgba->b});
  QSHSL hsl{0, 0, (max + min) / 2, rgba->a};
  if (max == min) return hsl;
  double delta = max - min;
  hsl.s = hsl.l > 0.5 ? delta / (2 - max - min) : delta / (max + min);
  if (max == rgba->r)
    hsl.h = (rgba->g - rgba->b) / delta + (rgba->g < rgba->b ? 6 : 0);
  else if (max == rgba->g)
    hsl.h = (rgba->b - rgba->r) / delta + 2;
  else
    hsl.h = (rgba->r - rgba->g) / delta + 4;
  hsl.h /= 6;
  return hsl;
}

std::string hslToHex(const QSHSL& hsl) {
  double r = hsl.l, g = hsl.l, b = hsl.l;
  if (hsl.s != 0) {
    double q = hsl.l < 0.5 ? hsl.l * (1 + hsl.s) : hsl.l + hsl.s - hsl.l * hsl.s;
    double p = 2 * hsl.l - q;
    r = hueToChannel(p, q, hsl.h + 1.0 / 3);
    g = hueToChannel(p, q, hsl.h);
    b = hueToChannel(p, q, hsl.h - 1.0 / 3);
  }
  std::string out = fmt::format("#{:02X}{:02X}{:02X}", toByte(r), toByte(g), toByte(b));
  if (hsl.a < 1.0) out += fmt::format("{:02X}", toByte(hsl.a));
  return out;
}

std::string autoDarkVariant(std::string_view colour, QSColorRole role) {
  auto hsl = hexToHSL(colour);
  if (!hsl) return std::string(colour);
  if (role == QSColorRole::background && hsl->l <= 0.55) return std::string(colour);
  if (role == QSColorRole::foreground && hsl->l >= 0.55) return std::string(colour);
  hsl->l = std::clamp(1 - hsl->l, 0.08, 0.92);
  return hslToHex(*hsl);
}

std::string themed(std::string_view colour, QSColorRole role, bool darkMode) {
  if (!darkMode) return std::string(colour);
  return "light-dark(" + std::string(colour) + ", " + autoDarkVariant(colour, role) + ")";
}

std::string rgba(std::string_view colour, double alpha) {
  auto parsed = parseHex(colour);
  if (!parsed) return std::string(colour);
  return fmt::format("rgba({},{},{},{})", toByte(parsed->r), toByte(parsed->g), toByte(parsed->b), alpha);
}

std::optional<double> contrastRatio(std::string_view a, std::string_view b) {
  auto first = parseHex(a), second = parseHex(b);
  if (!first || !second) return std::nullopt;
  double la = luminance(*first), lb = luminance(*second);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::string readableInk(std::string_view background) {
  if (!parseHex(background)) return "#ffffff";
  for (std::string_view ink : {"#ffffff", "#17151c"})
    if (*contrastRatio(ink, background) >= 4.5) return std::string(ink);
  bool white = *contrastRatio("#ffffff", background) > *contrastRatio("#000000", background);
  return white ? "#ffffff" : "#000000";
}

std::string withContrast(std::string_view colour, std::string_view background, double ratio) {
  auto hsl = hexToHSL(colour);
  auto behind = hexToHSL(background);
  if (!hsl || !behind) return std::string(colour);
  double step = behind->l > 0.5 ? -0.02 : 0.02;
  std::string out = hslToHex(*hsl);
  for (int i = 0; i < 50 && *contrastRatio(out, background) < ratio; ++i) {
    hsl->l = std::clamp(hsl->l + step, 0.0, 1.0);
    out = hslToHex(*hsl);
  }
  return out;
}

}  // namespace qs::QSSiteColors
