// SPDX-License-Identifier: MIT
#pragma once

// Exit passwords kept as crypt(3) hashes, through libxcrypt, so that the
// settings file need not hold the password itself.

#include <optional>
#include <string>

namespace corvalen::password {

// Whether `hash` is a whole hash of a method that libxcrypt accepts and does
// not count as legacy (yescrypt, scrypt, bcrypt, sha512crypt, ...). Legacy
// methods (DES, MD5, sha256crypt here), a bare salt without its hash, and
// anything else are not: no typed text can match those.
[[nodiscard]] bool hash_recognised(const std::string& hash);

// True exactly when `typed` hashes to `hash`; the hashes are compared in
// constant time. An unrecognised hash matches nothing.
[[nodiscard]] bool matches_hash(const std::string& typed, const std::string& hash);

// A new hash of `password` with the system's preferred method (yescrypt) and
// a fresh random salt; nullopt when the system cannot make one.
[[nodiscard]] std::optional<std::string> make_hash(const std::string& password);

} // namespace corvalen::password
