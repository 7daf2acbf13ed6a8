#include "core/routing/dns_query.h"

#include <gtest/gtest.h>

#include <string>

namespace qs {
namespace {

using Bytes = QSDNSMessage;

// A query with ID 0xBEEF, RD set, one question (name given as labels), and optionally an OPT
// record advertising a 1232-byte payload.
Bytes query(const std::vector<std::string>& labels, std::uint16_t type, std::uint16_t klass = 1, bool edns = false) {
  Bytes q{0xBE, 0xEF, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(edns ? 1 : 0)};
  for (const auto& label : labels) {
    q.push_back(static_cast<std::uint8_t>(label.size()));
    q.insert(q.end(), label.begin(), label.end());
  }
  q.push_back(0);
  for (std::uint16_t v : {type, klass}) {
    q.push_back(static_cast<std::uint8_t>(v >> 8));
    q.push_back(static_cast<std::uint8_t>(v));
  }
  if (edns) q.insert(q.end(), {0x00, 0x00, 0x29, 0x04, 0xD0, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00});
  return q;
}

std::uint16_t at16(const Bytes& b, std::size_t i) { return static_cast<std::uint16_t>(b[i] << 8 | b[i + 1]); }

Bytes process(const Bytes& q) { return QSDNSQuery::processQuery(q); }

TEST(DNSQuery, AnswersAQuestionsUnderTestAndRefusesOtherNames) {
  struct Case {
    std::vector<std::string> labels;
    std::uint16_t type, klass;
    std::uint8_t flags;  // NOERROR (never authoritative, never recursive), or REFUSED so that the upstream wins
    std::uint16_t answers;
  };
  const Case cases[] = {
      {{"blog", "test"}, 1, 1, 0x00, 1}, {{"Api", "Blog", "TEST"}, 1, 1, 0x00, 1}, {{"test"}, 1, 1, 0x00, 1},
      {{"\xFF", "test"}, 1, 1, 0x00, 1},  // invalid UTF-8 is repaired, not rejected
      {{"blog", "test"}, 28, 1, 0x00, 0}, {{"blog", "test"}, 15, 1, 0x00, 0},
      {{"blog", "test"}, 1, 3, 0x00, 0},
      {{"example", "com"}, 1, 1, 0x05, 0}, {{"mytest"}, 1, 1, 0x05, 0}, {{"test", "com"}, 1, 1, 0x05, 0},
  };
  for (const auto& c : cases) {
    Bytes q = query(c.labels, c.type, c.klass);
    Bytes r = process(q);
    // An answer repeats the question's name and adds type, class, TTL, length and address.
    EXPECT_EQ(r.size(), q.size() + (c.answers ? q.size() - 16 + 14 : 0)) << c.labels[0] << " " << c.type;
    EXPECT_EQ(r[2], 0x81);
    EXPECT_EQ(r[3], c.flags) << c.labels[0] << " " << c.type;
    EXPECT_EQ(at16(r, 4), 1);
    EXPECT_EQ(at16(r, 6), c.answers) << c.labels[0] << " " << c.type;
  }
}

TEST(DNSQuery, TheAnswerSpellsOutTheNameGivesLoopbackAndEchoesEDNS0) {
  Bytes q = query({"Blog", "test"}, 1);
  Bytes r = process(q);
  EXPECT_EQ(at16(r, 0), 0xBEEF);
  EXPECT_EQ(at16(r, 10), 0);
  // The question echoed, then the name again in full (no pointer), A IN, TTL 60, 127.0.0.1.
  EXPECT_TRUE(std::equal(q.begin() + 12, q.end(), r.begin() + 12));
  Bytes answer(q.begin() + 12, q.end() - 4);
  answer.insert(answer.end(), {0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 127, 0, 0, 1});
  EXPECT_EQ(Bytes(r.begin() + static_cast<long>(q.size()), r.end()), answer);
  // An OPT record comes back after the answer.
  r = process(query({"blog", "test"}, 1, 1, true));
  EXPECT_EQ(at16(r, 10), 1);
  EXPECT_EQ(Bytes(r.end() - 11, r.end()), (Bytes{0x00, 0x00, 0x29, 0x04, 0xD0, 0, 0, 0, 0, 0x00, 0x00}));
}

// The header of a one-question query (ID 0xBEEF) followed by `question` as it is.
Bytes withRawQuestion(const Bytes& question) {
  Bytes q = query({}, 1);
  q.resize(12);
  q.insert(q.end(), question.begin(), question.end());
  return q;
}

TEST(DNSQuery, MalformedQueriesGetFormatErrors) {
  Bytes formatError{0xBE, 0xEF, 0x81, 0x01, 0, 0, 0, 0, 0, 0, 0, 0};
  // Truncated name, label past the end, missing type and class, a pointer without its second byte.
  for (const Bytes& tail : {Bytes{}, Bytes{5, 'b', 'l'}, Bytes{4, 't', 'e', 's', 't', 0, 0, 1}, Bytes{0xC0}})
    EXPECT_EQ(process(withRawQuestion(tail)), formatError) << tail.size();

  // A name over 255 bytes: 4 labels of 62 bytes and "test" are 4 * 63 + 5 + 1 = 258 bytes
  // encoded; one byte less fits.
  std::vector<std::string> labels(4, std::string(62, 'a'));
  labels.push_back("test");
  EXPECT_EQ(process(query(labels, 1)), formatError);
  labels[0].resize(59);  // 255 bytes encoded: answered
  EXPECT_EQ(at16(process(query(labels, 1)), 6), 1);
}

TEST(DNSQuery, ResponsesAndOtherOpcodesGetNoAnswer) {
  // Each would otherwise be answered, and two responders could answer each other forever.
  struct Case {
    std::uint8_t flags;
    const char* what;
  } cases[] = {{0x81, "a response"}, {0x80, "a response without RD"}, {0x85, "an authoritative response"},
               {0x09, "an inverse query"}, {0x11, "a status request"}, {0x21, "a notify"}, {0x29, "an update"}};
  for (const auto& c : cases) {
    Bytes q = query({"blog", "test"}, 1);
    q[2] = c.flags;
    EXPECT_TRUE(process(q).empty()) << c.what;
  }
  Bytes noRecursion = query({"blog", "test"}, 1);
  noRecursion[2] = 0x00;
  EXPECT_EQ(process(noRecursion)[2], 0x80);  // RD copied: not asked for, not claimed
}

TEST(DNSQuery, CompressionPointersEndTheNameWithoutBeingFollowed) {
  // A pointer right after the header: an empty name, which is not under test.
  EXPECT_EQ(process(withRawQuestion({0xC0, 0x0C, 0, 1, 0, 1}))[3], 0x05);
  // Labels then a pointer: the labels read so far are the name; the answer spells it out in full.
  Bytes q = withRawQuestion({4, 't', 'e', 's', 't', 0xC0, 0x0C, 0, 1, 0, 1});
  Bytes r = process(q);
  ASSERT_EQ(at16(r, 6), 1);
  auto answer = r.begin() + static_cast<long>(q.size());
  EXPECT_EQ(Bytes(answer, answer + 6), (Bytes{4, 't', 'e', 's', 't', 0}));
}

}  // namespace
}  // namespace qs
