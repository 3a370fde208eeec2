#include "engine/part_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace rizuvira::engine {

namespace {

constexpr int kNameAttempts = 100;

std::string RandomTag() {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<size_t> pick(0, sizeof(kLetters) - 2);
    std::string tag(6, ' ');
    for (char& c : tag) c = kLetters[pick(random)];
    return tag;
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
        const std::filesystem::path candidate = folder / ("." + name + "." + RandomTag() + ".part");
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            path_ = candidate;
            final_path_ = final_path;
            return true;
        }
        if (errno != EEXIST) {
            if (error) *error = std::strerror(errno);
            return false;
        }
    }
    if (error) *error = "no free temporary name";
    return false;
}

PartFile::Commit PartFile::MoveToFinalName(bool replace, std::string* error) {
    if (!active()) {
        if (error) *error = "no file";
        return Commit::kFailed;
    }
    const int result = replace ? rename(path_.c_str(), final_path_.c_str())
                               : RenameNoReplace(path_.c_str(), final_path_.c_str());
    if (result != 0) {
        if (errno == EEXIST) return Commit::kExists;
        if (error) *error = std::strerror(errno);
        return Commit::kFailed;
    }
    path_.clear();
    return Commit::kDone;
}

void PartFile::Remove() {
    if (!active()) return;
    unlink(path_.c_str());
    path_.clear();
}

}  // namespace rizuvira::engine
