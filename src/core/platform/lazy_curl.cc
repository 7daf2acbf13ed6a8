#include "core/platform/lazy_curl.h"

#include <dlfcn.h>

namespace qs {
namespace {

// libcurl's functions, by their own signatures. The library stays loaded for the life of the
// process: handles may outlive any scope.
struct CurlLibrary {
  decltype(&curl_global_init) globalInit = nullptr;
  decltype(&curl_easy_init) easyInit = nullptr;
  decltype(&curl_easy_setopt) easySetopt = nullptr;
  decltype(&curl_easy_perform) easyPerform = nullptr;
  decltype(&curl_easy_getinfo) easyGetinfo = nullptr;
  decltype(&curl_easy_cleanup) easyCleanup = nullptr;
  decltype(&curl_easy_strerror) easyStrerror = nullptr;
  decltype(&curl_slist_append) slistAppend = nullptr;
  decltype(&curl_slist_free_all) slistFreeAll = nullptr;
  decltype(&curl_url) url = nullptr;
  decltype(&curl_url_set) urlSet = nullptr;
  decltype(&curl_url_get) urlGet = nullptr;
  decltype(&curl_url_cleanup) urlCleanup = nullptr;
  decltype(&curl_free) free = nullptr;

  CurlLibrary() {
    void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    bind(library, globalInit, "curl_global_init");
    bind(library, easyInit, "curl_easy_init");
    bind(library, easySetopt, "curl_easy_setopt");
    bind(library, easyPerform, "curl_easy_perform");
    bind(library, easyGetinfo, "curl_easy_getinfo");
    bind(library, easyCleanup, "curl_easy_cleanup");
    bind(library, easyStrerror, "curl_easy_strerror");
    bind(library, slistAppend, "curl_slist_append");
    bind(library, slistFreeAll, "curl_slist_free_all");
    bind(library, url, "curl_url");
    bind(library, urlSet, "curl_url_set");
    bind(library, urlGet, "curl_url_get");
    bind(library, urlCleanup, "curl_url_cleanup");
    bind(library, free, "curl_free");
    // Once, before any handle and while no other thread can be inside libcurl (a function-local
    // static is built by one thread).
    if (globalInit) globalInit(CURL_GLOBAL_DEFAULT);
  }

  template <class Function>
  static void bind(void* library, Function& function, const char* name) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
  }
};

const CurlLibrary& curl() {
  static const CurlLibrary library;
  return library;
}

// libcurl groups option numbers by the type of their argument.
bool takesNumber(CURLoption option) { return option < CURLOPTTYPE_OBJECTPOINT; }
bool takesPointer(CURLoption option) { return option >= CURLOPTTYPE_OBJECTPOINT && option < CURLOPTTYPE_OFF_T; }
bool takesSize(CURLoption option) { return option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB; }

bool infoIsNumber(CURLINFO info) { return (info & CURLINFO_TYPEMASK) == CURLINFO_LONG; }
bool infoIsText(CURLINFO info) { return (info & CURLINFO_TYPEMASK) == CURLINFO_STRING; }
bool infoIsSize(CURLINFO info) { return (info & CURLINFO_TYPEMASK) == CURLINFO_OFF_T; }

template <class Value>
std::optional<Value> readInfo(CURL* handle, CURLINFO info) {
  auto getinfo = curl().easyGetinfo;
  Value value{};
  if (!handle || !getinfo || getinfo(handle, info, &value) != CURLE_OK) return std::nullopt;
  return value;
}

}  // namespace

QSCurlTransfer::QSCurlTransfer() {
  if (auto init = curl().easyInit) handle_ = init();
}

QSCurlTransfer::~QSCurlTransfer() {
  if (handle_) curl().easyCleanup(handle_);
}

CURLcode QSCurlTransfer::setAny(CURLoption option, auto value) {
  auto setopt = curl().easySetopt;
  if (!handle_ || !setopt) return CURLE_FAILED_INIT;
  return setopt(handle_, option, value);
}

CURLcode QSCurlTransfer::setNumber(CURLoption option, long value) {
  return takesNumber(option) ? setAny(option, value) : CURLE_BAD_FUNCTION_ARGUMENT;
}

