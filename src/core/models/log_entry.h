// One logged HTTP exchange (from the proxy or the server's console).
#pragma once

#include "core/models/json_coding.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace qs {

enum class QSHTTPMethod { get, post, put, patch, delete_, head, options };
enum class QSStatusCategory { success, redirect, clientError, serverError, unknown };
enum class QSLogSource { proxy, console };

template <>
struct QSRawEnum<QSHTTPMethod> {
  static constexpr std::string_view typeName = "QSHTTPMethod";
  static constexpr std::array<std::pair<QSHTTPMethod, std::string_view>, 7> cases{{
      {QSHTTPMethod::get, "GET"},
      {QSHTTPMethod::post, "POST"},
      {QSHTTPMethod::put, "PUT"},
      {QSHTTPMethod::patch, "PATCH"},
      {QSHTTPMethod::delete_, "DELETE"},
      {QSHTTPMethod::head, "HEAD"},
      {QSHTTPMethod::options, "OPTIONS"},
  }};
};

template <>
struct QSRawEnum<QSStatusCategory> {
  static constexpr std::string_view typeName = "QSStatusCategory";
  static constexpr std::array<std::pair<QSStatusCategory, std::string_view>, 5> cases{{
      {QSStatusCategory::success, "success"},
      {QSStatusCategory::redirect, "redirect"},
      {QSStatusCategory::clientError, "clientError"},
      {QSStatusCategory::serverError, "serverError"},
      {QSStatusCategory::unknown, "unknown"},
  }};
};

template <>
struct QSRawEnum<QSLogSource> {
  static constexpr std::string_view typeName = "QSLogSource";
  static constexpr std::array<std::pair<QSLogSource, std::string_view>, 2> cases{{
      {QSLogSource::proxy, "proxy"},
      {QSLogSource::console, "console"},
  }};
};

// 200–299 success, 300–399 redirect, 400–499 clientError, 500–599 serverError, else unknown.
QSStatusCategory statusCategory(int statusCode);

struct QSLogEntry {
  static constexpr std::string_view recordName = "QSLogEntry";
  QSUUID id = QSUUID::random();
  QSTimestamp timestamp = QSTime::now();
  QSHTTPMethod method = QSHTTPMethod::get;
  std::string path;
  int statusCode = 0;
  double duration = 0;  // seconds
  QSUUID projectID;
  std::optional<std::map<std::string, std::string>> requestHeaders;
  std::optional<std::int64_t> responseSize;
  std::optional<std::string> errorMessage;
  std::optional<QSLogSource> source;

  QSStatusCategory statusCategory() const { return qs::statusCategory(statusCode); }

  template <class Self, class Fields>
  static void fields(Self& self, Fields& f) {
    f.field("id", self.id)
        .field("timestamp", self.timestamp)
        .field("method", self.method)
        .field("path", self.path)
        .field("statusCode", self.statusCode)
        .field("duration", self.duration)
        .field("projectID", self.projectID)
        .field("requestHeaders", self.requestHeaders)
        .field("responseSize", self.responseSize)
        .field("errorMessage", self.errorMessage)
        .field("source", self.source);
  }

  bool operator==(const QSLogEntry&) const = default;
};

}  // namespace qs
