// Reading a `.brp` document into QSPagesProject.
#pragma once

#include "app/site/pages_document.h"

#include <filesystem>
#include <string_view>

namespace qs {

// Decodes the document text. Unknown keys are ignored; invalid JSON, a missing required field,
// a value of the wrong type, an unknown enumeration value or element type, or nesting deeper
// than a document can sensibly hold throws QSSiteException (documentUnreadable) whose text names the
// field at fault, for example
// "The document can't be read: pages[0].elements[1].kind.value.level is missing.".
QSPagesProject decodePagesDocument(std::string_view text);

// Reads the whole file and decodes it; a file that cannot be read throws QSSystemError.
QSPagesProject readPagesDocument(const std::filesystem::path& file);

}  // namespace qs
