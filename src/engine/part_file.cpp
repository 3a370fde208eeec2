// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/part_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

namespace rizuvira::engine {

namespace {

constexpr int kNameAttempts = 100;
constexpr size_t kTagLength = 6;
constexpr const char* kPartSuffix = ".part";

std::string RandomTag() {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<size_t> pick(0, sizeof(kLetters) - 2);
    std::string tag(kTagLength, ' ');
    for (char& c : tag) c = kLetters[pick(random)];
    return tag;
}

// Whether `name` is one PartFile makes: ".NAME.XXXXXX.part".
bool IsPartName(const std::string& name) {
    const size_t suffix = std::strlen(kPartSuffix);
    if (name.size() < 1 + 1 + 1 + kTagLength + suffix || name[0] != '.' ||
        name.compare(name.size() - suffix, suffix, kPartSuffix) != 0)
        return false;
    const size_t tag = name.size() - suffix - kTagLength;
    return name[tag - 1] == '.' && std::all_of(name.begin() + static_cast<std::ptrdiff_t>(tag),
                                               name.end() - static_cast<std::ptrdiff_t>(suffix),
                                               [](unsigned char c) { return std::isalnum(c); });
}

// Locks the whole file without waiting; 0, or the errno of the failure
// (EAGAIN: another open file holds a conflicting lock).
int LockWhole(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0 ? 0 : errno;
}

bool HeldElsewhere(int error) {
    return error == EAGAIN || error == EACCES;
}

// Renames without replacing: renameat2 where the file system has it, else a
// hard link (which fails on an existing name) and an unlink, else (no hard
// links either) a look before the rename.
int RenameNoReplace(const char* from, const char* to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
    if (link(from, to) == 0) {
        unlink(from);
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP) return -1;
    if (access(to, F_OK) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(from, to);
}

}  // namespace

PartFile::~PartFile() {
    Remove();
}

bool PartFile::Create(const std::filesystem::path& final_path, std::string* error) {
    Remove();
    const std::filesystem::path folder = final_path.parent_path();
    const std::string name = final_path.filename().string();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::filesystem::path candidate =
            folder / ("." + name + "." + RandomTag() + kPartSuffix);
        const int fd = open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            if (error) *error = std::strerror(errno);
            return false;
        }
        // A run clearing stale parts may have opened the new file before it
        // was locked: then it holds the lock, or has deleted the file
        // already. Either way the name is given up for another.
        struct stat status {};
        if (HeldElsewhere(LockWhole(fd, F_WRLCK)) || fstat(fd, &status) != 0 ||
            status.st_nlink == 0) {
            close(fd);
            continue;
        }
        fd_ = fd;
        path_ = candidate;
        final_path_ = final_path;
        return true;
    }
    if (error) *error = "no free temporary name";
    return false;
}

PartFile::Commit PartFile::MoveToFinalName(bool replace, std::string* error) {
    return MoveTo(final_path_, replace, error);
}

PartFile::Commit PartFile::MoveTo(const std::filesystem::path& target, bool replace,
                                  std::string* error) {
    if (!active()) {
        if (error) *error = "no file";
        return Commit::kFailed;
    }
    const int result = replace ? rename(path_.c_str(), target.c_str())
                               : RenameNoReplace(path_.c_str(), target.c_str());
    if (result != 0) {
        if (errno == EEXIST) return Commit::kExists;
        if (error) *error = std::strerror(errno);
        return Commit::kFailed;
    }
    Release();
    return Commit::kDone;
}

void PartFile::Remove() {
    if (!active()) return;
    unlink(path_.c_str());
    Release();
}

void PartFile::Release() {
    path_.clear();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

std::vector<std::filesystem::path> RemoveStaleParts(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> removed;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::filesystem::path& path = it->path();
        if (!IsPartName(path.filename().string())) continue;
        const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat status {};
        // Holding a read lock keeps a new part's creator from taking this
        // file while it is deleted.
        if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && LockWhole(fd, F_RDLCK) == 0 &&
            unlink(path.c_str()) == 0)
            removed.push_back(path);
        close(fd);
    }
    return removed;
}

std::filesystem::path PartialName(const std::filesystem::path& final_path) {
    return final_path.parent_path() /
           (final_path.stem().string() + ".partial" + final_path.extension().string());
}

}  // namespace rizuvira::engine
