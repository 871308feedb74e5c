// SPDX-License-Identifier: MIT
#include "cinifile.hpp"

#include "profile/profile.hpp"
#include "profile/text.hpp"

namespace {

constexpr std::size_t kValueBufferSize = 255;
constexpr std::size_t kListBufferSize = 8192;

// Text crosses to the profile calls as UTF-8: an invalid byte sequence does
// not survive the round trip and comes back as U+FFFD.
const cInifile::String& converted(cInifile::String& field) {
    if (field) {
        *field = corvalen::profile::repair_utf8(*field);
    }
    return field;
}

const cInifile::String kAbsent;

// Splits a NUL-terminated name list; only names followed by a NUL count.
void split_names(const std::string& list, bool keep_empty, std::vector<std::string>& names,
                 std::int32_t& count) {
    std::size_t start = 0;
    for (std::size_t nul = list.find('\0'); nul != std::string::npos;
         nul = list.find('\0', start)) {
        if (nul > start || keep_empty) {
            names.push_back(list.substr(start, nul - start));
            ++count;
        }
        start = nul + 1;
    }
}

} // namespace

std::string cInifile::read(String* section, String* key, std::size_t buffer_size) {
    std::u32string buffer(buffer_size, U' ');
    const auto count = static_cast<std::int16_t>(corvalen::profile::get_private_profile_string(
        section ? converted(*section) : kAbsent, key ? converted(*key) : kAbsent,
        converted(m_sDefault), buffer, converted(m_sPath)));
    if (count <= 0) {
        return {};
    }
    return corvalen::profile::to_utf8(std::u32string_view(buffer).substr(0, count));
}

void cInifile::write(String* key, const String& value) {
    m_lLastReturnCode = corvalen::profile::write_private_profile_string(
        converted(m_sSection), key ? converted(*key) : kAbsent, value, converted(m_sPath));
}

std::string cInifile::Value() {
    return read(&m_sSection, &m_sKey, kValueBufferSize);
}

void cInifile::Value(String sValue) {
    if (sValue) {
        std::erase(*sValue, '\0');
        *sValue = corvalen::profile::repair_utf8(*sValue);
    }
    write(&m_sKey, sValue);
}

void cInifile::DeleteKey() {
    write(&m_sKey, std::nullopt);
}

void cInifile::DeleteSection() {
    write(nullptr, std::nullopt);
}

std::string cInifile::INISection() {
    return read(&m_sSection, nullptr, kListBufferSize);
}

void cInifile::INISection(String sSection) {
    if (sSection) {
        sSection = corvalen::profile::repair_utf8(*sSection);
    }
    write(nullptr, sSection);
}

std::string cInifile::Sections() {
    return read(nullptr, nullptr, kListBufferSize);
}

void cInifile::EnumerateCurrentSection(std::vector<std::string>& sKey, std::int32_t& iCount) {
    iCount = 0;
    sKey.clear();
    split_names(INISection(), true, sKey, iCount);
}

void cInifile::EnumerateAllSections(std::vector<std::string>& sSections, std::int32_t& iCount) {
    iCount = 0;
    sSections.clear();
    split_names(Sections(), false, sSections, iCount);
}
