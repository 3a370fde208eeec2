// SPDX-License-Identifier: GPL-2.0-or-later
// The output profile catalogue: the profiles of Format.xml in file order.
//
// Ownership: the catalogue owns its records; callers always get copies,
// except inside an Iteration, which lends references for its lifetime.
// Threading: every operation takes the catalogue's lock; an Iteration holds
// it from construction to destruction, so do not call other members of the
// same catalogue while one is alive on the same thread.
#pragma once

#include "core/output_profile.h"

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace rizuvira::core {

class ProfileCatalogue {
public:
    ProfileCatalogue() = default;
    ~ProfileCatalogue() { Clear(); }
    ProfileCatalogue(const ProfileCatalogue&) = delete;
    ProfileCatalogue& operator=(const ProfileCatalogue&) = delete;

    // Reads "Format.xml" from the current directory.
    bool Load();
    // Reads the catalogue file at `path`. Appends one profile per Profile
    // element of the root, in document order, and returns true; returns
    // false and adds nothing when the file is missing, unreadable or not a
    // well-formed document with one root element, with the reason in
    // `error` when one is given ("No such file or directory", "not
    // well-formed XML: ... at byte 120").
    bool LoadFile(const std::filesystem::path& path, std::string* error = nullptr);
    // The same for a document held in memory (fuzzing, tests).
    bool LoadBuffer(const void* data, size_t size_bytes);

    // Copies the first profile whose Id equals `id` into `out`; false (and
    // `out` untouched) when there is none.
    bool Find(int32_t id, OutputProfile& out) const;

    size_t Size() const;
    void Clear();
    // Appends a copy of `profile` as it is (its Id included).
    void Add(const OutputProfile& profile);
    // Removes the first profile whose Id equals `id`; false when there is none.
    bool Remove(int32_t id);

    // Walks the records in file order under the catalogue's lock.
    class Iteration {
    public:
        explicit Iteration(const ProfileCatalogue& catalogue)
            : lock_(catalogue.mutex_), profiles_(catalogue.profiles_) {}
        std::vector<OutputProfile>::const_iterator begin() const { return profiles_.begin(); }
        std::vector<OutputProfile>::const_iterator end() const { return profiles_.end(); }

    private:
        std::unique_lock<std::mutex> lock_;
        const std::vector<OutputProfile>& profiles_;
    };
    Iteration Iterate() const { return Iteration(*this); }

private:
    void Append(std::vector<OutputProfile>&& loaded);

    mutable std::mutex mutex_;
    std::vector<OutputProfile> profiles_;  // guarded by mutex_
};

}  // namespace rizuvira::core
