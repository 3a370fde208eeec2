// SPDX-License-Identifier: GPL-2.0-or-later
// An exclusive lock on a folder, held for the life of the object: writers of
// the files in a settings folder (several windows of the program, and the
// command line) take it around reading, merging and replacing a file, so
// that none of them writes over a change another one has just made.
//
// Threads: one owner. The lock is advisory (flock) and between processes;
// two objects of one process lock each other out too.
#pragma once

#include <filesystem>

namespace rizuvira::core {

class FolderLock {
public:
    // Waits for the lock on `folder`, making the folder when it is missing.
    // held() is false when the folder cannot be made or opened: the caller
    // goes on without the lock.
    explicit FolderLock(const std::filesystem::path& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace rizuvira::core
