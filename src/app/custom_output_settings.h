// SPDX-License-Identifier: GPL-2.0-or-later
// The rules of the custom output settings window: ten lists over one copy of the current
// output profile, each showing the labels of one of the profile's choice lists and storing the
// key of the chosen label; OK, and "Default" from the catalogue. The catalogue and its file are
// never written; the caller takes the copy back only after OK succeeds.
//
// Threads: the window's thread only.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "app/form_outcome.h"
#include "app/saved_profiles.h"
#include "app/texts.h"
#include "core/output_profile.h"
#include "core/profile_catalogue.h"

namespace rizuvira::app {

// The window's messages, as shown.
inline constexpr const char* kResolutionErrorMessage = "Resolution Error\r\n";
inline constexpr const char* kErrorParamMessage = "error param";
inline constexpr const char* kCantGetFormatMessage = "Cann`t get format";
inline constexpr const char* kOutputSettingsHelpText = QT_TRANSLATE_NOOP(
    "settings",
    "The \"Encoder\" stands for video codec,force the video codec to convert media files to that "
    "format");

// The eight lists, video first. The resolution list is editable: its text is free.
enum class OutputList : int {
    kResolution = 0,
    kFrameRate,
    kVideoEncoder,
    kVideoBitRate,
    kSampleRate,
    kChannels,
    kAudioEncoder,
    kAudioBitRate,
    kQuality,        // constant quality, or the bit rate ("0")
    kEncoderPreset,  // the video encoder's speed
};
inline constexpr int kOutputListCount = 10;

// What the lists show for a size or frame rate that is the source's, when the profile's list
// gives the key "source" no label of its own.
inline constexpr const char* kSameAsSourceLabel = QT_TRANSLATE_NOOP("settings", "Same as source");

// Reads "W*H" as the resolution field does: two integers joined by "*" (blanks before each
// number allowed, text after the second ignored). False unless both are 1..16384.
bool ParseResolution(std::string_view text, int32_t* width, int32_t* height);

class CustomOutputSettings {
public:
    // `catalogue` serves "Default"; it may be null (then "Default" always fails) and must
    // outlive this object.
    CustomOutputSettings(const core::OutputProfile& profile,
                         const core::ProfileCatalogue* catalogue);
    // With saved profiles: `library` (not null, outliving this object) serves "Default", the
    // preset list, "Save as..." and "Del".
    CustomOutputSettings(const core::OutputProfile& profile, ProfileLibrary* library);

    // The copy, with everything OK stored so far.
    const core::OutputProfile& profile() const { return profile_; }

    // The entries of a list in list order.
    std::vector<std::string> Entries(OutputList list) const;
    // The selected entry, or -1.
    int Selection(OutputList list) const;
    // Picks an entry (-1: none). For the resolution list the entry's text becomes the field's.
    void Select(OutputList list, int index);

    const std::string& ResolutionText() const { return resolution_text_; }
    void SetResolutionText(std::string text) { resolution_text_ = std::move(text); }

    // OK. Each step stores into the copy at once; a failed step stops there with its message.
    FormOutcome Ok();
    // "Default": the catalogue's profile of the copy's id replaces the copy and is shown.
    FormOutcome Default();

    // "Format PreSet:": every profile of the catalogue in its order; the entry of the copy's id
    // is the selected one (-1 when the catalogue lacks it).
    struct Preset {
        int32_t id;
        std::string name;
        bool saved;
    };
    std::vector<Preset> Presets() const;
    int PresetSelection() const;
    // A preset chosen: that profile replaces the copy and is shown.
    FormOutcome ChoosePreset(int32_t id);
    // "Save as...": OK's steps into the copy, then the copy is saved as a new profile named
    // `name`, and the copy becomes that profile. Without a library, or when a step or the save
    // fails, nothing is saved and the message says why.
    FormOutcome SaveAs(const std::string& name);
    // "Del" applies to the selected preset when it is a saved one.
    bool CanDelete() const;
    // Deletes it; the copy then becomes the default profile (id 1, else the first).
    FormOutcome Delete();

private:
    void ShowValues();
    std::string_view ChoiceList(OutputList list) const;
    std::string SelectedKey(OutputList list) const;
    // The label of the key "source" in `list`, or kSameAsSourceLabel.
    std::string SameAsSourceLabel(OutputList list) const;

    core::OutputProfile profile_;
    const core::ProfileCatalogue* const catalogue_;
    ProfileLibrary* const library_ = nullptr;
    std::array<int, kOutputListCount> selection_{};
    std::string resolution_text_;
};

}  // namespace rizuvira::app
