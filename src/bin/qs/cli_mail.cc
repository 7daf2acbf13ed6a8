// `qs mail`: the mail the catcher caught. The messages are read straight from the mail folder,
// so listing, showing and removing work whether the daemon runs or not; `qs mail -f` follows
// the daemon's events for new ones.
#include "bin/qs/cli_commands.h"
#include "bin/qs/event_follower.h"
#include "bin/qs/mail_listing.h"
#include "bin/qs/json_output.h"
#include "bin/qs/output.h"
#include "bin/qs/terminal_text.h"

#include "core/mail/mail_environment.h"
#include "core/mail/mail_summary.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/process_runner.h"
#include "core/platform/terminal.h"
#include "core/platform/utf8.h"

#include <fmt/format.h>

#include <cstdio>
#include <memory>

namespace qs {
namespace {

enum class MailAction { list, show, open, attachments, remove, clear, search };
enum class ShowPart { summary, raw, html, headers };

struct MailOptions {
  MailAction action = MailAction::list;
  std::string project;
  int count = 50;
  bool follow = false;
  std::string id;
  std::string text;
  bool raw = false, html = false, headers = false, force = false;
  std::string saveFolder;
  bool yes = false;
};

struct Mailbox {
  QSMailStore store = QSMailStore::standard();
  QSMailIndex index = QSMailIndex::load(store.folder());

