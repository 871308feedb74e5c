// SPDX-License-Identifier: MIT
#include "drawing.hpp"

#include <algorithm>
#include <array>
#include <string_view>
#include <system_error>

namespace corvalen::controls {
namespace {

// Kernel drivers of graphics hardware whose GL drivers are fast. Left out:
// virtio_gpu, vgem, vkms and the like, which are virtual.
constexpr std::array<std::string_view, 14> kHardwareDrivers{
    "i915",     "xe",   "amdgpu",  "radeon", "nouveau", "v3d",        "vc4",
    "panfrost", "lima", "etnaviv", "msm",    "panthor", "mali_kbase", "nvidia",
};

} // namespace

Drawing choose_drawing(const std::filesystem::path& root) {
    std::error_code error;
    const std::filesystem::path drm = root / "sys/class/drm";
    for (const auto& entry : std::filesystem::directory_iterator(drm, error)) {
        if (!entry.path().filename().string().starts_with("renderD")) {
            continue;
        }
        // device/driver links to the driver's directory, named as the driver.
        const auto driver = std::filesystem::read_symlink(entry.path() / "device/driver", error);
        if (!error && std::find(kHardwareDrivers.begin(), kHardwareDrivers.end(),
                                driver.filename().string()) != kHardwareDrivers.end()) {
            return Drawing::Gpu;
        }
    }
    return Drawing::Cpu;
}

} // namespace corvalen::controls
