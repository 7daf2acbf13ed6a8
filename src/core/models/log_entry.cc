#include "core/models/log_entry.h"

namespace qs {

QSStatusCategory statusCategory(int code) {
  if (code >= 200 && code <= 299) return QSStatusCategory::success;
  if (code >= 300 && code <= 399) return QSStatusCategory::redirect;
  if (code >= 400 && code <= 499) return QSStatusCategory::clientError;
  if (code >= 500 && code <= 599) return QSStatusCategory::serverError;
  return QSStatusCategory::unknown;
}

void encodeJson(json& out, const QSLogEntry& v, const QSCoder& coder) {
  QSObjectWriter(out, coder)
      .field("id", v.id)
      .field("timestamp", v.timestamp)
      .field("method", v.method)
      .field("path", v.path)
      .field("statusCode", v.statusCode)
      .field("duration", v.duration)
      .field("projectID", v.projectID)
      .field("requestHeaders", v.requestHeaders)
      .field("responseSize", v.responseSize)
      .field("errorMessage", v.errorMessage)
      .field("source", v.source);
}

void decodeJson(const json& in, QSLogEntry& v, const QSCoder& coder) {
  QSObjectReader(in, "QSLogEntry", coder)
      .field("id", v.id)
      .field("timestamp", v.timestamp)
      .field("method", v.method)
      .field("path", v.path)
      .field("statusCode", v.statusCode)
      .field("duration", v.duration)
      .field("projectID", v.projectID)
      .field("requestHeaders", v.requestHeaders)
      .field("responseSize", v.responseSize)
      .field("errorMessage", v.errorMessage)
      .field("source", v.source);
}

}  // namespace qs
