// libcurl, loaded the first time a transfer needs it. libcurl's dependency chain (TLS libraries,
// Kerberos, LDAP, IDN) costs a process about 4 MB of resident memory the moment it is loaded, and
// the daemon downloads only when an engine is installed, so the programs are not linked against it:
// this file defines the few libcurl functions the code calls and forwards each to the library,
// opened with dlopen on the first call. When the library cannot be opened, every call fails the
// way libcurl reports failure (a null handle, CURLE_FAILED_INIT), which the callers already turn
// into their own "download failed" or "couldn't start an HTTP request" errors.
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>

namespace {

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
    // The library stays loaded for the life of the process: handles may outlive any scope.
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
  }

  template <class Function>
  static void bind(void* library, Function& function, const char* name) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
  }
};

const CurlLibrary& curlLibrary() {
  static const CurlLibrary library;
  return library;
}

// The one argument after `option`, read as libcurl reads it: option numbers are grouped by the
// type of their argument (long, object or function pointer, curl_off_t, blob pointer).
CURLcode forwardOption(CURL* handle, CURLoption option, va_list arguments) {
  auto setopt = curlLibrary().easySetopt;
  if (!setopt) return CURLE_FAILED_INIT;
  if (option < CURLOPTTYPE_OBJECTPOINT) return setopt(handle, option, va_arg(arguments, long));
  if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB)
    return setopt(handle, option, va_arg(arguments, curl_off_t));
  return setopt(handle, option, va_arg(arguments, void*));
}

}  // namespace

// The signatures are libcurl's own, with an enumeration before the `...`; libcurl reads its
// arguments the same way.
#pragma GCC diagnostic ignored "-Wvarargs"

extern "C" {

CURLcode curl_global_init(long flags) {
  auto f = curlLibrary().globalInit;
  return f ? f(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init(void) {
  auto f = curlLibrary().easyInit;
  return f ? f() : nullptr;
}

CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
  va_list arguments;
  va_start(arguments, option);
  CURLcode code = forwardOption(handle, option, arguments);
  va_end(arguments);
  return code;
}

CURLcode curl_easy_perform(CURL* handle) {
  auto f = curlLibrary().easyPerform;
  return f ? f(handle) : CURLE_FAILED_INIT;
}

// Every piece of information is written through the one pointer that follows `info`.
CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
  auto f = curlLibrary().easyGetinfo;
  if (!f) return CURLE_FAILED_INIT;
  va_list arguments;
  va_start(arguments, info);
  void* out = va_arg(arguments, void*);
  va_end(arguments);
  return f(handle, info, out);
}

void curl_easy_cleanup(CURL* handle) {
  if (auto f = curlLibrary().easyCleanup) f(handle);
}

const char* curl_easy_strerror(CURLcode code) {
  auto f = curlLibrary().easyStrerror;
  return f ? f(code) : "libcurl (libcurl.so.4) could not be loaded";
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
  auto f = curlLibrary().slistAppend;
  return f ? f(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
  if (auto f = curlLibrary().slistFreeAll) f(list);
}

CURLU* curl_url(void) {
  auto f = curlLibrary().url;
  return f ? f() : nullptr;
}

CURLUcode curl_url_set(CURLU* handle, CURLUPart what, const char* part, unsigned int flags) {
  auto f = curlLibrary().urlSet;
  return f ? f(handle, what, part, flags) : CURLUE_OUT_OF_MEMORY;
}

CURLUcode curl_url_get(CURLU* handle, CURLUPart what, char** part, unsigned int flags) {
  auto f = curlLibrary().urlGet;
  return f ? f(handle, what, part, flags) : CURLUE_OUT_OF_MEMORY;
}

void curl_url_cleanup(CURLU* handle) {
  if (auto f = curlLibrary().urlCleanup) f(handle);
}

void curl_free(void* pointer) {
  if (auto f = curlLibrary().free) f(pointer);
}

}  // extern "C"
