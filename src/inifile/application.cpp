// SPDX-License-Identifier: MIT
#include "application.hpp"

#include <filesystem>
#include <system_error>

namespace corvalen {

std::string application_directory() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    return executable.parent_path().string();
}

} // namespace corvalen
