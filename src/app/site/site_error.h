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
    folderNotEmpty,         // an export's target folder holds files of its own
    alreadyExported,        // an export's target folder is an exported project already
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

  // "~/shop holds files already; export into a new or empty folder."
  static QSSiteError folderNotEmpty(const std::string& folderLabel) {
    return {Kind::folderNotEmpty, folderLabel + " holds files already; export into a new or empty folder."};
  }
  // "~/shop is a project exported from a document already; re-sync it to keep your code."
  static QSSiteError alreadyExported(const std::string& folderLabel) {
    return {Kind::alreadyExported,
            folderLabel + " is a project exported from a document already; re-sync it to keep your code."};
  }

private:
  QSSiteError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Kind kind_;
};

}  // namespace qs
