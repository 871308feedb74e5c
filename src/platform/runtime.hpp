// SPDX-License-Identifier: MIT
#pragma once

#include "controls.hpp"

namespace corvalen::platform {

class Runtime : public IRuntime {
public:
    void MsgBoxCritical(const std::string& prompt, const std::string& title) override;
    [[noreturn]] void End() override;
};

} // namespace corvalen::platform
