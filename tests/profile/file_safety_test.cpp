// SPDX-License-Identifier: MIT
// Settings files are replaced whole and safely, and paths that are not plain
// files never hang a read or take a write.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "profile/file_access.hpp"
#include "support/profile_calls.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

using profile::write_private_profile_string;

struct stat stat_of(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

TEST(FileSafety, ReplacesAtomicallyKeepingPermissionBits) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    write_bytes(path, "[a]\nk=1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const ino_t before = stat_of(path).st_ino;

    ASSERT_EQ(write_private_profile_string("a", "k", "2", path), 1);
    const struct stat after = stat_of(path);
    EXPECT_EQ(after.st_mode & 07777, 0640U);
    EXPECT_NE(after.st_ino, before) << "a new file renamed over the old one";
    EXPECT_EQ(read_bytes(path), "[a]\nk=2\n");
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(FileSafety, WritesThroughSymbolicLinks) {
    TempDir dir;
    const std::string target = dir.file("target.ini");
    const std::string link = dir.file("link.ini");
    write_bytes(target, "[a]\nk=1\n");
    ASSERT_EQ(::symlink("target.ini", link.c_str()), 0);

    ASSERT_EQ(write_private_profile_string("a", "k", "2", link), 1);
    EXPECT_TRUE(S_ISLNK(stat_of(link).st_mode));
    EXPECT_EQ(read_bytes(target), "[a]\nk=2\n");

    const std::string dangling = dir.file("dangling.ini");
    ASSERT_EQ(::symlink("created.ini", dangling.c_str()), 0);
    EXPECT_EQ(profile_read("a", "k", "d", dangling), "d");
    ASSERT_EQ(write_private_profile_string("a", "k", "3", dangling), 1);
    EXPECT_TRUE(S_ISLNK(stat_of(dangling).st_mode));
    EXPECT_EQ(read_bytes(dir.file("created.ini")), "[a]\nk=3\n");
}

TEST(FileSafety, UnchangedWriteLeavesFileUntouched) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    write_bytes(path, "[a]\nk=1\n");
    const struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old_times, 0), 0);
    const struct stat before = stat_of(path);

    EXPECT_EQ(write_private_profile_string("a", "k", "1", path), 1);
    EXPECT_EQ(write_private_profile_string("a", "missing", std::nullopt, path), 1);
    EXPECT_EQ(write_private_profile_string("missing", std::nullopt, std::nullopt, path), 1);
    const struct stat after = stat_of(path);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
}

