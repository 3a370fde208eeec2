// SPDX-License-Identifier: GPL-2.0-or-later
// An output file written under a temporary name beside its final one and
// moved to the final name when it is finished, so a reader never sees a
// half-written file and two runs into one folder never write into the same
// file. The temporary file is ".NAME.XXXXXX.part" in the final file's
// folder, created exclusively (O_EXCL), with the usual permissions.
//
// While a part is active its creator holds a write lock on it (an open file
// description lock, which the kernel drops when the process ends however it
// ends). A part nobody holds a lock on was left by a run that was killed;
// RemoveStaleParts takes such parts away.
//
// Threads: one owner; no lock of its own.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace rizuvira::engine {

class PartFile {
public:
    enum class Commit { kDone, kExists, kFailed };

    PartFile() = default;
    // Removes a part that was created and neither committed nor removed.
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Creates an empty part file for `final_path` and locks it. False
    // (nothing created) when the folder is missing or not writable; `error`
    // says why.
    bool Create(const std::filesystem::path& final_path, std::string* error);
    bool active() const { return !path_.empty(); }
    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& final_path() const { return final_path_; }

    // Moves the part to its final name (or to `target`). Without `replace`
    // a file of that name is never replaced, even one that appears at this
    // moment: kExists, and the part stays where it is. kFailed (part kept)
    // on any other error, with `error` set.
    Commit MoveToFinalName(bool replace, std::string* error);
    Commit MoveTo(const std::filesystem::path& target, bool replace, std::string* error);
    // Deletes the part file.
    void Remove();

private:
    void Release();

    std::filesystem::path path_;
    std::filesystem::path final_path_;
    int fd_ = -1;  // holds the lock while the part is active
};

// Deletes the parts in `folder` that no process holds (left by a run that was
// killed) and returns their paths. Parts whose lock cannot be tested (a file
// system without locks) are left alone.
std::vector<std::filesystem::path> RemoveStaleParts(const std::filesystem::path& folder);

// The name a file finished early by a cancel is kept under: "Title_01.mp4"
// becomes "Title_01.partial.mp4" in the same folder.
std::filesystem::path PartialName(const std::filesystem::path& final_path);

}  // namespace rizuvira::engine
