// SPDX-License-Identifier: MIT
#include "file_access.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvalen::profile {
namespace {

// Writers that keep replacing the file under us can make us retry. Each
// round waits for the lock and follows another writer's finished change, so
// it never spins on its own; but a writer in a tight loop retakes the lock on
// its new file first, and others can lose many rounds in a row (six writers
// lost a change to the old limit of 100). Give up only after far more.
constexpr int kMaxAttempts = 10000;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    [[nodiscard]] int get() const { return m_fd; }

private:
    int m_fd;
};

// 0 when st describes a regular file of at most limit bytes.
int check_regular(const struct stat& st, std::size_t limit = kMaxFileSize) {
    if (S_ISDIR(st.st_mode)) {
        return EISDIR;
    }
    if (!S_ISREG(st.st_mode)) {
        return EINVAL;
    }
    if (static_cast<std::size_t>(st.st_size) > limit) {
        return EFBIG;
    }
    return 0;
}

// Reads the whole file from offset 0, at most limit bytes; 0 or an errno value.
int read_all(int fd, std::string& out, std::size_t limit = kMaxFileSize) {
    out.clear();
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        out.reserve(std::min(static_cast<std::size_t>(st.st_size), limit) + 1);
    }
    char chunk[65536];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd, chunk, sizeof chunk, offset);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        out.append(chunk, static_cast<std::size_t>(got));
        offset += got;
        if (out.size() > limit) {
            return EFBIG;
        }
    }
}

// Writes all of data at offset 0; 0 or an errno value.
int write_all(int fd, std::string_view data) {
    off_t offset = 0;
    while (!data.empty()) {
        const ssize_t put = ::pwrite(fd, data.data(), data.size(), offset);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(put));
        offset += put;
    }
    return 0;
}

// flock, again when a signal interrupts the wait; 0 or an errno value.
int lock_exclusively(int fd) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

void sync_directory(const std::string& directory) {
    const FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
}

// A temporary file is named after the file it replaces, ".NAME" + this mark +
// six random characters, so that it can be told from anything else beside it.
constexpr std::string_view kTemporaryMark = ".corvalen-write-";
constexpr std::size_t kRandomChars = 6;

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_ino == b.st_ino && a.st_dev == b.st_dev;
}

// Removes the entry `name` of directory dir_fd when it is a temporary file
// that no writer holds: its writer holds its lock from making it until
// renaming it, so one that can be locked belongs to a writer that was killed.
void remove_if_dead(int dir_fd, const char* name) {
    // Nothing but a regular file is opened (a device may act on being opened).
    struct stat seen {};
    if (::fstatat(dir_fd, name, &seen, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(seen.st_mode)) {
        return;
    }
    const FileDescriptor file(
        ::openat(dir_fd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    struct stat locked {};
    if (file.get() < 0 || ::fstat(file.get(), &locked) != 0 || !same_file(locked, seen) ||
        ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        return;
    }
    // Only the file we locked, should the name have changed hands since.
    struct stat now {};
    if (::fstatat(dir_fd, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && same_file(now, locked)) {
        ::unlinkat(dir_fd, name, 0);
    }
}

// Removes the temporary files of target's writers that were killed before
// renaming theirs. Called under the writers' lock on target, which every
// writer holds while its temporary file exists.
void remove_dead_temporaries(const std::string& directory, const std::string& file_name) {
    struct Closer {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    const std::unique_ptr<DIR, Closer> dir(::opendir(directory.c_str()));
    if (!dir) {
        return;
    }
    const std::string prefix = "." + file_name + std::string(kTemporaryMark);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name.size() == prefix.size() + kRandomChars && name.starts_with(prefix)) {
            remove_if_dead(::dirfd(dir.get()), entry->d_name);
        }
    }
}

// Writes bytes to a temporary file beside target and renames it over target;
// falls back to rewriting the open file fd in place. Runs under the writers'
// lock.
int replace_contents(const std::string& target, int fd, const struct stat& st,
                     std::string_view bytes, std::string_view blank) {
    const std::size_t slash = target.rfind('/');
    const std::string directory = slash == 0 ? "/" : target.substr(0, slash);
    const std::string file_name = target.substr(slash + 1);
    remove_dead_temporaries(directory, file_name);
    std::string temporary =
        directory + "/." + file_name + std::string(kTemporaryMark) + std::string(kRandomChars, 'X');
    const FileDescriptor temp(::mkostemp(temporary.data(), O_CLOEXEC));
    if (temp.get() >= 0) {
        // Held until the temporary file is renamed or removed: it is alive.
        int error = lock_exclusively(temp.get());
        ::fchmod(temp.get(), st.st_mode & 07777);
        if (::fchown(temp.get(), st.st_uid, st.st_gid) != 0) {
            // Only root may give a file away; the owner is then the writer.
        }
        if (error == 0) {
            error = write_all(temp.get(), bytes);
        }
        if (error == 0 && ::fsync(temp.get()) != 0) {
            error = errno;
        }
        if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) {
            error = errno;
        }
        if (error != 0) {
            ::unlink(temporary.c_str());
            return error;
        }
        sync_directory(directory);
        return 0;
    }
    // Until the truncation below, a shrunken file still holds the old tail;
    // covered with blanks (where the contents end on a whole character) it
    // reads as nothing should the writer be killed in between.
    const auto old_size = static_cast<std::size_t>(st.st_size);
    std::string padded(bytes);
    if (!blank.empty() && padded.size() % blank.size() == 0) {
        while (padded.size() < old_size) {
            padded += blank;
        }
    }
    // A rewrite in place cannot be undone half-way, so the room for the new
    // contents is claimed first: a full disk then fails the write before a
    // byte of the file has changed. File systems without fallocate go on.
    if (padded.size() > old_size &&
        ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(padded.size())) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS) {
        return errno;
    }
    if (int error = write_all(fd, padded)) {
        return error;
    }
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd) != 0) {
        return errno;
    }
    return 0;
}

