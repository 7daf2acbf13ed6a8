#include "core/protocol/daemon_framing.h"
#include "core/protocol/daemon_message.h"
#include "support/sample_records.h"

#include <gtest/gtest.h>

#include <variant>

namespace qs {
namespace {

using testing::sampleDatabase;
using testing::sampleID;
using testing::sampleLogEntry;
using testing::sampleProject;
using testing::sampleServer;

QSFullStatus sampleStatus() {
  QSNetworkStatus network{true, 5300, true, false, true, true, 80, portAvailability::InUse{}, portAvailability::Error{13},
                          {{812, "nginx", true}, {990, "caddy", false}}};
  return {{sampleProject(), testing::minimalProject()}, {sampleDatabase()}, {sampleServer()}, network, "0.1.0"};
}

// One value of every case of every enumeration the protocol carries, nested ones on their own too.
using Sample = std::variant<QSDaemonCommand, QSDaemonResult, QSEvent, QSServiceRef, QSDaemonError,
                            QSPortAvailability, QSEventKind>;

// Every error with the text the user sees.
const std::vector<std::pair<QSDaemonError, std::string>> kErrorMessages = {
    {daemonError::ProjectNotFound{"blog"}, "No project matching 'blog'."},
    {daemonError::DatabaseNotFound{"shop"}, "No database matching 'shop'."},
    {daemonError::InvalidProjectPath{"/tmp/x"}, "'/tmp/x' is not a valid Vapor project."},
    {daemonError::PortInUse{8080}, "Port 8080 is already in use."},
    {daemonError::RequiresInteractiveSession{"run it from a terminal"},
     "This operation needs an interactive session: run it from a terminal"},
    {daemonError::OperationFailed{"Frame exceeds maximum size."}, "Frame exceeds maximum size."},
    {daemonError::DaemonUnavailable{}, "The Quayside daemon isn't running. Start it with 'quayside daemon start'."},
    {daemonError::NotConnected{}, "Not connected to the Quayside daemon."},
    {daemonError::InvalidResponse{}, "Received a malformed response from the daemon."},
    {daemonError::Timeout{}, "The operation timed out."},
    {daemonError::InsufficientPermissions{}, "This operation requires elevated privileges."},
};

// Every command, with its name and parameter names as the protocol spells them (in the wire's
// order, by name): a renamed field would otherwise round-trip happily and break every other client.
struct CommandSample {
  QSDaemonCommand command;
  std::string wire;  // "name parameter..."
};

std::vector<CommandSample> commandSamples() {
  const QSUUID u = sampleID(1);
  return {
      {cmd::ListProjects{}, "listProjects"},
      {cmd::GetProject{u}, "getProject id"},
      {cmd::AddProject{"/home/me/Code/blog"}, "addProject path"},
      {cmd::CreateProject{{"shop", "/home/me/Quayside", QSDatabaseType::sqlite, 8090, true, true}}, "createProject _0"},
      {cmd::UpdateProject{sampleProject()}, "updateProject _0"},
      {cmd::RemoveProject{u, true, false}, "removeProject dropDatabase id trashFolder"},
      {cmd::RenameProject{u, "Blog 2"}, "renameProject id newName"},
      {cmd::ListDatabases{}, "listDatabases"},
      {cmd::CreateDatabase{"blog", QSDatabaseType::postgresql, 5433, "me", "secret"},
       "createDatabase name password port type username"},
      {cmd::StartDatabase{u}, "startDatabase id"},
      {cmd::StopDatabase{u}, "stopDatabase id"},
      {cmd::RemoveDatabase{u}, "removeDatabase id"},
      {cmd::UpdateDatabase{sampleDatabase()}, "updateDatabase _0"},
      {cmd::ProvisionDatabase{u, QSDatabaseType::redis, true, "me", "pw"},
       "provisionDatabase isRedis password projectID type username"},
      {cmd::StartServer{u}, "startServer projectID"},
      {cmd::StopServer{u}, "stopServer projectID"},
      {cmd::RestartServer{u}, "restartServer projectID"},
      {cmd::GetServerStatus{u}, "getServerStatus projectID"},
      {cmd::StartDNS{}, "startDNS"},
      {cmd::StopDNS{}, "stopDNS"},
      {cmd::StartProxy{}, "startProxy"},
      {cmd::StopProxy{}, "stopProxy"},
      {cmd::EnableTestRouting{}, "enableTestRouting"},
      {cmd::DisableTestRouting{}, "disableTestRouting"},
      {cmd::AddDomain{u, "blog.test", true}, "addDomain hostname projectID ssl"},
      {cmd::RemoveDomain{u}, "removeDomain projectID"},
      {cmd::GetEnvVars{u}, "getEnvVars projectID"},
      {cmd::SetEnvVar{u, "APP_KEY", "a=b \"c\""}, "setEnvVar key projectID value"},
      {cmd::UnsetEnvVar{u, "APP_KEY"}, "unsetEnvVar key projectID"},
      {cmd::Status{}, "status"},
      {cmd::Health{}, "health"},
      {cmd::Logs{svc::Server{u}, 200, true}, "logs follow lines service"},
      {cmd::Subscribe{QSEventKind::servers}, "subscribe _0"},
      {cmd::Unsubscribe{QSEventKind::all}, "unsubscribe _0"},
      {cmd::Ping{}, "ping"},
      {cmd::ShutdownDaemon{}, "shutdownDaemon"},
      {cmd::PinSwiftVersion{u, "6.0.3"}, "pinSwiftVersion projectID version"},
      {cmd::SetAutoStart{u, true}, "setAutoStart enabled projectID"},
      {cmd::SetWatch{u, true}, "setWatch enabled projectID"},
      {cmd::ListToolchains{}, "listToolchains"},
      {cmd::GetRequestLog{u, 20}, "getRequestLog count projectID"},
      {cmd::TrustCA{}, "trustCA"},
      {cmd::UntrustCA{}, "untrustCA"},
  };
}

std::vector<Sample> samples() {
  const QSUUID u = sampleID(1);
  std::vector<Sample> out = {
      QSDaemonResult(res::Ok{}),
      QSDaemonResult(res::Projects{{sampleProject(), testing::minimalProject()}}),
      QSDaemonResult(res::Project{sampleProject()}),
      QSDaemonResult(res::Databases{{sampleDatabase()}}),
      QSDaemonResult(res::Database{sampleDatabase()}),
      QSDaemonResult(res::Server{sampleServer()}),
      QSDaemonResult(res::Domain{testing::sampleDomain()}),
      QSDaemonResult(res::EnvVars{sampleProject().environmentVariables}),
      QSDaemonResult(res::LogLines{{"[ INFO ] Server starting on http://0.0.0.0:8081", ""}}),
      QSDaemonResult(res::Status{sampleStatus()}),
      QSDaemonResult(res::Health{{true, false, true, false, {{80, "nginx (pid 812)"}}, {"Port 443 is held."}}}),
      QSDaemonResult(res::Event{evt::LogLine{svc::Proxy{}, "GET /"}}),
      QSDaemonResult(res::Pong{"0.1.0", "1733480000-123456"}),
      QSDaemonResult(res::Failure{daemonError::PortInUse{8080}}),
      QSDaemonResult(res::Toolchains{{{"swift-6.0.3", "6.0.3", "/opt/swift/swift-6.0.3", false}}}),
      QSDaemonResult(res::LogEntries{{sampleLogEntry()}}),

      QSEvent(evt::ProjectsChanged{{sampleProject()}}),
      QSEvent(evt::DatabaseChanged{sampleDatabase()}),
      QSEvent(evt::DatabasesChanged{{sampleDatabase(), QSDatabase::make("cache", QSDatabaseType::redis)}}),
      QSEvent(evt::ServerChanged{sampleServer()}),
      QSEvent(evt::NetworkChanged{sampleStatus()}),
      QSEvent(evt::LogLine{svc::Database{sampleID(2)}, "LOG:  database system is ready"}),
      QSEvent(evt::RequestLogged{sampleLogEntry()}),
      QSEvent(evt::LogBatch{svc::Server{sampleID(1)}, {"[ INFO ] one", "", "t\u00e9l\u00e9 \"two\"\n"}}),
      QSEvent(evt::MailReceived{{sampleID(3), QSTime::fromReferenceSeconds(786'000'000), "App <app@blog.test>",
                                 {"user@example.com"}, "Confirm your account", 2048, 1, true, sampleID(1), "blog"}}),

      QSServiceRef(svc::Daemon{}),
      QSServiceRef(svc::DNS{}),
      QSServiceRef(svc::Proxy{}),
      QSServiceRef(svc::Database{u}),
      QSServiceRef(svc::Server{u}),

      QSPortAvailability(portAvailability::Available{}),
      QSPortAvailability(portAvailability::InUse{}),
      QSPortAvailability(portAvailability::PermissionDenied{}),
      QSPortAvailability(portAvailability::Error{-22}),
  };
  for (const auto& sample : commandSamples()) out.push_back(sample.command);
  for (QSEventKind kind : allCases<QSEventKind>()) out.push_back(kind);
  for (const auto& [error, message] : kErrorMessages) out.push_back(error);
  return out;
}

// Every sample survives encode → frame → JSON text → decode unchanged; the text written directly
// is the DOM's text, and the quick reader takes it and agrees with the DOM reader.
TEST(DaemonMessages, EveryCaseRoundTripsThroughAFrame) {
  for (const Sample& sample : samples()) {
    std::visit(
        [&](const auto& value) {
          using T = std::decay_t<decltype(value)>;
          QSBytes frame = QSDaemonFraming::encode(value);
          std::span<const std::uint8_t> bytes(frame);
          ASSERT_EQ(QSDaemonFraming::bodyLength(bytes.first(4)), frame.size() - 4);
          std::string text(frame.begin() + 4, frame.end());
          T decoded = QSDaemonFraming::decode<T>(bytes.subspan(4));
          EXPECT_TRUE(decoded == value) << "did not round-trip: " << text;
          EXPECT_EQ(text, QSDaemonFraming::compactText(toJson(value, QSCoder::wire())));
          auto quick = tryDecodeTree<T>(text, QSCoder::wire());
          ASSERT_TRUE(quick.has_value()) << "the quick reader gave up on " << text;
          EXPECT_TRUE(*quick == fromJson<T>(json::parse(text), QSCoder::wire())) << text;
        },
        sample);
  }
}

TEST(DaemonMessages, EveryCommandCarriesItsParametersUnderTheProtocolsNames) {
  for (const auto& sample : commandSamples()) {
    QSBytes frame = QSDaemonFraming::encode(sample.command);
    auto text = json::parse(frame.begin() + 4, frame.end());
    std::string wire = text.begin().key();
    for (const auto& [key, value] : text.begin().value().items()) wire += " " + key;
    EXPECT_EQ(wire, sample.wire);
  }
}

TEST(DaemonMessages, EnvelopeShapes) {
  const QSUUID u = sampleID(1);
  const std::string U = u.string();
  const QSUUID s = sampleID(9);
  struct Case {
    json actual;
    std::string expected;
  };
  const QSCoder wire = QSCoder::wire();
  const std::vector<Case> cases = {
      {toJson(QSDaemonRequest{u, cmd::Subscribe{QSEventKind::servers}}, wire),
       R"({"id": "U", "command": {"subscribe": {"_0": "servers"}}})"},
      {toJson(QSDaemonRequest{u, cmd::CreateDatabase{"blog", QSDatabaseType::mysql, {}, {}, {}}}, wire),
       R"({"id": "U", "command": {"createDatabase": {"name": "blog", "type": "mysql"}}})"},
      {toJson(QSDaemonRequest{u, cmd::Logs{svc::Daemon{}, 50, false}}, wire),
       R"({"id": "U", "command": {"logs": {"service": {"daemon": {}}, "lines": 50, "follow": false}}})"},
      {toJson(QSDaemonResponse{u, res::Pong{"0.1.0", "b1"}}, wire),
       R"({"id": "U", "result": {"pong": {"version": "0.1.0", "build": "b1"}}})"},
      {toJson(QSDaemonResponse{u, res::Failure{daemonError::ProjectNotFound{"blog"}}}, wire),
       R"({"id": "U", "result": {"failure": {"_0": {"projectNotFound": {"_0": "blog"}}}}})"},
      {toJson(QSDaemonResponse{s, res::Event{evt::LogLine{svc::Server{u}, "hello"}}}, wire),
       R"({"id": "S", "result": {"event": {"_0": {"logLine": {"_0": {"server": {"projectID": "U"}},
                                                              "line": "hello"}}}}})"},
      {toJson(ListeningProcess{812, "nginx", true}, wire), R"({"pid": 812, "name": "nginx", "isRoot": true})"},
  };
  for (const Case& c : cases) {
    std::string expected = c.expected;
    for (auto [from, to] : {std::pair{std::string("\"U\""), "\"" + U + "\""},
                            std::pair{std::string("\"S\""), "\"" + s.string() + "\""}})
      for (auto at = expected.find(from); at != std::string::npos; at = expected.find(from))
        expected.replace(at, from.size(), to);
    EXPECT_EQ(c.actual, json::parse(expected));
  }
}

