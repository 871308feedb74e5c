// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>

namespace corvalen::controls {

// How the program draws, decided once at start-up without starting GL.
enum class Drawing {
    Cpu, // GTK's cairo renderer, pages composited on the CPU
    Gpu, // GL for GTK, and pages composited on the GPU when they need it
};

// Gpu when the machine under `root` ("/" but in tests) has a DRM render node
// driven by a kernel driver for real graphics hardware (Intel, AMD, NVIDIA,
// Raspberry Pi, Arm SoCs); Cpu when its render nodes are virtual or absent,
// where GL would be software rendering that only costs time and memory.
Drawing choose_drawing(const std::filesystem::path& root);

} // namespace corvalen::controls
