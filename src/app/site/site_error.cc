#include "app/site/site_error.h"

namespace qs {

std::string QSSiteError::message() const {
  using namespace siteError;
  return visit(QSOverloaded{
      [](const DocumentUnreadable& c) { return "The document can't be read: " + c.value; },
      [](const FolderExists& c) {
        return "A folder named \u201c" + c.name + "\u201d already exists in " + c.parentLabel + ".";
      },
      [](const NotASyncedProject&) {
        return std::string("This folder has no Brindle Pages sync manifest, so it can't be re-synced.");
      },
      [](const SourceDocumentMissing&) {
        return std::string(
            "The linked Brindle Pages document couldn't be found \u2014 it may have been moved or deleted.");
      },
      [](const FolderNotEmpty& c) { return c.value + " holds files already; export into a new or empty folder."; },
      [](const AlreadyExported& c) {
        return c.value + " is a project exported from a document already; re-sync it to keep your code.";
      },
      [](const OutsideProject& c) { return "Refusing to write " + c.value + ": it lies outside the project."; }});
}

}  // namespace qs
