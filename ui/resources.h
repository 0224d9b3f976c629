// SPDX-License-Identifier: MIT
#pragma once

namespace loomui {

// Makes the logo and the icon available as ":/loomwise/...". The resources
// live in a static library, whose registration the linker may otherwise
// drop; safe to call any number of times.
void initResources();

}  // namespace loomui
