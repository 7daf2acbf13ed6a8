// `status` and `listProjects` on the control socket come from the text the engine keeps of each
// record; after every kind of change a client gets exactly what encoding the state afresh gives.
#include "engine_test_support.h"

#include "core/daemon/daemon_server.h"
#include "core/protocol/daemon_message.h"

#include <asio/local/stream_protocol.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>
#include <gtest/gtest.h>

namespace qs {
namespace {

using testing::EngineFixture;
using testing::runUntil;
using testing::runUntilDone;
using testing::TemporaryFolder;

// The body of the answer to `command`, as the socket carries it.
asio::awaitable<std::string> askRaw(std::string socketPath, QSUUID id, QSDaemonCommand command) {
  asio::local::stream_protocol::socket socket(co_await asio::this_coro::executor);
  co_await socket.async_connect(asio::local::stream_protocol::endpoint(socketPath), asio::use_awaitable);
  QSBytes request = QSDaemonFraming::encode(QSDaemonRequest{id, std::move(command)});
  co_await asio::async_write(socket, asio::buffer(request), asio::use_awaitable);
  QSBytes header(4);
  co_await asio::async_read(socket, asio::buffer(header), asio::use_awaitable);
  std::string body(QSDaemonFraming::bodyLength(header), '\0');
  co_await asio::async_read(socket, asio::buffer(body), asio::use_awaitable);
  co_return body;
}

class StatusText : public ::testing::Test {
protected:
  void SetUp() override {
    QSDatabase sqlite = QSDatabase::make("notes", QSDatabaseType::sqlite);
    sqlite.id = QSUUID::random();
    f.remakeEngine([&](QSDaemonServiceOptions& o) { o.configuration = QSProjectConfiguration{1, {}, {sqlite}}; });
    runUntilDone(f.io, f.engine->bootstrap());
    server = std::make_unique<QSDaemonServer>(f.io.get_executor(), f.engine, socketPath, "test", "build");
    runUntilDone(f.io, server->start());
  }
  void TearDown() override { server->stop(); }

  // The socket's answers to `status` and `listProjects` against the same state encoded afresh
  // (the engine's own result, which the socket answered from before the text was kept).
  void expectFresh(const std::string& after) {
    SCOPED_TRACE("after " + after);
    for (QSDaemonCommand command : {QSDaemonCommand(cmd::Status{}), QSDaemonCommand(cmd::ListProjects{})}) {
      QSUUID id = QSUUID::random();
      std::string answered = runUntilDone(f.io, askRaw(socketPath, id, command));
      std::string fresh = QSDaemonFraming::text(QSDaemonResponse{id, f.handle(command)});
      EXPECT_EQ(answered, fresh) << command.caseName();
    }
  }

  EngineFixture f;
  TemporaryFolder folder;
  std::string socketPath = (folder / "daemon.sock").string();
  std::unique_ptr<QSDaemonServer> server;
};

TEST_F(StatusText, EqualsAFreshStatusAfterEveryKindOfChange) {
  expectFresh("start");
  QSProject blog = f.addRunnableProject("blog");
  QSProject shop = f.addRunnableProject("shop");
  QSProject docs = f.addRunnableProject("docs");
  expectFresh("adding projects");

  ASSERT_TRUE(f.handle(cmd::StartServer{blog.id}).is<res::Ok>());
  ASSERT_TRUE(runUntil(f.io, [&] { return f.server(blog.id).status == QSServerStatus::running; }));
  expectFresh("a server start");

  ASSERT_TRUE(f.handle(cmd::SetEnvVar{shop.id, "LOG_LEVEL", "debug"}).is<res::Ok>());
  expectFresh("a variable set");
  ASSERT_TRUE(f.handle(cmd::RenameProject{shop.id, "store"}).is<res::Project>());
  expectFresh("a rename");
  QSProject moved = f.handle(cmd::GetProject{docs.id}).get<res::Project>()->value;
  moved.port += 1;
  ASSERT_TRUE(f.handle(cmd::UpdateProject{moved}).is<res::Project>());
  expectFresh("a port change");
  ASSERT_TRUE(f.handle(cmd::AddDomain{docs.id, "docs.test", false}).is<res::Domain>());
  expectFresh("a domain added");
  ASSERT_TRUE(f.handle(cmd::SetWatch{docs.id, true}).is<res::Project>());
  expectFresh("watch mode on");

  QSDatabase notes = f.engine->configuration().databases.front();
  notes.databaseName = "notes-renamed";
  ASSERT_TRUE(f.handle(cmd::UpdateDatabase{notes}).is<res::Database>());
  expectFresh("a database changed");

  ASSERT_TRUE(f.handle(cmd::RemoveDomain{docs.id}).is<res::Ok>());
  expectFresh("a domain removed");
  ASSERT_TRUE(f.handle(cmd::StopServer{blog.id}).is<res::Ok>());
  expectFresh("a server stop");
  ASSERT_TRUE(f.handle(cmd::RemoveProject{blog.id, false, false}).is<res::Ok>());
  expectFresh("a project removed (the first of the list)");
}

}  // namespace
}  // namespace qs
