// libcurl, loaded the first time a transfer needs it. libcurl's dependency chain (TLS libraries,
// Kerberos, LDAP, IDN) costs a process about 4 MB of resident memory the moment it is loaded, and
// the daemon downloads only when an engine is installed, so the programs are not linked against
// it: these wrappers open the library with dlopen on first use and call it through pointers.
// When it cannot be opened, a transfer is not valid and every call fails the way libcurl reports
// failure (CURLE_FAILED_INIT), which the callers turn into their own errors.
//
// Each setter names the type of its argument and refuses an option of another type with
// CURLE_BAD_FUNCTION_ARGUMENT, so a wrong argument is an error rather than a misread stack.
#pragma once

#include <curl/curl.h>  // types and constants only

#include <optional>
#include <string>
#include <string_view>

namespace qs {

class QSCurlHeaderList;

// One transfer: a libcurl easy handle.
class QSCurlTransfer {
public:
  using WriteFunction = std::size_t (*)(char* data, std::size_t size, std::size_t count, void* context);
  using ReadFunction = std::size_t (*)(char* buffer, std::size_t size, std::size_t count, void* context);
  using ProgressFunction = int (*)(void* context, curl_off_t downloadTotal, curl_off_t downloaded,
                                   curl_off_t uploadTotal, curl_off_t uploaded);

  QSCurlTransfer();
  ~QSCurlTransfer();
  QSCurlTransfer(const QSCurlTransfer&) = delete;
  QSCurlTransfer& operator=(const QSCurlTransfer&) = delete;

  // False when libcurl could not be loaded or could not make a handle.
  bool valid() const { return handle_ != nullptr; }

  CURLcode setNumber(CURLoption option, long value);
  CURLcode setSize(CURLoption option, curl_off_t value);
  // libcurl copies the text, except for CURLOPT_POSTFIELDS, which must outlive the transfer.
  CURLcode setText(CURLoption option, const char* text);
  // Data handed back to callbacks, or a buffer libcurl writes into; must outlive the transfer.
  CURLcode setPointer(CURLoption option, void* pointer);
  // The list must outlive the transfer.
  CURLcode setHeaders(const QSCurlHeaderList& headers);
  CURLcode setWriteFunction(WriteFunction function, void* context);
  CURLcode setReadFunction(ReadFunction function, void* context);
  // Turns progress reports on; a non-zero answer from `function` ends the transfer.
  CURLcode setProgressFunction(ProgressFunction function, void* context);

  CURLcode perform();

  std::optional<long> numberInfo(CURLINFO info) const;
  std::optional<curl_off_t> sizeInfo(CURLINFO info) const;
  // Owned by the transfer; nullopt when libcurl has no such text.
  std::optional<std::string> textInfo(CURLINFO info) const;

private:
  CURLcode setAny(CURLoption option, auto value);
  CURL* handle_ = nullptr;
};

// Request headers, one "Name: value" line each.
class QSCurlHeaderList {
public:
  QSCurlHeaderList() = default;
  ~QSCurlHeaderList();
  QSCurlHeaderList(const QSCurlHeaderList&) = delete;
  QSCurlHeaderList& operator=(const QSCurlHeaderList&) = delete;

  // False when libcurl could not take the line (out of memory, or not loaded).
  bool append(std::string_view line);
  curl_slist* list() const { return list_; }

private:
  curl_slist* list_ = nullptr;
};

struct QSCurlURLParts {
  std::string scheme, host, port;  // the port is the scheme's default when the URL names none
};

// Opens libcurl now, if it is not open yet, and says whether it could be. OpenSSL keeps some
// state per thread that initialised it: a program that transfers from worker threads calls this
// first on a thread that lives as long as the program.
bool loadCurl();

// The parts of `url` as libcurl will read them; nullopt when it cannot read them.
std::optional<QSCurlURLParts> curlURLParts(const std::string& url);

// libcurl's text for `code`.
std::string curlErrorText(CURLcode code);

}  // namespace qs
