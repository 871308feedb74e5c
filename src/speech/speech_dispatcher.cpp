// SPDX-License-Identifier: MIT
#include "speech_dispatcher.hpp"

#include <glib.h>
#include <libspeechd.h>

namespace corvalen::speech {
namespace {

class SpeechDispatcher : public controls::ISpeechOutput {
public:
    explicit SpeechDispatcher(SPDConnection* connection) : m_connection(connection) {}
    ~SpeechDispatcher() override { spd_close(m_connection); }
    SpeechDispatcher(const SpeechDispatcher&) = delete;
    SpeechDispatcher& operator=(const SpeechDispatcher&) = delete;

    // Message priority waits for other messages and is not cut off by text;
    // text priority stops the text being said.
    void Say(const std::string& text, bool queued) override {
        spd_say(m_connection, queued ? SPD_MESSAGE : SPD_TEXT, text.c_str());
    }
    void Character(const std::string& character) override {
        spd_char(m_connection, SPD_TEXT, character.c_str());
    }
    void Cancel() override { spd_cancel(m_connection); }

private:
    SPDConnection* m_connection;
};

} // namespace

std::unique_ptr<controls::ISpeechOutput>
open_speech_dispatcher(const controls::AccessibilitySettings& settings, std::ostream& log) {
    char* error = nullptr;
    SPDConnection* connection =
        spd_open2("corvalen", "main", nullptr, SPD_MODE_SINGLE, nullptr, 1, &error);
    if (connection == nullptr) {
        log << "corvalen: no speech: " << (error != nullptr ? error : "no speech service") << '\n';
        g_free(error);
        return nullptr;
    }
    if (!settings.voice.empty()) {
        spd_set_language(connection, settings.voice.c_str());
    }
    spd_set_voice_rate(connection, settings.rate);
    return std::make_unique<SpeechDispatcher>(connection);
}

} // namespace corvalen::speech