CURLcode QSCurlTransfer::setSize(CURLoption option, curl_off_t value) {
  return takesSize(option) ? setAny(option, value) : CURLE_BAD_FUNCTION_ARGUMENT;
}

CURLcode QSCurlTransfer::setText(CURLoption option, const char* text) {
  return takesPointer(option) ? setAny(option, text) : CURLE_BAD_FUNCTION_ARGUMENT;
}

CURLcode QSCurlTransfer::setPointer(CURLoption option, void* pointer) {
  return takesPointer(option) ? setAny(option, pointer) : CURLE_BAD_FUNCTION_ARGUMENT;
}

CURLcode QSCurlTransfer::setHeaders(const QSCurlHeaderList& headers) {
  return setAny(CURLOPT_HTTPHEADER, headers.list());
}

CURLcode QSCurlTransfer::setWriteFunction(WriteFunction function, void* context) {
  CURLcode code = setAny(CURLOPT_WRITEFUNCTION, function);
  return code == CURLE_OK ? setAny(CURLOPT_WRITEDATA, context) : code;
}

CURLcode QSCurlTransfer::setReadFunction(ReadFunction function, void* context) {
  CURLcode code = setAny(CURLOPT_READFUNCTION, function);
  return code == CURLE_OK ? setAny(CURLOPT_READDATA, context) : code;
}

CURLcode QSCurlTransfer::setProgressFunction(ProgressFunction function, void* context) {
  CURLcode code = setAny(CURLOPT_XFERINFOFUNCTION, function);
  if (code == CURLE_OK) code = setAny(CURLOPT_XFERINFODATA, context);
  return code == CURLE_OK ? setAny(CURLOPT_NOPROGRESS, 0L) : code;
}

CURLcode QSCurlTransfer::perform() {
  auto perform = curl().easyPerform;
  return handle_ && perform ? perform(handle_) : CURLE_FAILED_INIT;
}

std::optional<long> QSCurlTransfer::numberInfo(CURLINFO info) const {
  return infoIsNumber(info) ? readInfo<long>(handle_, info) : std::nullopt;
}

std::optional<curl_off_t> QSCurlTransfer::sizeInfo(CURLINFO info) const {
  return infoIsSize(info) ? readInfo<curl_off_t>(handle_, info) : std::nullopt;
}

std::optional<std::string> QSCurlTransfer::textInfo(CURLINFO info) const {
  if (!infoIsText(info)) return std::nullopt;
  auto text = readInfo<char*>(handle_, info);
  if (!text || !*text) return std::nullopt;
  return std::string(*text);
}

QSCurlHeaderList::~QSCurlHeaderList() {
  if (list_) curl().slistFreeAll(list_);
}

bool QSCurlHeaderList::append(std::string_view line) {
  auto add = curl().slistAppend;
  if (!add) return false;
  curl_slist* longer = add(list_, std::string(line).c_str());
  if (!longer) return false;
  list_ = longer;
  return true;
}

bool loadCurl() { return curl().easyInit != nullptr; }

std::optional<QSCurlURLParts> curlURLParts(const std::string& url) {
  const CurlLibrary& library = curl();
  if (!library.url || !library.urlSet || !library.urlGet || !library.urlCleanup || !library.free) return std::nullopt;
  CURLU* handle = library.url();
  if (!handle) return std::nullopt;
  auto part = [&](CURLUPart which, unsigned flags) -> std::optional<std::string> {
    char* value = nullptr;
    if (library.urlGet(handle, which, &value, flags) != CURLUE_OK || !value) return std::nullopt;
    std::string out = value;
    library.free(value);
    return out;
  };
  std::optional<QSCurlURLParts> parts;
  if (library.urlSet(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    auto scheme = part(CURLUPART_SCHEME, 0), host = part(CURLUPART_HOST, 0);
    auto port = part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (scheme && host && !host->empty()) parts = QSCurlURLParts{*scheme, *host, port.value_or("")};
  }
  library.urlCleanup(handle);
  return parts;
}

std::string curlErrorText(CURLcode code) {
  auto text = curl().easyStrerror;
  return text ? text(code) : "libcurl (libcurl.so.4) could not be loaded";
}

}  // namespace qs
