#include "core/platform/process_runner.h"

#include "core/platform/file_status.h"
#include "core/platform/sigpipe_guard.h"
#include "core/platform/spawn.h"
#include "core/platform/system_error.h"
#include "core/platform/unique_fd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace qs {
namespace {

int decodeWaitStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Reads both pipes and feeds standard input until everything is closed; poll keeps a chatty
// tool from blocking on a full pipe while we wait on the other one.
void pump(UniqueFd& out, UniqueFd& err, UniqueFd& in, std::string_view input, QSProcessResult& result) {
  std::size_t written = 0;
  if (in && input.empty()) in.reset();
  while (out || err || in) {
    pollfd fds[3];
    int n = 0;
    int outIndex = -1, errIndex = -1, inIndex = -1;
    if (out) { outIndex = n; fds[n++] = {out.get(), POLLIN, 0}; }
    if (err) { errIndex = n; fds[n++] = {err.get(), POLLIN, 0}; }
    if (in) { inIndex = n; fds[n++] = {in.get(), POLLOUT, 0}; }
    if (::poll(fds, static_cast<nfds_t>(n), -1) < 0) {
      if (errno == EINTR) continue;
      throwSystemError("poll");
    }
    char buffer[65536];
    auto drain = [&](int index, UniqueFd& fd, std::string& sink) {
      if (index < 0 || !(fds[index].revents & (POLLIN | POLLHUP | POLLERR))) return;
      ssize_t r = ::read(fd.get(), buffer, sizeof buffer);
      if (r > 0) sink.append(buffer, static_cast<std::size_t>(r));
      else if (r == 0 || errno != EINTR) fd.reset();
    };
    drain(outIndex, out, result.output);
    drain(errIndex, err, result.errorOutput);
    if (inIndex >= 0 && (fds[inIndex].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t w = withoutSigpipe([&] { return ::write(in.get(), input.data() + written, input.size() - written); });
      if (w > 0) written += static_cast<std::size_t>(w);
      if ((w < 0 && errno != EINTR && errno != EAGAIN) || written == input.size()) in.reset();
    }
  }
}

}  // namespace

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& set,
                                           const std::vector<std::string>& unset) {
  std::vector<std::string> out;
  for (char** e = environ; e && *e; ++e) {
    std::string_view entry = *e;
    std::string key(entry.substr(0, entry.find('=')));
    if (set.count(key)) continue;
    bool removed = false;
    for (const auto& u : unset) removed = removed || u == key;
    if (!removed) out.emplace_back(entry);
  }
  for (const auto& [k, v] : set) out.push_back(k + "=" + v);
  return out;
}

std::optional<std::filesystem::path> findExecutable(const std::string& name) {
  if (name.find('/') != std::string::npos) return std::filesystem::path(name);
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!rest.empty()) {
    auto colon = rest.find(':');
    std::string folder(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (folder.empty()) continue;
    std::filesystem::path candidate = std::filesystem::path(folder) / name;
    if (isExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

QSProcessResult runProcess(const std::vector<std::string>& arguments, const QSProcessOptions& options) {
  if (arguments.empty()) throwSystemError("spawn (no program)", EINVAL);
  auto program = findExecutable(arguments[0]);
  if (!program) throwSystemError("spawn " + arguments[0], ENOENT);

  QSPipe out = makePipe(), err = makePipe(), in = makePipe();
  if (options.inputFile) {
    int fd = ::open(options.inputFile->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throwSystemError("open " + options.inputFile->string());
    in.read = UniqueFd(fd);
  }
  if (options.outputFile) {
    if (options.mergeErrorIntoOutput) throwSystemError("spawn (output to a file and merged errors)", EINVAL);
    int fd = ::open(options.outputFile->c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) throwSystemError("open " + options.outputFile->string());
    out.write = UniqueFd(fd);
  }
  QSPreparedSpawn spawn({.program = *program,
                         .arguments = arguments,
                         .environment = mergedEnvironment(options.environment, options.unsetEnvironment),
                         .input = in.read.get(),
                         .output = out.write.get(),
                         .error = options.mergeErrorIntoOutput ? out.write.get() : err.write.get(),
                         .workingDirectory = options.workingDirectory});
  pid_t pid = spawn.startOrThrow();

  out.write.reset();
  if (options.outputFile) out.read.reset();  // nothing comes through the pipe
  err.write.reset();
  in.read.reset();
  QSProcessResult result;
  std::string_view input = options.input ? std::string_view(*options.input) : std::string_view{};
  if (!options.input || options.inputFile) in.write.reset();
  // Non-blocking, so a large input never stalls us while the tool waits for us to read its output.
  if (in.write) ::fcntl(in.write.get(), F_SETFL, ::fcntl(in.write.get(), F_GETFL) | O_NONBLOCK);
  pump(out.read, err.read, in.write, input, result);

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throwSystemError("waitpid");
  }
  result.exitStatus = decodeWaitStatus(status);
  return result;
}

}  // namespace qs
