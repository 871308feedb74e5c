// SPDX-License-Identifier: MIT
#include "password_hash.hpp"

#include <crypt.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace corvalen::password {

static_assert(kMaxPasswordBytes == CRYPT_MAX_PASSPHRASE_SIZE - 1);

namespace {

// bcrypt keys Blowfish with at most 72 bytes of the password.
constexpr std::size_t kBcryptBytes = 72;

// crypt_rn's working memory is large (over 32 KiB): on the heap, zeroed
// before use as libxcrypt asks, and wiped again afterwards since it held the
// password.
struct CryptData {
    CryptData() : data(std::make_unique<crypt_data>()) {}
    ~CryptData() { explicit_bzero(data.get(), sizeof(crypt_data)); }
    CryptData(const CryptData&) = delete;
    CryptData& operator=(const CryptData&) = delete;
    std::unique_ptr<crypt_data> data;
};

// The hash of `text` under the method and salt of `setting`, or nullopt.
std::optional<std::string> hash_with(const std::string& text, const std::string& setting) {
    CryptData work;
    const char* result = crypt_rn(text.c_str(), setting.c_str(), work.data.get(),
                                  static_cast<int>(sizeof(crypt_data)));
    // libxcrypt marks failure with a null pointer or a string starting with '*'.
    if (result == nullptr || *result == '*') {
        return std::nullopt;
    }
    return std::string(result);
}

bool equal_in_constant_time(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false; // the length of a hash of a known method is no secret
    }
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return difference == 0;
}

// Whether libxcrypt accepts the method and salt that `hash` starts with, and
// does not count the method as legacy.
bool method_accepted(const std::string& hash) {
    if (hash.empty() || hash.find('\0') != std::string::npos) {
        return false;
    }
    const int state = crypt_checksalt(hash.c_str());
    return state == CRYPT_SALT_OK || state == CRYPT_SALT_TOO_CHEAP;
}

} // namespace

std::size_t bytes_read(const std::string& hash) {
    for (const char* bcrypt : {"$2a$", "$2b$", "$2y$"}) {
        if (hash.starts_with(bcrypt)) {
            return kBcryptBytes;
        }
    }
    return kMaxPasswordBytes;
}

std::size_t max_new_password_bytes() {
    const char* method = crypt_preferred_method();
    return bytes_read(method != nullptr ? method : "");
}

bool hash_recognised(const std::string& hash) {
    if (!method_accepted(hash)) {
        return false;
    }
    // A setting without its hash part (or with a cut one) is accepted by
    // crypt_checksalt, but no text ever hashes to it.
    const auto probe = hash_with("", hash);
    return probe && probe->size() == hash.size() && probe->compare(0, 3, hash, 0, 3) == 0;
}

bool matches_hash(const std::string& typed, const std::string& hash) {
    // A bare salt or a cut hash never equals a whole hash: no second hashing
    // to find them out.
    if (!method_accepted(hash) || typed.find('\0') != std::string::npos ||
        typed.size() > bytes_read(hash)) {
        return false;
    }
    const auto computed = hash_with(typed, hash);
    return computed && equal_in_constant_time(*computed, hash);
}

std::optional<std::string> make_hash(const std::string& password) {
    if (password.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    if (password.size() > max_new_password_bytes()) {
        errno = ERANGE;
        return std::nullopt;
    }
    const std::unique_ptr<char, decltype(&std::free)> setting(
        crypt_gensalt_ra(crypt_preferred_method(), 0, nullptr, 0), &std::free);
    if (!setting) {
        return std::nullopt;
    }
    return hash_with(password, setting.get());
}

} // namespace corvalen::password
