// SPDX-License-Identifier: MIT
// The exit password checked against a crypt(3) hash.

#include <gtest/gtest.h>

#include "password/password_hash.hpp"

namespace corvalen::test {
namespace {

using password::hash_recognised;
using password::make_hash;
using password::matches_hash;

constexpr const char* kYescrypt =
    "$y$j9T$zuilzoutzuilzoutzuilz.$81DZFwB4Ck0z.2vzbZtwD7GWcWHmJv1YnS/Ks3Ua3Q3";
constexpr const char* kSha512 = "$6$zuilzout$LhIHQ0JyZKfks61KycEVUnBx50AmLHPmQ/RbWZUjLVPFXfKtYoOgN"
                                "Ilx0jTOG/vvdalxLS0SXq1r3LvGSc8iA.";
// bcrypt hashes of 65 "A" and "Secret9" (72 bytes), and of 72 "A" and "Secret9".
constexpr const char* kBcrypt72 = "$2b$04$zuilzoutzuilzoutzuilzurVRIfenc26hWhQiOfh1Qr12hD4jQ416";
constexpr const char* kBcrypt79 = "$2y$04$zuilzoutzuilzoutzuilzukx8dCmipQyX1G3ZVMErkms9h8Cexlt.";

TEST(PasswordHash, MatchesOnlyTheHashedTextOfARecognisedHash) {
    // bcrypt reads 72 bytes: no longer text matches, or its first 72 bytes
    // alone would decide.
    const std::string bcrypt_72 = std::string(65, 'A') + "Secret9";
    const std::string bcrypt_more = bcrypt_72 + "Wrong00";
    const std::string bcrypt_79 = std::string(72, 'A') + "Secret9";
    const std::string bcrypt_79_wrong = std::string(72, 'A') + "Wrong00";
    const struct {
        const char* typed;
        const char* hash;
        bool recognised;
        bool matches;
    } cases[] = {
        {"Geheim wachtwoord", kYescrypt, true, true},
        {"Geheim wachtwoord", kSha512, true, true},
        {"$6$rounds=5000$zuilzout$", kSha512, true, false},
        {"geheim wachtwoord", kYescrypt, true, false},
        {"Geheim wachtwoord ", kSha512, true, false},
        {"", kYescrypt, true, false},
        {bcrypt_72.c_str(), kBcrypt72, true, true},
        {bcrypt_more.c_str(), kBcrypt72, true, false},
        {bcrypt_79.c_str(), kBcrypt79, true, false},
        {bcrypt_79_wrong.c_str(), kBcrypt79, true, false},
        // Forms that no text can match: unknown, legacy (MD5, DES), a bare
        // salt, a cut hash, a locked account's marker, nothing at all.
        {"Geheim wachtwoord", "$9$zuilzout$abcdefgh", false, false},
        {"Geheim wachtwoord", "$1$zuilzout$I6VgBNix.yMRAtE4n7wyU0", false, false},
        {"Geheim wachtwoord", "geheimwachtw", false, false},
        {"Geheim wachtwoord", "$6$zuilzout$", false, false},
        {"Geheim wachtwoord", "$6$zuilzout$LhIHQ0JyZKfks61KycEVUnBx50AmLHPmQ", false, false},
        {"Geheim wachtwoord", "!", false, false},
        {"", "", false, false},
        {"Geheim wachtwoord", "", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " / " + c.hash);
        EXPECT_EQ(hash_recognised(c.hash), c.recognised);
        EXPECT_EQ(matches_hash(c.typed, c.hash), c.matches);
    }
}

TEST(PasswordHash, NewHashesAreYescryptWithAFreshSalt) {
    const auto first = make_hash("wachtwoord€é");
    const auto second = make_hash("wachtwoord€é");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->rfind("$y$", 0), 0U) << *first;
    EXPECT_NE(*first, *second);
    EXPECT_TRUE(matches_hash("wachtwoord€é", *first));
    EXPECT_FALSE(matches_hash("wachtwoord€e", *first));
}

} // namespace
} // namespace corvalen::test
