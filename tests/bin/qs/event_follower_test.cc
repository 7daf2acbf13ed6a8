// The merged event sequence that `qs logs -f`, `qs events` and `qs start --wait` consume.
#include "bin/qs/event_follower.h"
#include "support/async_helpers.h"
#include "support/sample_records.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

using Queue = QSAsyncQueue<QSEvent>;
using What = QSEventFollower::What;

QSEvent line(std::string text) {
  return evt::LogLine{QSServiceRef(svc::Server{testing::sampleID(1)}), std::move(text)};
}

// The next item as text: "event:<line>", "ended", or "?" for anything else.
std::string nextItem(asio::io_context& io, QSEventFollower& follower) {
  auto item = testing::runUntilDone(io, follower.next());
  if (item.what == What::event) return "event:" + item.event.get<evt::LogLine>()->line;
  return item.what == What::ended ? "ended" : "?";
}

TEST(EventFollower, MergesStreamsInArrivalOrderAndEndsWithTheLast) {
  asio::io_context io;
  auto logs = std::make_shared<Queue>(io.get_executor());
  auto servers = std::make_shared<Queue>(io.get_executor());
  QSEventFollower follower(io.get_executor());
  follower.follow(logs);
  follower.follow(servers);

  logs->push(line("one"));
  logs->push(line("two"));
  EXPECT_EQ(follower.queuedEvents(), 2u);  // counted while still in the stream
  EXPECT_EQ(nextItem(io, follower), "event:one");
  EXPECT_EQ(follower.queuedEvents(), 1u);
  servers->push(line("three"));
  EXPECT_EQ(nextItem(io, follower), "event:two");
  EXPECT_EQ(nextItem(io, follower), "event:three");
  EXPECT_EQ(follower.queuedEvents(), 0u);

  logs->push(line("four"));
  logs->finish();
  EXPECT_EQ(nextItem(io, follower), "event:four");
  servers->finish();  // only when every stream has ended
  EXPECT_EQ(nextItem(io, follower), "ended");
}

}  // namespace
}  // namespace qs
