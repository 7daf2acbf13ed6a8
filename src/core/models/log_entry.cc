#include "core/models/log_entry.h"

namespace qs {

QSStatusCategory statusCategory(int code) {
  if (code >= 200 && code <= 299) return QSStatusCategory::success;
  if (code >= 300 && code <= 399) return QSStatusCategory::redirect;
  if (code >= 400 && code <= 499) return QSStatusCategory::clientError;
  if (code >= 500 && code <= 599) return QSStatusCategory::serverError;
  return QSStatusCategory::unknown;
}

}  // namespace qs
