// SPDX-License-Identifier: MIT
#pragma once

// Speech for visitors who cannot see the screen: what is said, and whether
// anything is said at all. The voice itself is behind ISpeechOutput.

#include <functional>
#include <memory>
#include <string>

namespace corvalen::controls {

// [Accessibility], as read at start-up, with the texts speech says of itself.
struct AccessibilitySettings {
    enum class Mode {
        Never,     // no speech, and no speech service is ever asked
        Always,    // on at the start of every visitor session
        OnRequest, // off until a visitor turns it on with the speech key
    };
    Mode mode = Mode::Never;
    std::string key = "<Control><Alt>s";      // turns speech on and off
    std::string read_key = "<Control><Alt>r"; // reads the page from the focus on
    std::string voice;                        // a language; empty: the system's
    int rate = 0;                             // -100 to 100
    int zoom = 100;                           // the page zoom each session starts with, %
    std::string said_on = "Speech on";
    std::string said_off = "Speech off";
};

// A speech service.
class ISpeechOutput {
public:
    virtual ~ISpeechOutput() = default;
    // Says `text` after anything said with `queued`; otherwise whatever else
    // is being said of that kind stops first.
    virtual void Say(const std::string& text, bool queued) = 0;
    // Says the name of one character.
    virtual void Character(const std::string& character) = 0;
    // Stops everything being said or waiting to be said.
    virtual void Cancel() = 0;
};

// Decides what is said: nothing while speech is off. The speech service is
// opened when speech is first on, never with Mode::Never.
class Narrator {
public:
    using Opener = std::function<std::unique_ptr<ISpeechOutput>(const AccessibilitySettings&)>;

    Narrator() = default;
    Narrator(AccessibilitySettings settings, Opener open);

    [[nodiscard]] bool on() const { return m_on; }
    [[nodiscard]] const AccessibilitySettings& settings() const { return m_settings; }

    // The speech key: on becomes off and off on, and says so. Does nothing
    // with Mode::Never.
    void Toggle();
    // A visitor session ended: silence, and for the next visitor speech as
    // the mode starts it.
    void SessionEnded();

    // The keyboard focus moved to what `description` describes.
    void Focus(const std::string& description);
    // A message that must be heard (a notice, an alert): queued after
    // other messages, never cut off by a focus change.
    void Announce(const std::string& text);
    // A character typed into a field.
    void Typed(const std::string& character);
    // A text read out at the visitor's request; any key stops it.
    void Read(const std::string& text);
    [[nodiscard]] bool reading() const { return m_reading; }
    void Silence();

private:
    ISpeechOutput* output();

    AccessibilitySettings m_settings;
    Opener m_open;
    std::unique_ptr<ISpeechOutput> m_output;
    bool m_on = false;
    bool m_reading = false;
};

} // namespace corvalen::controls
