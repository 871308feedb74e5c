// SPDX-License-Identifier: MIT
// Faults from outside the program: a writer killed mid-write, a full file
// system, and paths the writer may not or cannot use. The file is left as it
// was or fully written, and nothing hangs or crashes.

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "profile/file_access.hpp"
#include "support/case_name.hpp"
#include "support/profile_calls.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

using namespace std::string_literals;
using profile::write_private_profile_string;

constexpr uid_t kNobody = 65534;

// Runs body in a child process, as an ordinary user when we are root so that
// permissions apply; returns the child's exit code, or -1 when it did not
// exit normally.
int run_as_nobody(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(100);
        }
        ::_exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

std::string key_name(int index) {
    return "key" + std::to_string(index);
}

// Values of varying length, so that each rewrite moves the bytes after it.
std::string value_for(int round) {
    return "v" + std::to_string(round) + std::string(static_cast<std::size_t>(round % 37), 'x');
}

bool is_written_value(const std::string& value) {
    const std::size_t digits = value.find_first_not_of("0123456789", 1);
    return value.size() > 1 && value[0] == 'v' && digits != 1 &&
           (digits == std::string::npos ||
            value.find_first_not_of('x', digits) == std::string::npos);
}

struct KillCase {
    const char* name;
    bool in_place; // the directory takes no temporary file
};

class KilledWriter : public ::testing::TestWithParam<KillCase> {};

TEST_P(KilledWriter, LeavesTheOldFileOrTheNewOne) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    constexpr int kKeys = 20;
    const std::string head = "; kept\n[s]\n";
    const std::string tail = "[t]\nlast=1\n";
    std::string original = head;
    for (int key = 0; key < kKeys; ++key) {
        original += key_name(key) + "=old\n";
    }
    write_bytes(path, original + tail);
    const bool root = ::geteuid() == 0;
    if (GetParam().in_place) {
        // As in file_safety_test.cpp: the writer may write the file, not the directory.
        ASSERT_EQ(::chmod(dir.path().c_str(), root ? 0755 : 0555), 0);
        ASSERT_TRUE(!root || ::chown(path.c_str(), kNobody, kNobody) == 0);
    }

    std::u32string expected_keys;
    for (int key = 0; key < kKeys; ++key) {
        expected_keys += profile::to_u32(key_name(key)) + U'\0';
    }
    constexpr int kRounds = 150;
    int changed = 0;
    std::string previous = read_bytes(path);
    for (int round = 0; round < kRounds; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (GetParam().in_place && root && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
                ::_exit(2);
            }
            for (int n = 0;; ++n) {
                write_private_profile_string("s", key_name(n % kKeys), value_for(n), path);
            }
        }
        // Kill at a different moment each round, from at once to a few writes
        // in (20 ms: also a slow build, with sanitizers, gets there).
        ::usleep(static_cast<useconds_t>((round * 997) % 20000));
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself";

        SCOPED_TRACE("round " + std::to_string(round));
        const std::string bytes = read_bytes(path);
        changed += bytes != previous ? 1 : 0;
        previous = bytes;
        // A rewrite in place cut short before its truncation leaves blanks
        // past the end, which read as nothing.
        const std::string shown = bytes.substr(0, bytes.find_last_not_of(' ') + 1);
        EXPECT_TRUE(shown.starts_with(head) && shown.ends_with(tail));
        EXPECT_EQ(profile_read(std::nullopt, std::nullopt, "", path), "s\0t\0"s);
        EXPECT_EQ(profile_read("s", std::nullopt, "", path, 4096), profile::to_utf8(expected_keys));
        for (int key = 0; key < kKeys; ++key) {
            const std::string value = profile_read("s", key_name(key), "lost", path);
            EXPECT_TRUE(value == "old" || is_written_value(value)) << key_name(key) << "=" << value;
        }
        ASSERT_FALSE(HasFailure()) << bytes;
    }
    // Unless the writer got to write at all, this proves nothing.
    EXPECT_GT(changed, kRounds / 20);
    ::chmod(dir.path().c_str(), 0700);
}