// Bodies that must not decode: where it happened and the innermost reason, which the message
// joins as "where: reason".
TEST(DaemonMessages, DecodingErrors) {
  const std::string U = sampleID(1).string();
  const std::string command = "QSDaemonRequest.command", inCommand = command + ": QSDaemonCommand.";
  const std::string oneKey = "Invalid number of keys found, expected one.";
  const std::string notJSON = "The frame body is not valid JSON.";
  struct Case {
    std::string body;
    std::string where;
    std::string reason;  // empty: the body decodes
  };
  const std::vector<Case> cases = {
      {R"({"id": "U", "command": {"listProjects": {}, "ping": {}}})", command, oneKey},
      {R"({"id": "U", "command": {"fly": {}}})", command, "QSDaemonCommand: unknown case 'fly'"},
      {R"({"id": "U", "command": {"startServer": {}}})", command,
       "QSDaemonCommand.startServer: missing required key 'projectID'"},
      {R"({"id": "U", "command": "ping"})", command, "QSDaemonCommand: expected an object"},
      {R"({"command": {"ping": {}}})", "", "QSDaemonRequest: missing required key 'id'"},
      {R"({"id": "not-a-uuid", "command": {"ping": {}}})", "QSDaemonRequest.id", "invalid UUID 'not-a-uuid'"},
      {R"({"id": "U", "command": {"subscribe": {"_0": "everything"}}})", inCommand + "subscribe._0",
       "QSEventKind: unknown value 'everything'"},
      {R"({"id": "U", "command": {"removeProject": {"id": "U", "dropDatabase": 1, "trashFolder": false}}})",
       inCommand + "removeProject.dropDatabase", "expected true or false"},
      {R"({"id": "U", "command": {"getProject": {"id": "U"}}, "extra": 1})", "", ""},
      {R"({"id": "U", "command": {"createDatabase": {"name": "blog", "type": "redis"}}})", "", ""},  // optionals
      {R"({"id": "U", "command": {"ping": {}}} trailing)", "", notJSON},
      {std::string(129, '[') + std::string(129, ']'), "", "The frame body is nested too deeply."},
      {R"({"id": "U", "command": {"addProject": {"path": "\"[)" + std::string(200, '[') + R"("}}})", "", ""},
  };
  for (const Case& c : cases) {
    std::string body = c.body;
    for (auto at = body.find("\"U\""); at != std::string::npos; at = body.find("\"U\""))
      body.replace(at, 3, "\"" + U + "\"");
    std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
    if (c.reason.empty()) {
      EXPECT_NO_THROW(QSDaemonFraming::decode<QSDaemonRequest>(bytes)) << c.body;
      continue;
    }
    try {
      QSDaemonFraming::decode<QSDaemonRequest>(bytes);
      ADD_FAILURE() << "decoded: " << c.body;
    } catch (const QSDecodingError& e) {
      EXPECT_EQ(e.reason(), c.reason) << c.body;
      EXPECT_EQ(std::string(e.what()), c.where.empty() ? c.reason : c.where + ": " + c.reason) << c.body;
    }
  }
}

TEST(DaemonMessages, ErrorMessages) {
  for (const auto& [error, message] : kErrorMessages) {
    EXPECT_EQ(error.message(), message);
  }
}

}  // namespace
}  // namespace qs
