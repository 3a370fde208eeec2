// An output file written under a temporary name beside its final one and
// moved to the final name when it is finished, so a reader never sees a
// half-written file and two runs into one folder never write into the same
// file. The temporary file is ".NAME.XXXXXX.part" in the final file's
// folder, created exclusively (O_EXCL), with the usual permissions.
//
// Threads: one owner; no lock of its own.
#pragma once

#include <filesystem>
#include <string>

namespace rizuvira::engine {

class PartFile {
public:
    enum class Commit { kDone, kExists, kFailed };

    PartFile() = default;
    // Removes a part that was created and neither committed nor removed.
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Creates an empty part file for `final_path`. False (nothing created)
    // when the folder is missing or not writable; `error` says why.
    bool Create(const std::filesystem::path& final_path, std::string* error);
    bool active() const { return !path_.empty(); }
    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& final_path() const { return final_path_; }

    // Moves the part to its final name. Without `replace` a file of that
    // name is never replaced, even one that appears at this moment: kExists,
    // and the part stays where it is. kFailed (part kept) on any other
    // error, with `error` set.
    Commit MoveToFinalName(bool replace, std::string* error);
    // Deletes the part file.
    void Remove();

private:
    std::filesystem::path path_;
    std::filesystem::path final_path_;
};

}  // namespace rizuvira::engine
