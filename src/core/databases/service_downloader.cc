#include "core/databases/service_downloader.h"

#include "core/databases/database_error.h"
#include "core/platform/file_status.h"
#include "core/platform/files.h"
#include "core/platform/lazy_curl.h"
#include "core/platform/process_runner.h"
#include "core/platform/system_error.h"
#include "core/platform/text.h"
#include "core/platform/uuid.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>

namespace qs {
namespace fs = std::filesystem;
namespace {

[[noreturn]] void fail(QSServiceDownloadError error) { throw QSServiceDownloadException(std::move(error)); }

fs::path toolPath(const char* name) {
  for (const char* folder : {"/usr/bin/", "/bin/"})
    if (isExecutableFile(fs::path(folder) / name)) return fs::path(folder) / name;
  return fs::path("/usr/bin") / name;
}

// Runs an unpacking or build tool; a non-zero exit is extractionFailed with its status.
void runTool(const std::vector<std::string>& arguments, std::optional<fs::path> folder = std::nullopt) {
  QSProcessOptions options;
  options.workingDirectory = std::move(folder);
  options.mergeErrorIntoOutput = true;
  auto result = runProcess(arguments, options);
  if (!result.succeeded()) fail(serviceDownloadError::ExtractionFailed{result.exitStatus});
}

void removeAll(const fs::path& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
  if (ec) throwSystemError("remove " + path.string(), ec.value());
}

struct Transfer {
  std::ofstream* file = nullptr;
  const QSServiceDownloader::Progress* progress = nullptr;
  curl_off_t reportedChunks = 0;
};

std::size_t writeChunk(char* data, std::size_t size, std::size_t count, void* context) {
  auto* transfer = static_cast<Transfer*>(context);
  transfer->file->write(data, static_cast<std::streamsize>(size * count));
  return transfer->file->good() ? size * count : 0;
}

// Reports at most once per 64 KiB received.
int reportProgress(void* context, curl_off_t expected, curl_off_t received, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(context);
  curl_off_t chunks = received / 65536;
  if (chunks > transfer->reportedChunks && transfer->progress && *transfer->progress) {
    transfer->reportedChunks = chunks;
    double fraction = expected > 0 ? std::min(1.0, static_cast<double>(received) / static_cast<double>(expected)) : 0.0;
    (*transfer->progress)(fraction);
  }
  return 0;
}

}  // namespace

std::string fileSHA256(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throwSystemError("open " + file.string());
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) throwSystemError("read " + file.string(), EIO);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context.get(), digest, &length);
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

QSServiceDownloader::QSServiceDownloader(fs::path servicesRoot, fs::path downloadsRoot, QSSystemEngines system)
    : servicesRoot_(std::move(servicesRoot)), downloadsRoot_(std::move(downloadsRoot)), system_(std::move(system)) {}

QSServiceDownloader QSServiceDownloader::forDataRoot(const fs::path& dataRoot, QSSystemEngines system) {
  return QSServiceDownloader(dataRoot / "services", dataRoot / "downloads", std::move(system));
}

std::optional<fs::path> QSServiceDownloader::installPath(const std::string& id) const {
  if (!isDirectory(servicesRoot_ / id)) return std::nullopt;
  return servicesRoot_ / id;
}

void QSServiceDownloader::uninstall(const std::string& id) {
  if (id.empty() || id.find('/') != std::string::npos || id == "." || id == "..") return;
  if (auto folder = installPath(id)) removeAll(*folder);
}

fs::path QSServiceDownloader::install(const QSServiceDefinition& definition, const Progress& progress) {
  // The id names a folder of its own; anything else could reach outside the engines' folder.
  if (definition.id.empty() || definition.id.find('/') != std::string::npos || definition.id.front() == '.')
    fail(serviceDownloadError::DownloadFailed{definition.id});
  createDirectories(servicesRoot_, 0700);
  createDirectories(downloadsRoot_, 0700);
  fs::path destination = servicesRoot_ / definition.id;
  if (definition.archiveFormat == QSArchiveFormat::system) {
    linkSystemEngine(definition, destination);
    if (progress) progress(1.0);
    return destination;
  }
  // Disk images cannot be opened here.
  if (definition.archiveFormat == QSArchiveFormat::dmg) fail(serviceDownloadError::ExtractionFailed{-1});
  fs::path archive = download(definition, progress);
  struct RemoveArchive {
    fs::path path;
    ~RemoveArchive() { tryRemoveFile(path); }
  } cleanup{archive};
  if (!definition.checksum.empty()) {
    std::string actual = fileSHA256(archive);
    if (actual != asciiLowercased(definition.checksum))
      fail(serviceDownloadError::ChecksumMismatch{definition.checksum, actual});
  }
  if (definition.archiveFormat == QSArchiveFormat::sourceTarGZ)
    buildFromSource(definition, archive, destination);
  else
    extract(archive, destination, definition.archiveFormat == QSArchiveFormat::tarXZ);
  for (const auto& name : definition.binaryNames) {
    fs::path binary = destination / "bin" / name;
    std::error_code ec;
    if (fileExists(binary)) fs::permissions(binary, fs::perms(0755), ec);
  }
  return destination;
}

