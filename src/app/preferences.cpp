// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/preferences.h"

#include <cctype>
#include <functional>

#include "core/output_profile.h"

namespace rizuvira::app {

namespace {

std::string CpuText(int32_t percent) {
    return std::to_string(percent) + "%";
}

}  // namespace

const std::vector<std::string>& PreferenceEntries(PreferenceList list) {
    static const std::vector<std::string> image_types{"BMP", "JPEG", "GIF"};
    static const std::vector<std::string> actions{core::kActionNone, core::kActionShutDown};
    static const std::vector<std::string> cpu{"50%", "60%", "70%", "80%", "90%", "100%"};
    static const std::vector<std::string> languages{"English"};
    static const std::vector<std::string> skins{"Default"};
    switch (list) {
        case PreferenceList::kImageType:
            return image_types;
        case PreferenceList::kAction:
            return actions;
        case PreferenceList::kCpuUsage:
            return cpu;
        case PreferenceList::kLanguage:
            return languages;
        case PreferenceList::kSkin:
            break;
    }
    return skins;
}

int SelectByPrefix(const std::vector<std::string>& entries, std::string_view stored) {
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string& entry = entries[i];
        if (entry.size() < stored.size()) continue;
        bool match = true;
        for (size_t k = 0; k < stored.size() && match; ++k) {
            match = std::tolower(static_cast<unsigned char>(entry[k])) ==
                    std::tolower(static_cast<unsigned char>(stored[k]));
        }
        if (match) return static_cast<int>(i);
    }
    return -1;
}

Preferences::Preferences(core::SettingsStore& store) : store_(store) {
    const core::Settings& v = store_.values();
    out_folder_ = v.out_folder;
    snap_folder_ = v.snap_folder;
    auto select = [&](PreferenceList list, std::string_view stored) {
        selection_[static_cast<int>(list)] = SelectByPrefix(PreferenceEntries(list), stored);
    };
    select(PreferenceList::kImageType, v.image_type);
    select(PreferenceList::kAction, v.action);
    select(PreferenceList::kCpuUsage, CpuText(v.cpu_usage));
    selection_[static_cast<int>(PreferenceList::kLanguage)] = 0;
    selection_[static_cast<int>(PreferenceList::kSkin)] = 0;
}

void Preferences::Select(PreferenceList list, int index) {
    const int count = static_cast<int>(PreferenceEntries(list).size());
    selection_[static_cast<int>(list)] = index >= 0 && index < count ? index : -1;
}

bool Preferences::ShowPage(PreferencesPage page) {
    if (page == page_) return false;
    page_ = page;
    return true;
}

std::string Preferences::SelectedText(PreferenceList list) const {
    const int index = Selection(list);
    return index < 0 ? std::string() : PreferenceEntries(list)[index];
}

bool Preferences::Ok() {
    using core::SettingsStore;
    const core::Settings before = store_.values();
    // One change: the setter and the value to write, and the value to put back.
    struct Change {
        bool (SettingsStore::*text_setter)(const std::string&);
        std::string text, old_text;
        int32_t number = 0, old_number = 0;
    };
    std::vector<Change> changes;
    auto text = [&](bool (SettingsStore::*setter)(const std::string&), const std::string& shown,
                    const std::string& stored) {
        if (shown != stored) changes.push_back(Change{setter, shown, stored});
    };
    text(&SettingsStore::SetOutFolder, out_folder_, before.out_folder);
    text(&SettingsStore::SetSnapFolder, snap_folder_, before.snap_folder);
    if (Selection(PreferenceList::kImageType) >= 0)
        text(&SettingsStore::SetImageType, SelectedText(PreferenceList::kImageType),
             before.image_type);
    if (Selection(PreferenceList::kAction) >= 0)
        text(&SettingsStore::SetAction, SelectedText(PreferenceList::kAction), before.action);
    if (Selection(PreferenceList::kCpuUsage) >= 0) {
        const int32_t percent = core::ParseLeadingInt(SelectedText(PreferenceList::kCpuUsage));
        if (percent != before.cpu_usage)
            changes.push_back(Change{nullptr, {}, {}, percent, before.cpu_usage});
    }

    auto apply = [&](const Change& c, bool forward) {
        if (c.text_setter) return std::invoke(c.text_setter, store_, forward ? c.text : c.old_text);
        return store_.SetCpuUsage(forward ? c.number : c.old_number);
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        if (apply(changes[i], true)) continue;
        // Put back every value touched so far, last first; each rewrite carries the whole
        // record, so the last one that succeeds leaves the file as it was.
        for (size_t k = i + 1; k-- > 0;) apply(changes[k], false);
        return false;
    }
    return true;
}

}  // namespace rizuvira::app
