#include "core/models/dotenv.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace qs {
namespace {

// Variables as lines of text, so that tables can state what they expect: "KEY=<value>",
// "# KEY=<value>" when disabled, then " // comment" with lines joined by "|".
std::vector<std::string> describeAll(const std::vector<QSEnvironmentVariable>& variables) {
  std::vector<std::string> out;
  for (const auto& v : variables) {
    std::string line = (v.isEnabled ? "" : "# ") + v.key + "=<" + v.value + ">";
    if (v.comment) line += " // " + std::regex_replace(*v.comment, std::regex("\n"), "|");
    out.push_back(line);
  }
  return out;
}

QSEnvironmentVariable variable(std::string key, std::string value, std::optional<std::string> comment = std::nullopt,
                               bool enabled = true) {
  QSEnvironmentVariable v;
  v.key = std::move(key);
  v.value = std::move(value);
  v.comment = std::move(comment);
  v.isEnabled = enabled;
  return v;
}

TEST(DotenvParseTest, Lines) {
  struct Case {
    const char* text;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"export API_KEY = abc", {"API_KEY=<abc>"}},
      {"export=yes", {"export=<yes>"}},
      {"GREETING=\"Hello there # friend\"", {"GREETING=<Hello there # friend>"}},
      {"GREETING=Hello there # friend", {"GREETING=<Hello there> // friend"}},
      {"COLOR=#fff", {"COLOR=<#fff>"}},
      {"URL=a#b #  note  ", {"URL=<a#b> // note"}},
      {"EMPTY_NOTE=1 #", {"EMPTY_NOTE=<1>"}},
      {"BACKSLASHES=\"C:\\dir\\\"", {"BACKSLASHES=<C:\\dir\\>"}},
      {"SINGLE='no \\\"escapes\\\"'", {"SINGLE=<no \\\"escapes\\\">"}},
      {"#No space\nA=1", {"A=<1> // No space"}},
      {"# First\n# Second\nA=1 # inline", {"A=<1> // First|Second|inline"}},
      {"# The API key\n\nAPI_KEY=abc", {"API_KEY=<abc>"}},
      {"# Used once\nA=1\nB=2", {"A=<1> // Used once", "B=<2>"}},
      {"# DEBUG=true", {"# DEBUG=<true>"}},
      {"# TRAILING=x # why", {"# TRAILING=<x> // why"}},
      {"# NOTE=words with spaces\nA=1", {"A=<1> // NOTE=words with spaces"}},
      {"#  SPACED=1\nA=1", {"A=<1> //  SPACED=1"}},
      {"stray words\nA=1", {"A=<1> // stray words"}},
      {"A=1\nA=2", {"A=<1>", "A=<2>"}},
      {"A=1\r\nB=\"two words\"\r\n# C=3\r\n", {"A=<1>", "B=<two words>", "# C=<3>"}},
      {"# only a comment\n", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(describeAll(parseDotenv(c.text)), c.expected) << c.text;
}

TEST(DotenvFormatTest, Files) {
  struct Case {
    const char* name;
    std::vector<QSEnvironmentVariable> variables;
    const char* expected;
  };
  const Case cases[] = {
      {"plain", {variable("A", "1"), variable("B", "")}, "A=1\nB=\n"},
      {"space", {variable("GREETING", "Hello there")}, "GREETING=\"Hello there\"\n"},
      {"quote inside", {variable("Q", "say \"hi\" now")}, "Q=\"say \\\"hi\\\" now\"\n"},
      {"disabled", {variable("DEBUG", "true", std::nullopt, false)}, "# DEBUG=true\n"},
      {"comment lines", {variable("A", "1", "First\nSecond")}, "# First\n# Second\nA=1\n"},
      {"comment that reads as a variable", {variable("A", "1", "DEBUG=true")}, "#  DEBUG=true\nA=1\n"},
      {"unwritable left out", {variable("1A", "x"), variable("B", "two\nlines"), variable("C", "3")}, "C=3\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(dotenvFileContents(c.variables), c.expected) << c.name;
}

TEST(DotenvMergeTest, Files) {
  struct Case {
    const char* name;
    std::optional<std::string> existing;
    std::vector<QSEnvironmentVariable> variables;
    const char* expected;
  };
  const Case cases[] = {
      {"no file", std::nullopt, {variable("A", "1", "Note")}, "# Note\nA=1\n"},
      {"layout kept, values replaced",
       "# Database\nexport DB_HOST = old # was remote\n\n# Mail\n  MAIL=x\n",
       {variable("DB_HOST", "localhost", "Database\nwas remote"), variable("MAIL", "a b")},
       "# Database\nDB_HOST=localhost\n\n# Mail\nMAIL=\"a b\"\n"},
      {"removed variable keeps its comment",
       "# Secret\nSECRET=1\nKEEP=2\n",
       {variable("KEEP", "2")},
       "# Secret\nKEEP=2\n"},
      {"new variables appended without a blank line",
       "A=1\n\n# trailing prose\n",
       {variable("A", "1"), variable("NEW", "x y", "Added"), variable("LAST", "z")},
       "A=1\n\n# trailing prose\n# Added\nNEW=\"x y\"\nLAST=z\n"},
      {"no final line feed", "A=1", {variable("A", "2"), variable("B", "3")}, "A=2\nB=3\n"},
      {"disabled and enabled swap",
       "# DEBUG=true\nLOG=1\n",
       {variable("DEBUG", "true"), variable("LOG", "1", std::nullopt, false)},
       "DEBUG=true\n# LOG=1\n"},
      {"prose that looks like an assignment stays",
       "# NOTE=words with spaces\nA=1\n",
       {variable("A", "1")},
       "# NOTE=words with spaces\nA=1\n"},
      {"duplicates take the lines of their key in order",
       "A=1\nB=2\nA=3\nA=4\n",
       {variable("A", "x"), variable("B", "2"), variable("A", "y")},
       "A=x\nB=2\nA=y\n"},
      {"surplus duplicate appended",
       "A=1\n",
       {variable("A", "x"), variable("A", "y")},
       "A=x\nA=y\n"},
      {"CRLF line ends kept on replaced lines",
       "# Note\r\nA=1\r\nB=2\r\n",
       {variable("A", "9"), variable("B", "2")},
       "# Note\r\nA=9\r\nB=2\r\n"},
      {"blank lines at the end kept but one", "A=1\n\n\n", {variable("A", "1")}, "A=1\n\n\n"},
  };
  for (const auto& c : cases) {
    std::optional<std::string_view> existing;
    if (c.existing) existing = *c.existing;
    EXPECT_EQ(mergedDotenv(existing, c.variables), c.expected) << c.name;
  }
}

// Values that the format has to protect, each of them written and read back unchanged.
const std::vector<std::string> kAwkwardValues = {
    "",          " ",           "  lead",       "trail  ",      "\t",           "a b",
    "#",         "a#b",         "a #b",         "x # y",        "\"",           "'",
    "\"\"",      "''",          "\"x\"",        "'x'",          "\"a b\"",      "'a b'",
    "\"x'",      "\\",          "a\\",          "a \\",         "\\\"",         "\\\" q",
    "\\\\\"",    "say \"hi\"",  "C:\\dir\\",    "=",            "a=b=c",        "export",
    "# no",      "ünïcødé ✓",   "日本語 テキスト", "\xff\xfe bytes", "vertical\vtab", "form\ffeed",
    "x\ry",      "ends\r",      "\"\\\"\"",     "\\\"a b\\\"",  "'\"'",         "#!/bin/sh -e",
};

std::vector<std::string> keysAndValues(const std::vector<QSEnvironmentVariable>& variables) {
  std::vector<std::string> out;
  for (const auto& v : variables) out.push_back((v.isEnabled ? "" : "# ") + v.key + "=<" + v.value + ">");
  return out;
}

TEST(DotenvRoundTripTest, AwkwardValuesSurviveWriteAndRead) {
  std::vector<QSEnvironmentVariable> variables;
  for (std::size_t i = 0; i < 2 * kAwkwardValues.size(); ++i) {
    std::string key = "VALUE_" + std::to_string(i);
    auto comment = i % 3 == 0 ? std::optional<std::string>("About " + key) : std::nullopt;
    bool enabled = i < kAwkwardValues.size();
    variables.push_back(variable(key, kAwkwardValues[i % kAwkwardValues.size()], comment, enabled));
  }
  auto expected = describeAll(variables);

  std::string text = dotenvFileContents(variables);
  auto once = parseDotenv(text);
  EXPECT_EQ(describeAll(once), expected) << text;
  EXPECT_EQ(dotenvFileContents(once), text);
  EXPECT_EQ(describeAll(parseDotenv(dotenvFileContents(once))), expected);

  // Over the old values in a file of the user's, then once more into the result.
  std::string existing = "# Settings\n\n";
  for (const auto& v : variables) existing += "# about " + v.key + "\n" + v.key + "=old\n";
  std::string merged = mergedDotenv(existing + "OTHER=1\n", variables);
  EXPECT_EQ(keysAndValues(parseDotenv(merged)), keysAndValues(variables)) << merged;
  std::string again = mergedDotenv(merged, parseDotenv(merged));
  EXPECT_EQ(again, merged);
  EXPECT_EQ(keysAndValues(parseDotenv(again)), keysAndValues(variables));
}

TEST(DotenvValidationTest, Messages) {
  struct Case {
    const char* key;
    const char* value;
    const char* message;  // nullptr: valid
  };
  const std::string largest(maxValueBytes, 'x'), tooLarge(maxValueBytes + 1, 'x');
  const std::string escapedTooLarge(maxValueBytes / 2 + 1, '"');  // each counts twice in a message
  const Case cases[] = {
      {"API_KEY", "anything # at all \"quoted\"", nullptr},
      {"API_KEY", largest.c_str(), nullptr},
      {"API_KEY", tooLarge.c_str(), "The value of API_KEY is longer than 64 KiB, the most a variable can hold."},
      {"API_KEY", escapedTooLarge.c_str(), "The value of API_KEY is longer than 64 KiB, the most a variable can hold."},
      {"_private9", "", nullptr},
      {"KEY\nEVIL", "x", "'KEY\nEVIL' is not a valid variable name: use letters, digits and underscores, not starting with a digit."},
      {"", "x", "A variable needs a name: use letters, digits and underscores, not starting with a digit."},
      {"API_KEY", "abc\nEVIL=1", "The value of API_KEY contains a line break, which a .env file cannot hold: put the value on one line."},
      {"API_KEY", "abc\r", "The value of API_KEY contains a line break, which a .env file cannot hold: put the value on one line."},
  };
  for (const auto& c : cases) {
    auto error = validateEnvironmentVariable(c.key, c.value);
    if (!c.message) {
      EXPECT_FALSE(error) << c.key << ": " << error->message();
    } else {
      ASSERT_TRUE(error) << c.key;
      EXPECT_EQ(error->message(), c.message);
    }
  }
}

// A project may not grow past 1 MiB of variables, nor all projects past 3 MiB; shrinking an
// oversized project is always allowed.
TEST(DotenvValidationTest, SizeLimits) {
  auto sized = [](std::size_t count) {
    std::vector<QSEnvironmentVariable> variables(count);
    for (std::size_t i = 0; i < count; ++i) {
      variables[i].key = "K" + std::to_string(i);
      variables[i].value = std::string(60'000, 'v');  // 17 fit into 1 MiB, 18 do not
    }
    return variables;
  };
  const std::string project = "The variables would take more than 1 MiB, the most one project can hold: unset or "
                              "shorten some first.";
  const std::string all = "All projects' variables would take more than 3 MiB, the most Quayside keeps: unset or "
                          "shorten some first.";
  struct Case {
    std::size_t before, after, others;
    std::string message;
  } cases[] = {
      {16, 17, 0, ""},
      {17, 18, 0, project},
      {20, 18, 0, ""},  // trimming an oversized project
      {17, 17, 5 * maxProjectVariablesBytes, ""},
      {16, 17, 2 * maxProjectVariablesBytes, ""},
      {16, 17, 2 * maxProjectVariablesBytes + 100'000, all},
  };
  for (const auto& c : cases) {
    auto error = variablesSizeError(sized(c.before), sized(c.after), c.others);
    EXPECT_EQ(error ? error->message() : "", c.message) << c.before << " -> " << c.after << " + " << c.others;
  }
  std::vector<QSEnvironmentVariable> tiny(20'000, QSEnvironmentVariable{.key = "K", .value = "v"});
  EXPECT_TRUE(variablesSizeError({}, tiny, 0)) << "many tiny records count too";
}

}  // namespace
}  // namespace qs
