// SPDX-License-Identifier: MIT
#pragma once

// Exit passwords kept as crypt(3) hashes, through libxcrypt, so that the
// settings file need not hold the password itself.

#include <cstddef>
#include <optional>
#include <string>

namespace corvalen::password {

// The longest password that libxcrypt hashes at all, in bytes: its phrase
// limit (CRYPT_MAX_PASSPHRASE_SIZE) less the closing NUL.
inline constexpr std::size_t kMaxPasswordBytes = 511;

// How many bytes of a password the method of `hash` (or of a bare setting
// such as "$y$") reads: 72 for bcrypt ($2a$, $2b$, $2y$), which ignores the
// rest, and kMaxPasswordBytes for every other method.
[[nodiscard]] std::size_t bytes_read(const std::string& hash);

// The longest password make_hash takes: what its method reads.
[[nodiscard]] std::size_t max_new_password_bytes();

// Whether `hash` is a whole hash of a method that libxcrypt accepts and does
// not count as legacy (yescrypt, scrypt, bcrypt, sha512crypt, ...). Legacy
// methods (DES, MD5, sha256crypt here), a bare salt without its hash, and
// anything else are not: no typed text can match those.
[[nodiscard]] bool hash_recognised(const std::string& hash);

// True exactly when `typed` hashes to `hash`; the hashes are compared in
// constant time. An unrecognised hash matches nothing, and neither does a
// text longer than the hash's method reads: the method would take it for its
// beginning, so that texts other than the password would open the kiosk.
[[nodiscard]] bool matches_hash(const std::string& typed, const std::string& hash);

// A new hash of `password` with the system's preferred method (yescrypt) and
// a fresh random salt; nullopt when the system cannot make one, or when the
// password is longer than max_new_password_bytes() (errno ERANGE).
[[nodiscard]] std::optional<std::string> make_hash(const std::string& password);

} // namespace corvalen::password
