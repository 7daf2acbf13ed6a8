#include "core/protocol/daemon_error.h"
#include "core/protocol/daemon_framing.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

// (Declared lengths over the limit: the server and client tests, through a socket.)
TEST(DaemonFraming, HeaderIsTheBigEndianBodyLengthUpToTheLimit) {
  EXPECT_EQ(QSDaemonFraming::frame(json::object()), (QSBytes{0, 0, 0, 2, '{', '}'}));

  QSBytes frame = QSDaemonFraming::encode(std::string(298, 'x'));  // 300 bytes with the quotes
  ASSERT_EQ(frame.size(), 304u);
  EXPECT_EQ(QSBytes(frame.begin(), frame.begin() + 4), (QSBytes{0x00, 0x00, 0x01, 0x2C}));
  EXPECT_EQ(QSDaemonFraming::bodyLength(std::span(frame).first(4)), 300u);

  QSBytes largest = QSDaemonFraming::encode(std::string(QSDaemonFraming::maxFrameBytes - 2, 'x'));
  EXPECT_EQ(QSBytes(largest.begin(), largest.begin() + 4), (QSBytes{0x00, 0x40, 0x00, 0x00}));
  EXPECT_EQ(largest.size(), QSDaemonFraming::maxFrameBytes + 4);
  try {
    QSDaemonFraming::encode(std::string(QSDaemonFraming::maxFrameBytes - 1, 'x'));
    ADD_FAILURE() << "a body over the limit was framed";
  } catch (const QSDaemonException& e) {
    EXPECT_EQ(e.error(), QSDaemonError(daemonError::OperationFailed{"Frame exceeds maximum size."}));
  }
}

TEST(DaemonFraming, TextThatIsNotUTF8IsSentWithReplacementCharacters) {
  QSBytes frame = QSDaemonFraming::encode(std::string("a\xff" "b"));
  std::string body(frame.begin() + 4, frame.end());
  EXPECT_EQ(body, "\"a\xEF\xBF\xBD" "b\"");
  EXPECT_EQ(QSDaemonFraming::bodyLength(std::span(frame).first(4)), body.size());
}

}  // namespace
}  // namespace qs
