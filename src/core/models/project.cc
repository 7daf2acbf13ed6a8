#include "core/models/project.h"

namespace qs {

void encodeJson(json& out, const QSProject& v, const QSCoder& coder) {
  QSObjectWriter(out, coder)
      .field("id", v.id)
      .field("name", v.name)
      .field("path", v.path)
      .field("bookmarkData", v.bookmarkData)
      .field("swiftVersion", v.swiftVersion)
      .field("port", v.port)
      .field("databaseID", v.databaseID)
      .field("redisID", v.redisID)
      .field("domain", v.domain)
      .field("environmentVariables", v.environmentVariables)
      .field("createdAt", v.createdAt)
      .field("lastOpenedAt", v.lastOpenedAt)
      .field("autoStartServerAtLogin", v.autoStartServerAtLogin)
      .field("pagesSourceBookmark", v.pagesSourceBookmark);
}

void decodeJson(const json& in, QSProject& v, const QSCoder& coder) {
  QSObjectReader(in, "QSProject", coder)
      .field("id", v.id)
      .field("name", v.name)
      .field("path", v.path)
      .field("bookmarkData", v.bookmarkData)
      .field("swiftVersion", v.swiftVersion)
      .field("port", v.port)
      .field("databaseID", v.databaseID)
      .field("redisID", v.redisID)
      .field("domain", v.domain)
      .field("environmentVariables", v.environmentVariables)
      .field("createdAt", v.createdAt)
      .field("lastOpenedAt", v.lastOpenedAt)
      .field("autoStartServerAtLogin", v.autoStartServerAtLogin)
      .field("pagesSourceBookmark", v.pagesSourceBookmark);
}

}  // namespace qs