const KillCase kKillCases[] = {{"replacing the file", false}, {"rewriting in place", true}};
INSTANTIATE_TEST_SUITE_P(Faults, KilledWriter, ::testing::ValuesIn(kKillCases), CaseName());

// A writer killed before renaming its temporary file leaves it behind. The
// next write removes those of its own file, and nothing else: not the one a
// live writer holds locked, not another file's, not a look-alike.
TEST(Faults, AWriteRemovesTheTemporariesOfKilledWriters) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    write_bytes(path, "[a]\nk=1\n");
    const std::vector<std::string> dead = {".s.ini.corvalen-write-a1B2c3",
                                           ".s.ini.corvalen-write-ZZZZZZ"};
    const std::vector<std::string> kept = {
        ".s.ini.corvalen-write-live00", ".s.ini.backup", ".t.ini.corvalen-write-a1B2c3",
        ".s.ini.corvalen-write-a1B2c3d", "s.ini.corvalen-write-a1B2c3"};
    for (const auto* names : {&dead, &kept}) {
        for (const std::string& name : *names) {
            write_bytes(dir.file(name), "[a]\nk=");
        }
    }
    std::filesystem::create_directory(dir.file(".s.ini.corvalen-write-dir000"));
    const int live = ::open(dir.file(kept[0]).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);

    ASSERT_EQ(write_private_profile_string("a", "k", "2", path), 1);
    ::close(live);
    for (const std::string& name : dead) {
        EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
    }
    for (const std::string& name : kept) {
        EXPECT_TRUE(std::filesystem::exists(dir.file(name))) << name;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.file(".s.ini.corvalen-write-dir000")));
    EXPECT_EQ(read_bytes(path), "[a]\nk=2\n");
}

// A small file system of its own, filled up; needs the right to mount.
class FullFileSystem : public ::testing::Test {
protected:
    void SetUp() override {
        m_mount = m_dir.file("mnt");
        std::filesystem::create_directory(m_mount);
        ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0); // for the in-place writer
        if (::mount("tmpfs", m_mount.c_str(), "tmpfs", 0, "size=256k,mode=0755") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        }
        m_mounted = true;
        m_path = m_mount + "/s.ini";
        write_bytes(m_path, "[a]\nk=1\n");
        ASSERT_EQ(::chown(m_path.c_str(), kNobody, kNobody), 0);
        // Fill every block that is left.
        const int fd = ::open((m_mount + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        EXPECT_EQ(errno, ENOSPC);
        ::close(fd);
    }
    void TearDown() override {
        if (m_mounted) {
            ::umount2(m_mount.c_str(), MNT_DETACH);
        }
    }

    [[nodiscard]] std::size_t entries() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(m_mount), {}));
    }

    TempDir m_dir;
    std::string m_mount;
    std::string m_path;
    bool m_mounted = false;
};

TEST_F(FullFileSystem, WriteFailsAndKeepsTheOldFile) {
    const std::string big(64 * 1024, 'b');
    EXPECT_EQ(write_private_profile_string("a", "k", big, m_path), 0);
    EXPECT_EQ(profile::last_write_error(), ENOSPC);
    EXPECT_EQ(read_bytes(m_path), "[a]\nk=1\n");
    EXPECT_EQ(entries(), 2U) << "no temporary file is left behind";

    // With room again the same write goes through, so it was the space.
    ASSERT_EQ(::unlink((m_mount + "/filler").c_str()), 0);
    EXPECT_EQ(write_private_profile_string("a", "k", big, m_path), 1);
    EXPECT_EQ(profile_read("a", "k", "", m_path, big.size() + 1), big);
}