std::optional<std::string> real_path(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                               &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return std::string(resolved.get());
}

} // namespace

std::optional<std::string> read_settings_file(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || check_regular(st) != 0) {
        return std::nullopt;
    }
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || check_regular(st) != 0) {
        return std::nullopt;
    }
    std::string bytes;
    if (read_all(file.get(), bytes) != 0) {
        return std::nullopt;
    }
    return bytes;
}

int update_settings_file(
    const std::string& path,
    const std::function<EditResult(const std::optional<std::string>& current)>& edit) {
    if (path.empty()) {
        return ENOENT;
    }
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        struct stat st {};
        const bool missing = ::stat(path.c_str(), &st) != 0;
        if (missing && errno != ENOENT) {
            return errno;
        }
        if (!missing) {
            if (int error = check_regular(st, kMaxRepairedFileSize)) {
                return error;
            }
        } else {
            // Decide before creating anything: an edit that changes nothing
            // must not leave an empty file behind.
            const EditResult result = edit(std::nullopt);
            if (result.action != EditResult::Action::Replace) {
                return result.action == EditResult::Action::Refuse ? result.error : 0;
            }
            if (result.bytes.size() > kMaxFileSize) {
                return EFBIG;
            }
        }
        // A dangling symbolic link is followed and its target created; any
        // other missing path is created exclusively, so a racing writer's new
        // file is never mistaken for ours.
        struct stat link {};
        const bool dangling = missing && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
        const int flags = O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
        const int create = O_CREAT | (dangling ? 0 : O_EXCL);
        const FileDescriptor file(missing ? ::open(path.c_str(), flags | create, 0666)
                                          : ::open(path.c_str(), flags));
        if (file.get() < 0) {
            if ((missing && errno == EEXIST) || (!missing && errno == ENOENT)) {
                continue;
            }
            return errno;
        }
        const bool created = missing;
        int error = lock_exclusively(file.get());
        // Another writer may have renamed a new file over the path while we
        // waited for the lock; then lock that one instead.
        const auto target = real_path(path);
        struct stat locked {};
        struct stat current {};
        if (error == 0 && (!target || ::fstat(file.get(), &locked) != 0 ||
                           ::stat(target->c_str(), &current) != 0 ||
                           locked.st_ino != current.st_ino || locked.st_dev != current.st_dev)) {
            continue;
        }
        if (error == 0) {
            error = check_regular(locked, kMaxRepairedFileSize);
        }
        std::string bytes;
        if (error == 0) {
            error = read_all(file.get(), bytes, kMaxRepairedFileSize);
        }
        if (error == 0) {
            const std::size_t size_before = bytes.size();
            const EditResult result =
                edit(created ? std::nullopt : std::optional<std::string>(std::move(bytes)));
            // Past the limit the file would read as missing, so every setting
            // as its default: refused, unless it shrinks an oversized file.
            if (result.action == EditResult::Action::Replace &&
                result.bytes.size() > kMaxFileSize && result.bytes.size() >= size_before) {
                error = EFBIG;
            } else if (result.action == EditResult::Action::Replace) {
                error = replace_contents(*target, file.get(), locked, result.bytes, result.blank);
            } else if (result.action == EditResult::Action::Refuse) {
                error = result.error;
            }
        }
        if (error != 0 && created && target) {
            ::unlink(target->c_str());
        }
        return error;
    }
    return EAGAIN;
}

} // namespace corvalen::profile
