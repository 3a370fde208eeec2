// SPDX-License-Identifier: GPL-2.0-or-later
// The output profiles a user saves, beside the shipped ones. The shipped catalogue (Format.xml)
// is only read; saved profiles live in Format.user.xml in the settings folder, in the same XML
// form, and follow the shipped ones in one catalogue. Saved profiles are numbered from
// kFirstSavedProfileId (or past the shipped ones, should those be more) in file order; a number
// stays with its profile while the program runs and is not given again before the next start.
//
// Threads: one owner thread (the main window's or the command line's).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/form_outcome.h"
#include "core/output_profile.h"
#include "core/profile_catalogue.h"

namespace rizuvira::app {

inline constexpr const char* kSavedProfilesFileName = "Format.user.xml";
inline constexpr int32_t kFirstSavedProfileId = 1000;

// Format.user.xml beside `settings_file` (settings.ini).
std::filesystem::path SavedProfilesFile(const std::filesystem::path& settings_file);

// Writes `profiles` as a catalogue document that ProfileCatalogue reads back into the same
// records (ids aside), through a temporary file renamed over `path`, so a failed write leaves
// the old file whole. False with the reason in `error`.
bool WriteProfileFile(const std::filesystem::path& path,
                      const std::vector<core::OutputProfile>& profiles, std::string* error);

class ProfileLibrary {
public:
    // Reads the shipped catalogue, then the saved one. False when the shipped file cannot be
    // read (then nothing is loaded and load_error() says why). A missing saved file holds no
    // profiles; one that exists but cannot be read is left alone: its profiles are not listed,
    // saved_file_error() says why, and SaveAs and Delete refuse to rewrite it. A profile with a
    // value out of its range (core::OutputSettingsProblem) is listed but cannot be used:
    // Problem() says why.
    bool Load(const std::filesystem::path& shipped, const std::filesystem::path& saved);
    // "FILE: REASON" when the shipped file could not be read at Load; empty when it could.
    const std::string& load_error() const { return load_error_; }
    // Why the profile `id` cannot be used, naming its file, name and field; empty when it can.
    std::string Problem(int32_t id) const;

    // Shipped profiles first, then the saved ones.
    const core::ProfileCatalogue& catalogue() const { return catalogue_; }
    // Does not take the catalogue's lock: safe inside an Iteration.
    bool IsSaved(int32_t id) const { return saved_ids_.count(id) != 0; }
    // Why the saved file could not be read at Load; empty when it could (or was missing).
    const std::string& saved_file_error() const { return saved_file_error_; }

    // Saves a copy of `profile` named `name` (blanks around it dropped) after the other saved
    // profiles; `*id` gets its number. Refused with a message, changing nothing: an empty name,
    // one of digits only (the command line takes those as ids), a control character, a name
    // longer than a profile holds, a name in use (ignoring case), a value out of its range, or
    // a file that cannot be written.
    FormOutcome SaveAs(const std::string& name, const core::OutputProfile& profile, int32_t* id);
    // Deletes a saved profile; a shipped one or an unknown id is refused with a message.
    FormOutcome Delete(int32_t id);

private:
    // Under a lock on the settings folder, reads the saved profiles the file holds now (another
    // window or the command line may have saved some since Load), lets `edit` change them and
    // writes them whole, so that nobody's profile is lost.
    FormOutcome Rewrite(const std::function<FormOutcome(std::vector<core::OutputProfile>&)>& edit);
    // Notes the profiles of `file` just added whose values are out of range.
    void NoteProblems(const std::filesystem::path& file, const core::ProfileCatalogue& loaded,
                      int32_t first_id);

    core::ProfileCatalogue catalogue_;
    std::filesystem::path saved_file_;
    std::string saved_file_error_;
    std::string load_error_;
    std::map<int32_t, std::string> problems_;  // by id
    std::set<int32_t> saved_ids_;
    int32_t next_saved_id_ = kFirstSavedProfileId;
};

}  // namespace rizuvira::app
