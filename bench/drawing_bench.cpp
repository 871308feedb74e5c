// SPDX-License-Identifier: MIT
// Cost of the start-up choice between CPU and GPU drawing: on this machine's
// own /, and on a tree laid out like a desktop with an integrated and a
// discrete GPU (two cards, two render nodes, the hardware one last).

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "controls/drawing.hpp"

namespace {

namespace fs = std::filesystem;

fs::path make_tree() {
    const fs::path root =
        fs::temp_directory_path() / ("corvalen-bench-drm-" + std::to_string(getpid()));
    fs::remove_all(root);
    int index = 0;
    for (const auto& [node, driver] : {std::pair{"card0", "virtio_gpu"},
                                       {"card1", "amdgpu"},
                                       {"renderD128", "virtio_gpu"},
                                       {"renderD129", "amdgpu"}}) {
        const fs::path device =
            root / "sys/devices/pci0000:00" / ("0000:00:0" + std::to_string(index++));
        fs::create_directories(device);
        fs::create_directories(root / "sys/bus/pci/drivers" / driver);
        if (!fs::exists(device / "driver")) {
            fs::create_symlink(root / "sys/bus/pci/drivers" / driver, device / "driver");
        }
        fs::create_directories(root / "sys/class/drm" / node);
        fs::create_directory_symlink(device, root / "sys/class/drm" / node / "device");
    }
    return root;
}

void BM_ChooseDrawingHere(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(corvalen::controls::choose_drawing("/"));
    }
}
BENCHMARK(BM_ChooseDrawingHere)->Unit(benchmark::kMicrosecond);

void BM_ChooseDrawingTwoGpus(benchmark::State& state) {
    const fs::path root = make_tree();
    for (auto _ : state) {
        benchmark::DoNotOptimize(corvalen::controls::choose_drawing(root));
    }
    fs::remove_all(root);
}
BENCHMARK(BM_ChooseDrawingTwoGpus)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
