// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace corvalen {

// The directory of the running executable (symbolic links resolved), without
// a trailing separator except for the root, "/". Empty when it cannot be told.
std::string application_directory();

} // namespace corvalen
