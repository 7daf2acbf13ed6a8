#include "core/models/toolchain.h"

namespace qs {

std::string QSToolchain::displayName() const {
  return "Swift " + version + (isDefault ? " (Default)" : "");
}

}  // namespace qs
