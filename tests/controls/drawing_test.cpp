// SPDX-License-Identifier: MIT
// The start-up choice between drawing on the CPU and on the GPU, on fake
// sysfs trees laid out as the kernel lays out /sys/class/drm.

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "controls/drawing.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

namespace fs = std::filesystem;
using controls::Drawing;

// A DRM node `name` whose device is driven by `driver`, under root.
void add_node(const fs::path& root, const std::string& name, const std::string& driver) {
    const fs::path device = root / "sys/devices/pci0000:00" / name;
    const fs::path driver_dir = root / "sys/bus/pci/drivers" / driver;
    fs::create_directories(device);
    fs::create_directories(driver_dir);
    fs::create_symlink(driver_dir, device / "driver");
    fs::create_directories(root / "sys/class/drm");
    fs::create_directory(root / "sys/class/drm" / name);
    fs::create_directory_symlink(device, root / "sys/class/drm" / name / "device");
}

TEST(Drawing, TheGpuOnlyForAHardwareRenderNode) {
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> nodes; // node, driver
        Drawing expected;
    } cases[] = {
        {"Intel", {{"card0", "i915"}, {"renderD128", "i915"}}, Drawing::Gpu},
        {"AMD", {{"renderD128", "amdgpu"}}, Drawing::Gpu},
        {"Raspberry Pi 4", {{"card0", "vc4"}, {"renderD128", "v3d"}}, Drawing::Gpu},
        {"Raspberry Pi 3", {{"renderD128", "vc4"}}, Drawing::Gpu},
        {"virtual machine", {{"card0", "virtio_gpu"}, {"renderD128", "virtio_gpu"}}, Drawing::Cpu},
        {"virtual GEM only", {{"renderD128", "vgem"}}, Drawing::Cpu},
        {"a display without a render node", {{"card0", "i915"}}, Drawing::Cpu},
        {"virtual beside hardware",
         {{"renderD128", "vgem"}, {"renderD129", "amdgpu"}},
         Drawing::Gpu},
        {"no DRM at all (software GL only)", {}, Drawing::Cpu},
    };
    for (const auto& c : cases) {
        TempDir root;
        for (const auto& [node, driver] : c.nodes) {
            add_node(root.path(), node, driver);
        }
        EXPECT_EQ(controls::choose_drawing(root.path()), c.expected) << c.name;
    }
    EXPECT_EQ(controls::choose_drawing("/nonexistent"), Drawing::Cpu);
}

} // namespace
} // namespace corvalen::test
