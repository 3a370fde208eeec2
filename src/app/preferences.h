// SPDX-License-Identifier: GPL-2.0-or-later
// The rules of the preferences window over the settings store: the two folder fields, the
// lists with their fixed entries and their selection by the stored values, the two pages, and
// OK, which stores only what changed and, when the store cannot be written, changes nothing.
//
// Threads: the window's thread only (the store has one owner).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/settings_store.h"

namespace rizuvira::app {

enum class PreferenceList : int {
    kImageType = 0,
    kAction,
    kCpuUsage,
    kLanguage,
    kSkin,
};
inline constexpr int kPreferenceListCount = 5;

enum class PreferencesPage { kGeneral, kOptions };

// The entries of each list: "BMP", "JPEG", "GIF"; "No Action", "Shut Down"; "50%".."100%";
// "English"; "Default".
const std::vector<std::string>& PreferenceEntries(PreferenceList list);

// The first entry that begins with `stored`, ignoring ASCII case; -1 when none does.
int SelectByPrefix(const std::vector<std::string>& entries, std::string_view stored);

class Preferences {
public:
    // Shows the store's current values; `store` must outlive this object.
    explicit Preferences(core::SettingsStore& store);

    const std::string& OutFolderText() const { return out_folder_; }
    const std::string& SnapFolderText() const { return snap_folder_; }
    // Typed or browsed text (stored only on OK).
    void SetOutFolderText(std::string text) { out_folder_ = std::move(text); }
    void SetSnapFolderText(std::string text) { snap_folder_ = std::move(text); }

    int Selection(PreferenceList list) const { return selection_[static_cast<int>(list)]; }
    // -1 or out of range: no selection.
    void Select(PreferenceList list, int index);

    PreferencesPage page() const { return page_; }
    // False when the page is already shown (the tab does nothing). Edits are kept.
    bool ShowPage(PreferencesPage page);

    // OK: every shown value that differs from the stored one is stored; a list without a
    // selection keeps its stored value. False when the store could not be written: then the
    // store holds what it held before and the window stays open.
    bool Ok();

private:
    std::string SelectedText(PreferenceList list) const;

    core::SettingsStore& store_;
    std::string out_folder_;
    std::string snap_folder_;
    int selection_[kPreferenceListCount];
    PreferencesPage page_ = PreferencesPage::kGeneral;
};

}  // namespace rizuvira::app
