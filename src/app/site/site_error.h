// Failures of the site export, import and re-sync, each carrying the text the user sees.
#pragma once

#include <stdexcept>
#include <string>

namespace qs {

class QSSiteError : public std::runtime_error {
public:
  enum class Kind {
    documentUnreadable,     // the document is not valid JSON or not a valid document
    folderExists,           // the import's target folder is taken
    notASyncedProject,      // re-sync of a folder without a (readable) sync manifest
    sourceDocumentMissing,  // re-sync cannot find the document the project came from
  };

  Kind kind() const { return kind_; }

  // "The document can't be read: " + detail (which names the field at fault).
  static QSSiteError documentUnreadable(const std::string& detail) {
    return {Kind::documentUnreadable, "The document can't be read: " + detail};
  }
  // "A folder named “shop” already exists in ~/Quayside."
  static QSSiteError folderExists(const std::string& name, const std::string& parentLabel = "~/Quayside") {
    return {Kind::folderExists, "A folder named \u201c" + name + "\u201d already exists in " + parentLabel + "."};
  }
  static QSSiteError notASyncedProject() {
    return {Kind::notASyncedProject,
            "This folder has no Brindle Pages sync manifest, so it can't be re-synced."};
  }
  static QSSiteError sourceDocumentMissing() {
    return {Kind::sourceDocumentMissing,
            "The linked Brindle Pages document couldn't be found \u2014 it may have been moved or deleted."};
  }

private:
  QSSiteError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Kind kind_;
};

}  // namespace qs