fs::path QSServiceDownloader::download(const QSServiceDefinition& definition, const Progress& progress) {
  bool xz = definition.archiveFormat == QSArchiveFormat::tarXZ;
  fs::path archive = downloadsRoot_ / (definition.id + (xz ? ".tar.xz" : ".tar.gz"));
  fs::path partial = archive.string() + ".part";
  tryRemoveFile(archive);
  tryRemoveFile(partial);
  std::ofstream file(partial, std::ios::binary | std::ios::trunc);
  if (!file) throwSystemError("open " + partial.string());

  Transfer transfer{&file, &progress, 0};
  QSCurlTransfer curl;
  if (!curl.valid()) fail(serviceDownloadError::DownloadFailed{definition.id});
  curl.setText(CURLOPT_URL, definition.downloadURL.c_str());
  curl.setText(CURLOPT_PROTOCOLS_STR, "http,https");
  curl.setText(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl.setNumber(CURLOPT_FOLLOWLOCATION, 1L);
  curl.setNumber(CURLOPT_NOSIGNAL, 1L);
  curl.setNumber(CURLOPT_CONNECTTIMEOUT, 30L);
  // A stalled transfer (under 1 byte/s for a minute) is a failed one.
  curl.setNumber(CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl.setNumber(CURLOPT_LOW_SPEED_TIME, 60L);
  curl.setWriteFunction(writeChunk, &transfer);
  curl.setProgressFunction(reportProgress, &transfer);
  CURLcode code = curl.perform();
  long status = curl.numberInfo(CURLINFO_RESPONSE_CODE).value_or(0);
  file.close();
  // Only a whole 200 answer counts; the partial data is never kept.
  if (code != CURLE_OK || status != 200 || !file) {
    tryRemoveFile(partial);
    fail(serviceDownloadError::DownloadFailed{definition.id});
  }
  moveItem(partial, archive);
  return archive;
}

void QSServiceDownloader::linkSystemEngine(const QSServiceDefinition& definition, const fs::path& destination) {
  auto binaries = system_.binaries(definition.type);
  if (binaries.empty()) fail(serviceDownloadError::SystemPackageMissing{system_.packageCommand(definition.type)});
  removeAll(destination);
  createDirectories(destination / "bin", 0755);
  for (const auto& [name, target] : binaries) createSymbolicLink(target, destination / "bin" / name);
}

void QSServiceDownloader::extract(const fs::path& archive, const fs::path& destination, bool xz) {
  removeAll(destination);
  createDirectories(destination, 0755);
  runTool({toolPath("tar").string(), xz ? "xJf" : "xzf", archive.string(), "-C", destination.string(),
           "--strip-components=1"});
}

void QSServiceDownloader::buildFromSource(const QSServiceDefinition& definition, const fs::path& archive,
                                          const fs::path& destination) {
  fs::path build = downloadsRoot_ / ("build-" + QSUUID::random().string());
  createDirectories(build, 0700);
  struct RemoveBuild {
    fs::path path;
    ~RemoveBuild() {
      std::error_code ec;
      fs::remove_all(path, ec);
    }
  } cleanup{build};
  runTool({toolPath("tar").string(), "xzf", archive.string(), "-C", build.string(), "--strip-components=1"});
  runTool({toolPath("make").string(), "-j4"}, build);
  removeAll(destination);
  createDirectories(destination / "bin", 0755);
  for (const auto& name : definition.binaryNames) {
    fs::path built = build / "src" / name;
    if (!fileExists(built)) continue;
    std::error_code ec;
    fs::copy_file(built, destination / "bin" / name, fs::copy_options::overwrite_existing, ec);
    if (ec) throwSystemError("copy " + built.string(), ec.value());
  }
}

}  // namespace qs