TEST(FileSafety, RewritesInPlaceWhereTheDirectoryTakesNoNewFile) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    write_bytes(path, "; keep\n[a]\nk=1\n");
    // As root, drop to an ordinary user who may write the file but not the
    // directory; otherwise take the write permission off the directory.
    constexpr uid_t kNobody = 65534;
    const bool root = ::geteuid() == 0;
    ASSERT_EQ(::chmod(dir.path().c_str(), root ? 0755 : 0555), 0);
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    }
    const ino_t before = stat_of(path).st_ino;

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (root && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(2);
        }
        ::_exit(write_private_profile_string("a", "k", "22", path) == 1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::chmod(dir.path().c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read_bytes(path), "; keep\n[a]\nk=22\n");
    EXPECT_EQ(stat_of(path).st_ino, before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

struct BadPath {
    const char* name;
    std::string path;
    int error;
};

TEST(FileSafety, PathsThatAreNotSettingsFiles) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("directory.ini"));
    const std::string big = dir.file("big.ini");
    write_bytes(big, "[a]\nk=1\n" + std::string(profile::kMaxFileSize, ';'));

    const BadPath cases[] = {
        {"missing directory", dir.file("no/such/dir.ini"), ENOENT},
        {"directory", dir.file("directory.ini"), EISDIR},
        {"device", "/dev/zero", EINVAL},
        {"fifo", dir.file("fifo"), EINVAL},
        {"over 16 MiB", big, EFBIG},
        {"empty path", "", ENOENT},
    };
    for (const BadPath& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(profile_read("a", "k", "default", c.path), "default");
        EXPECT_EQ(profile_read(std::nullopt, std::nullopt, "default", c.path, 8192), "default");
        EXPECT_EQ(write_private_profile_string("a", "k", "v", c.path), 0);
        EXPECT_EQ(profile::last_write_error(), c.error);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
    EXPECT_EQ(std::filesystem::file_size(big), profile::kMaxFileSize + 8);
}

// Past the size limit a file reads as missing, every setting as its default
// (an empty exit password): no write may take it there, and an oversized file
// can be repaired by deleting.
TEST(FileSafety, NoWriteTakesTheFilePastTheSizeLimit) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    const std::string head = "[Options]\nPassword=secret\n[Notes]\n";
    const std::string full =
        head + "n=" + std::string(profile::kMaxFileSize - head.size() - 8, 'x');
    const std::string over = full + std::string(64, 'x');
    struct Case {
        const char* name;
        const std::string& before;
        OptionalText section;
        OptionalText key;
        OptionalText value;
        std::optional<std::string> after; // nullopt: refused, file unchanged
    };
    const Case cases[] = {
        {"a key that passes the limit", full, "Notes", "more", std::string(40, 'y'), std::nullopt},
        {"a change that keeps an oversized file's size", over, "Options", "Password", "terces",
         std::nullopt},
        {"deleting a key of an oversized file", over, "Notes", "n", std::nullopt, head},
        {"deleting a section of an oversized file", over, "Notes", std::nullopt, std::nullopt,
         "[Options]\nPassword=secret\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_bytes(path, c.before);
        const std::int32_t result = write_private_profile_string(c.section, c.key, c.value, path);
        EXPECT_EQ(result, c.after ? 1 : 0);
        if (!c.after) {
            EXPECT_EQ(profile::last_write_error(), EFBIG);
        }
        EXPECT_TRUE(read_bytes(path) == c.after.value_or(c.before));
    }
    EXPECT_EQ(profile_read("Options", "Password", "", path), "secret") << "repaired";
}

#if !defined(__SANITIZE_ADDRESS__) // ASan reserves far more address space
// Reads cost memory and time by the file's size, whatever its shape: the
// start-up reads of files just under the limit run within 256 MB of address
// space.
TEST(FileSafety, LargeFilesReadInBoundedMemory) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    const std::size_t size = profile::kMaxFileSize - 16;
    std::string tiny_sections;
    while (tiny_sections.size() + 8 < size) {
        tiny_sections += "[s" + std::to_string(tiny_sections.size() % 10) + "]\n";
    }
    for (const std::string& bytes :
         {std::string(size, '\n'), "k=" + std::string(size, 'v'), tiny_sections}) {
        write_bytes(path, bytes);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const rlimit limit{256UL << 20, 256UL << 20};
            ::setrlimit(RLIMIT_AS, &limit);
            bool defaults =
                profile_read("Options", "Homepage", "about:blank", path) == "about:blank";
            defaults = profile_read("Options", "Password", "", path).empty() && defaults;
            for (const char* key : {"BackEnabled", "ForwardEnabled", "StopEnabled",
                                    "RefreshEnabled", "HomeEnabled"}) {
                defaults = profile_read("Toolbar", key, "1", path) == "1" && defaults;
            }
            ::_exit(defaults ? 0 : 1);
        }
        int status = -1;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << bytes.substr(0, 8);
    }
}
#endif

// Writers add keys and remove ones of their own at the same time; each
// rewrite must start from the file the last writer left.
TEST(FileSafety, ConcurrentWritersLoseNoChange) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    constexpr int kWriters = 6;
    constexpr int kKeys = 25;
    auto name_of = [](int writer, int key) {
        return "w" + std::to_string(writer) + "k" + std::to_string(key);
    };
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // The exit code is the reason for the first failed write.
            int error = 0;
            auto write = [&](const std::string& section, const std::string& key,
                             const OptionalText& value) {
                if (write_private_profile_string(section, key, value, path) != 1 && error == 0) {
                    error = profile::last_write_error();
                }
            };
            const std::string scratch = "w" + std::to_string(writer) + "scratch";
            for (int key = 0; key < kKeys; ++key) {
                const std::string name = name_of(writer, key);
                write("s", name, name);
                write("t", scratch, name);
                write("t", scratch, std::nullopt);
            }
            ::_exit(error);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "a write failed: " << std::strerror(WEXITSTATUS(status));
    }
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int key = 0; key < kKeys; ++key) {
            EXPECT_EQ(profile_read("s", name_of(writer, key), "lost", path), name_of(writer, key));
        }
    }
    const std::string keys = profile_read("s", std::nullopt, "", path, 8192);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), '\0'), kWriters * kKeys) << "no key twice";
    EXPECT_EQ(profile_read("t", std::nullopt, "none", path), "none") << "every removal kept";
}

} // namespace
} // namespace corvalen::test
