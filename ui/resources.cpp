// SPDX-License-Identifier: MIT
#include "ui/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the registration function in the scope it is
// used in, so it has to be used outside any namespace.
static bool registerLoomwiseResources() {
  Q_INIT_RESOURCE(loomwise);
  return true;
}

namespace loomui {

void initResources() {
  [[maybe_unused]] static const bool registered = registerLoomwiseResources();
}

}  // namespace loomui