  QSMailMessage require(const std::string& prefix) const {
    QSUUID id = resolveMessageID(store.list(), prefix);
    auto message = store.load(id);
    if (!message) throw QSCliError("Message " + id.string() + " can't be read from " + store.folder().string() + ".");
    return *message;
  }
};

// Newest first, at most `count` (0: all), those of `project` when one is given, and those
// `keep` accepts.
std::vector<QSMailSummary> pick(const Mailbox& box, const MailOptions& options,
                                const std::function<bool(const QSMailMessage&)>& keep) {
  std::vector<QSMailSummary> out;
  for (const auto& name : box.store.list()) {
    if (options.count > 0 && static_cast<int>(out.size()) >= options.count) break;
    auto origin = box.index.origin(name.id);
    QSMailSummary bare{.id = name.id};
    if (origin) bare.projectID = origin->projectID, bare.projectName = origin->projectName;
    if (!options.project.empty() && !fromProject(bare, options.project)) continue;
    auto message = box.store.load(name.id);
    if (message && (!keep || keep(*message))) out.push_back(summarize(*message, origin));
  }
  return out;
}

void printList(const QSCliSession& session, const std::vector<QSMailSummary>& messages) {
  fmt::print("{}", session.json ? jsonText(messages) : formatMailList(messages, standardOutputWidth()));
}

// Says which projects' .env send mail to another port than the one the catcher listens on (it
// moves up when another program holds its port). Asked only of a daemon that already runs:
// listing mail never needs one, and never fails for the sake of a note.
asio::awaitable<void> noteMailSentElsewhere(QSCliSession& session) {
  try {
    QSDaemonCommand ask = cmd::Status{};  // g++ 12: no braces inside a co_await
    res::Status status = co_await session.request<res::Status>(ask);
    if (!status.value.mail || !status.value.mail->running) co_return;
    int listening = status.value.mail->port;
    QSDaemonCommand list = cmd::ListProjects{};
    res::Projects projects = co_await session.request<res::Projects>(list);
    for (const auto& project : projects.value)
      if (auto port = mailPortElsewhere(project.environmentVariables, listening))
        fmt::print(stderr,
                   "Note: {}'s .env says MAIL_PORT={}, but the catcher listens on {}, so mail from what reads that "
                   ".env may go elsewhere. Point it here with: qs env {} set MAIL_PORT {}\n",
                   project.name, terminalSafeLine(*port), listening, project.name, listening);
  } catch (const std::exception&) {
    // No daemon, or one that could not answer: nothing to compare with.
  }
}

asio::awaitable<int> followMail(QSCliSession& session, const MailOptions& options) {
  auto stream = co_await session.events(QSEventKind::mail);
  if (!session.json) fmt::print("Waiting for mail (Ctrl-C to stop)...\n");
  std::fflush(stdout);
  QSEventFollower follower(session.executor());
  follower.follow(stream);
  follower.catchInterrupt();
  for (;;) {
    auto item = co_await follower.next();
    if (item.what == QSEventFollower::What::interrupted) co_return QSExitCode::success;
    if (item.what == QSEventFollower::What::ended) throw daemonWentAway();
    const auto* mail = item.event.get<evt::MailReceived>();
    if (!mail || (!options.project.empty() && !fromProject(mail->value, options.project))) continue;
    fmt::print("{}", session.json ? jsonLine(mail->value) : formatMailArrival(mail->value));
    std::fflush(stdout);
  }
}

void showMessage(const QSCliSession& session, const Mailbox& box, const MailOptions& options) {
  QSMailMessage message = box.require(options.id);
  // What goes to a file or a pipe stays as it came; a terminal gets no control sequence from mail.
  bool terminal = isTerminal(1);
  std::string shortID = message.id.string().substr(0, 8);
  if (options.raw) {
    if (terminal && !options.force)
      throw QSCliError("The raw message may hold control sequences that act on this terminal. Send it to a file "
                       "('qs mail show " + shortID + " --raw > message.eml'), or add --force to print it here.");
    std::fwrite(message.raw.data(), 1, message.raw.size(), stdout);
  } else if (options.html) {
    if (!message.htmlBody) throw QSCliError("Message " + shortID + " has no HTML body.");
    fmt::print("{}", terminal ? terminalSafeText(*message.htmlBody) : *message.htmlBody);
  } else if (options.headers) {
    for (const auto& h : message.headers) fmt::print("{}: {}\n", terminalSafeLine(h.name), terminalSafeLine(h.value));
  } else if (session.json) {
    message.raw = replacingInvalidUTF8(message.raw);
    fmt::print("{}", jsonText(message));
  } else {
    fmt::print("{}", formatMailMessage(message, box.index.origin(message.id)));
  }
}

void openMessage(const Mailbox& box, const MailOptions& options) {
  QSMailMessage message = box.require(options.id);
  bool html = message.htmlBody.has_value();
  auto opener = findExecutable("xdg-open");
  if (!opener) throw QSCliError("Can't open a browser here (no xdg-open); use 'qs mail show " + options.id + "'.");
  // A folder only this user can enter: the message may hold what others should not read.
  auto folder = QSPaths::temporaryFolder() / ("qs-mail-" + QSUUID::random().string());
  createDirectories(folder, 0700);
  auto file = folder / (html ? "message.html" : "message.txt");
  writeFileAtomically(file, html ? *message.htmlBody : message.textBody.value_or(""), 0600);
  auto result = runProcess({opener->string(), file.string()});
  if (!result.succeeded())
    throw QSCliError(fmt::format("xdg-open failed (exit {}) for {}.", result.exitStatus, file.string()));
  fmt::print("Opened {}\n", file.string());
}

void listAttachments(const QSCliSession& session, const Mailbox& box, const MailOptions& options) {
  QSMailMessage message = box.require(options.id);
  if (!options.saveFolder.empty()) {
    createDirectories(options.saveFolder, 0755);
    for (const auto& a : message.attachments) {
      auto target = std::filesystem::path(options.saveFolder) / safeFileName(a.filename);
      for (int n = 2; fileExists(target); ++n)
        target = std::filesystem::path(options.saveFolder) / fmt::format("{}-{}", n, safeFileName(a.filename));
      writeFileAtomically(target, std::string_view(reinterpret_cast<const char*>(a.data.data()), a.data.size()), 0644);
      fmt::print("Saved {}\n", target.string());
    }
    if (message.attachments.empty()) fmt::print("Message {} has no attachments.\n", options.id);
    return;
  }
  if (session.json) {
    std::vector<output::Attachment> list;
    for (const auto& a : message.attachments)
      list.push_back({.filename = a.filename, .contentType = a.contentType, .sizeBytes = a.sizeBytes()});
    fmt::print("{}", jsonText(list));
    return;
  }
  if (message.attachments.empty()) {
    fmt::print("Message {} has no attachments.\n", options.id);
    return;
  }
  QSTextTable table({"NAME", "TYPE", "SIZE"});
  for (const auto& a : message.attachments)
    table.addRow({terminalSafeLine(a.filename), terminalSafeLine(a.contentType), formatByteCount(a.sizeBytes())});
  fmt::print("{}", table.render("", standardOutputWidth()));
}

asio::awaitable<int> runMail(QSCliSession& session, MailOptions options) {
  Mailbox box;
  switch (options.action) {
    case MailAction::list:
      if (options.follow) co_return co_await followMail(session, options);
      printList(session, pick(box, options, nullptr));
      if (!session.json) co_await noteMailSentElsewhere(session);
      break;
    case MailAction::search:
      printList(session, pick(box, options, [&](const QSMailMessage& m) { return mentions(m, options.text); }));
      break;
    case MailAction::show:
      showMessage(session, box, options);
      break;
    case MailAction::open:
      openMessage(box, options);
      break;
    case MailAction::attachments:
      listAttachments(session, box, options);
      break;
    case MailAction::remove: {
      QSMailMessage message = box.require(options.id);
      box.store.remove(message.id);
      fmt::print("Removed {} ({}).\n", message.id.string().substr(0, 8),
                 message.subject.empty() ? "no subject" : terminalSafeLine(message.subject));
      break;
    }
    case MailAction::clear: {
      auto count = box.store.list().size();
      if (count == 0) {
        fmt::print("No mail to remove.\n");
        break;
      }
      if (!options.yes && !confirm(fmt::format("Remove all {} messages?", count))) co_return QSExitCode::failure;
      fmt::print("Removed {} message{}.\n", box.store.clearAll(), count == 1 ? "" : "s");
      break;
    }
  }
  co_return QSExitCode::success;
}

CLI::App* addAction(CLI::App* mail, const std::string& name, const std::string& description,
                    const std::string& examples, std::shared_ptr<MailOptions> options, MailAction action) {
  auto* command = addCommand(*mail, name, description, examples);
  command->callback([options, action] { options->action = action; });
  return command;
}

void addIDArgument(CLI::App* command, const std::shared_ptr<MailOptions>& options) {
  command->add_option("ID", options->id, "The message's id, or the start of it")->required();
}

}  // namespace

void addMailCommands(CLI::App& app, QSCliSession& session) {
  auto* mail = addCommand(app, "mail", "Mail your projects sent to the catcher (smtp://127.0.0.1:1025), newest first",
                          "  qs mail                        # the newest 50 messages\n"
                          "  qs mail --project blog -n 5    # the last 5 that blog's server sent\n"
                          "  qs mail --project other        # mail that no project server sent\n"
                          "  qs mail -f                     # print each new message as it arrives\n"
                          "  qs mail show 3f2a              # headers and text of the message whose id starts 3f2a\n"
                          "  qs mail search invoice --json\n");
  auto options = std::make_shared<MailOptions>();
  mail->require_subcommand(0, 1);
  mail->add_option("--project", options->project, "Only mail from this project's server ('other': from elsewhere)");
  mail->add_option("-n", options->count, "How many messages at most (0: all)")->capture_default_str();
  mail->add_flag("-f,--follow", options->follow, "Print each new message as it arrives (needs the daemon)");
  addJsonFlag(mail, session);

  auto* show = addAction(mail, "show", "Print a message: its headers and text, or --raw, --html, --headers",
                         "  qs mail show 3f2a\n  qs mail show 3f2a --raw > message.eml\n"
                         "  qs mail show 3f2a --raw | less\n"
                         "  qs mail show 3f2a --json\n",
                         options, MailAction::show);
  addIDArgument(show, options);
  auto* raw =
      show->add_flag("--raw", options->raw, "The message exactly as received (to a terminal only with --force)");
  show->add_flag("--force", options->force, "With --raw: print to the terminal, control sequences and all");
  auto* html = show->add_flag("--html", options->html, "The HTML body");
  auto* headers = show->add_flag("--headers", options->headers, "Every header, unfolded");
  raw->excludes(html)->excludes(headers);
  html->excludes(headers);
  addJsonFlag(show, session);

  auto* open = addAction(mail, "open", "Show the HTML body (else the text) in the browser, through xdg-open",
                         "  qs mail open 3f2a\n", options, MailAction::open);
  addIDArgument(open, options);
  auto* attachments = addAction(mail, "attachments", "List a message's attachments, or save them with --save",
                                "  qs mail attachments 3f2a\n  qs mail attachments 3f2a --save ~/Downloads\n",
                                options, MailAction::attachments);
  addIDArgument(attachments, options);
  attachments->add_option("--save", options->saveFolder, "Write every attachment into this folder");
  addJsonFlag(attachments, session);
  auto* rm = addAction(mail, "rm", "Remove a message", "  qs mail rm 3f2a\n", options, MailAction::remove);
  addIDArgument(rm, options);
  auto* clear = addAction(mail, "clear", "Remove every message", "  qs mail clear\n  qs mail clear --yes\n", options,
                          MailAction::clear);
  clear->add_flag("-y,--yes", options->yes, "Don't ask first");
  auto* search = addAction(mail, "search", "Messages whose subject, addresses or body hold TEXT (any letter case)",
                           "  qs mail search 'reset your password'\n  qs mail search alice@example.com --project blog\n",
                           options, MailAction::search);
  search->add_option("TEXT", options->text, "What to look for")->required();
  addJsonFlag(search, session);

  onRun(mail, session, [&session, options] { return runMail(session, *options); });
}

}  // namespace qs
