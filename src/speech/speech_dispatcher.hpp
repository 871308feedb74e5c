// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <ostream>

#include "controls/speech.hpp"

namespace corvalen::speech {

// Speech through the system's speech service (speech-dispatcher), started
// for this user when it is not running. Null, with one line on `log`, when
// there is no service to reach.
std::unique_ptr<controls::ISpeechOutput>
open_speech_dispatcher(const controls::AccessibilitySettings& settings, std::ostream& log);

} // namespace corvalen::speech
