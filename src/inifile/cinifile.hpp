// SPDX-License-Identifier: MIT
#pragma once

// cInifile: reads and writes one INI file through the profile-string calls, one
// call per operation, on a small state of file, section, key and default.
//
// Every string field may be null (std::nullopt) as well as empty; the setters
// store what they are given and the getters return it. A null field reaches
// the profile call as an absent argument, which selects its list or delete
// form. Reads never report failure (a missing key yields the default); writes
// report their outcome only through LastReturnCode and Success.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "placement.hpp"

class cInifile {
public:
    using String = std::optional<std::string>;

    // Result of the last write-type profile call; 0 means it failed.
    [[nodiscard]] std::int32_t LastReturnCode() const { return m_lLastReturnCode; }
    [[nodiscard]] bool Success() const { return m_lLastReturnCode != 0; }

    void Default(String sDefault) { m_sDefault = std::move(sDefault); }
    [[nodiscard]] String Default() const { return m_sDefault; }
    void Path(String sPath) { m_sPath = std::move(sPath); }
    [[nodiscard]] String Path() const { return m_sPath; }
    void Key(String sKey) { m_sKey = std::move(sKey); }
    [[nodiscard]] String Key() const { return m_sKey; }
    void Section(String sSection) { m_sSection = std::move(sSection); }
    [[nodiscard]] String Section() const { return m_sSection; }

    // The current key's value (at most 254 characters), or the default when it
    // is missing. With Key null: the section's key names, each followed by a
    // NUL; with Section null: the file's section names.
    std::string Value();
    // Writes sValue with every NUL removed; null removes the key.
    void Value(String sValue);
    void DeleteKey();
    void DeleteSection();

    // Key names of the current section, each followed by a NUL (at most 8,190
    // characters; an overlong list ends with a cut name and no NUL).
    std::string INISection();
    // Removes the current section, whatever sSection holds.
    void INISection(String sSection);
    // Names of all sections of the file, in the form of INISection().
    std::string Sections();

    // Split INISection() and Sections() into sKey / sSections, replacing what
    // they held; iCount is the number of names, always sKey.size(). Element k
    // (counting from 1) is at index k - 1. Empty key names are kept, empty
    // section names dropped; text after the last NUL is no name.
    void EnumerateCurrentSection(std::vector<std::string>& sKey, std::int32_t& iCount);
    void EnumerateAllSections(std::vector<std::string>& sSections, std::int32_t& iCount);

    // Stores the window's placement in the current section: "Maximised", and
    // for a normal window "Left", "Top", "Width" and "Height". A minimised
    // window stores nothing. Never raises: on an error Key is put back and
    // LastReturnCode becomes 0.
    void SaveFormPosition(IFormWindow& frmThis);
    // Restores a stored placement: at least the minimum size, four pixels
    // inside every screen edge, moved only when the result still meets the
    // minimum, then maximised if stored so. Never raises: on an error Key and
    // Default are put back and LastReturnCode becomes 0.
    void LoadFormPosition(IFormWindow& frmThis, double lMinWidth = 3000, double lMinHeight = 3000);
    // sString as a 32-bit integer: optional blanks, an optional sign, decimal
    // digits and an optional fraction after the locale's decimal mark, taken
    // to the nearest integer with halves to even. Anything else, or a number
    // out of range, gives lDefault.
    static std::int32_t CLngDefault(const std::string& sString, std::int32_t lDefault = 0);

private:
    // One profile call. A null pointer is an absent argument; a field passed
    // holds its converted-and-back form afterwards.
    std::string read(String* section, String* key, std::size_t buffer_size);
    void write(String* key, const String& value);

    String m_sPath;
    String m_sKey;
    String m_sSection;
    String m_sDefault;
    std::int32_t m_lLastReturnCode = 0;
};
