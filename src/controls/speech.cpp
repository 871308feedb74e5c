// SPDX-License-Identifier: MIT
#include "speech.hpp"

namespace corvalen::controls {

Narrator::Narrator(AccessibilitySettings settings, Opener open)
    : m_settings(std::move(settings)), m_open(std::move(open)),
      m_on(m_settings.mode == AccessibilitySettings::Mode::Always) {}

ISpeechOutput* Narrator::output() {
    if (!m_on) {
        return nullptr;
    }
    if (!m_output && m_open) {
        m_output = m_open(m_settings);
        m_open = nullptr; // one attempt: a service that is not there stays away
    }
    return m_output.get();
}

void Narrator::Toggle() {
    if (m_settings.mode == AccessibilitySettings::Mode::Never) {
        return;
    }
    if (m_on) {
        Silence();
        if (ISpeechOutput* out = output()) {
            out->Say(m_settings.said_off, true);
        }
        m_on = false;
    } else {
        m_on = true;
        Announce(m_settings.said_on);
    }
}

void Narrator::SessionEnded() {
    Silence();
    m_on = m_settings.mode == AccessibilitySettings::Mode::Always;
}

void Narrator::Focus(const std::string& description) {
    if (ISpeechOutput* out = output(); out != nullptr && !description.empty()) {
        m_reading = false;
        out->Say(description, false);
    }
}

void Narrator::Announce(const std::string& text) {
    if (ISpeechOutput* out = output(); out != nullptr && !text.empty()) {
        out->Say(text, true);
    }
}

void Narrator::Typed(const std::string& character) {
    if (ISpeechOutput* out = output(); out != nullptr && !character.empty()) {
        m_reading = false;
        out->Character(character);
    }
}

void Narrator::Read(const std::string& text) {
    if (ISpeechOutput* out = output(); out != nullptr && !text.empty()) {
        out->Say(text, false);
        m_reading = true;
    }
}

void Narrator::Silence() {
    m_reading = false;
    if (m_output) {
        m_output->Cancel();
    }
}

} // namespace corvalen::controls