TEST_F(FullFileSystem, InPlaceWriteFailsAndKeepsTheOldFile) {
    // Nobody may write the file but not the directory, so the file is
    // rewritten in place; growing it must not leave half of the new text.
    const std::string big(64 * 1024, 'b');
    EXPECT_EQ(run_as_nobody([&] {
                  const int result = write_private_profile_string("a", "k", big, m_path);
                  return result == 0 && profile::last_write_error() == ENOSPC ? 0 : 1;
              }),
              0);
    EXPECT_EQ(read_bytes(m_path), "[a]\nk=1\n");
    EXPECT_EQ(entries(), 2U);
}

struct AccessCase {
    const char* name;
    mode_t directory_mode;
    mode_t file_mode;
    const char* read; // what a read of a/k gives; every write fails
};

// As an ordinary user, on a file of root's. (A writable file in a read-only
// directory is file_safety_test.cpp's in-place rewrite.)
const AccessCase kAccessCases[] = {
    {"read-only file in a writable directory", 0777, 0444, "1"},
    {"read-only file in a read-only directory", 0755, 0444, "1"},
    {"unreadable file", 0777, 0000, "default"},
};

class Access : public ::testing::TestWithParam<AccessCase> {};

TEST_P(Access, GivesThePromisedOutcome) {
    const AccessCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("s.ini");
    write_bytes(path, "[a]\nk=1\n");
    ASSERT_EQ(::chmod(path.c_str(), c.file_mode), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), c.directory_mode), 0);
    const int code = run_as_nobody([&] {
        const bool read_ok = profile_read("a", "k", "default", path) == c.read;
        const bool write_ok = write_private_profile_string("a", "k", "2", path) == 0;
        return (read_ok ? 0 : 1) | (write_ok ? 0 : 2);
    });
    ::chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(code, 0) << "1: read, 2: write gave another outcome";
    EXPECT_EQ(read_bytes(path), "[a]\nk=1\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, Access, ::testing::ValuesIn(kAccessCases), CaseName());

TEST(Faults, SymbolicLinkLoopIsAMissingFile) {
    TempDir dir;
    const std::string path = dir.file("loop.ini");
    ASSERT_EQ(::symlink("loop.ini", path.c_str()), 0);
    EXPECT_EQ(profile_read("a", "k", "default", path), "default");
    EXPECT_EQ(write_private_profile_string("a", "k", "v", path), 0);
    EXPECT_EQ(profile::last_write_error(), ELOOP);
}

TEST(Faults, HundredMegabyteFileIsAMissingFile) {
    TempDir dir;
    const std::string path = dir.file("huge.ini");
    write_bytes(path, "[a]\nk=1\n");
    // Sparse, so the test costs no disk; the size is what counts.
    ASSERT_EQ(::truncate(path.c_str(), 100 * 1024 * 1024), 0);
    EXPECT_EQ(profile_read("a", "k", "default", path), "default");
    EXPECT_EQ(profile_read(std::nullopt, std::nullopt, "", path), "");
    EXPECT_EQ(write_private_profile_string("a", "k", "2", path), 0);
    EXPECT_EQ(profile::last_write_error(), EFBIG);
    EXPECT_EQ(std::filesystem::file_size(path), 100U * 1024 * 1024);
}

TEST(Faults, MegabyteLineIsReadAndKept) {
    TempDir dir;
    const std::string path = dir.file("long.ini");
    const std::string value(1024 * 1024, 'v');
    write_bytes(path, "[a]\nlong=" + value + "\nk=1\n[b]\n" + std::string(1024 * 1024, ';'));

    EXPECT_EQ(profile_read("a", "long", "", path), value.substr(0, 254));
    EXPECT_EQ(profile_read("a", "long", "", path, value.size() + 1), value);
    EXPECT_EQ(profile_read("a", std::nullopt, "", path), "long\0k\0"s);
    ASSERT_EQ(write_private_profile_string("a", "k", "2", path), 1);
    EXPECT_EQ(profile_read("a", "long", "", path, value.size() + 1), value);
    EXPECT_EQ(profile_read("a", "k", "", path), "2");
    EXPECT_EQ(profile_read(std::nullopt, std::nullopt, "", path), "a\0b\0"s);
}

} // namespace
} // namespace corvalen::test
