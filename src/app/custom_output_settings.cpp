// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/custom_output_settings.h"

#include <cstdio>
#include <utility>

#include "core/choice_list.h"
#include "core/number_text.h"
#include "core/output_limits.h"
#include "filters/video_geometry.h"

namespace rizuvira::app {

namespace {

// A side of "W*H": a whole number from 1 up to the picture size limit.
bool ReadSide(std::string_view text, size_t* pos, int32_t* value) {
    int64_t number = 0;
    size_t i = *pos;
    if (!core::ReadInteger(text, &i, &number) || number <= 0 || number > filters::kMaxPictureSide)
        return false;
    *value = static_cast<int32_t>(number);
    *pos = i;
    return true;
}

}  // namespace

bool ParseResolution(std::string_view text, int32_t* width, int32_t* height) {
    size_t pos = 0;
    int32_t w = 0, h = 0;
    if (!ReadSide(text, &pos, &w)) return false;
    if (pos >= text.size() || text[pos] != '*') return false;
    ++pos;
    if (!ReadSide(text, &pos, &h)) return false;
    *width = w;
    *height = h;
    return true;
}

CustomOutputSettings::CustomOutputSettings(const core::OutputProfile& profile,
                                           const core::ProfileCatalogue* catalogue)
    : profile_(profile), catalogue_(catalogue) {
    ShowValues();
}

CustomOutputSettings::CustomOutputSettings(const core::OutputProfile& profile,
                                           ProfileLibrary* library)
    : profile_(profile), catalogue_(&library->catalogue()), library_(library) {
    ShowValues();
}

std::string_view CustomOutputSettings::ChoiceList(OutputList list) const {
    switch (list) {
        case OutputList::kResolution:
            return core::FieldText(profile_.Resolutions);
        case OutputList::kFrameRate:
            return core::FieldText(profile_.FrameRates);
        case OutputList::kVideoEncoder:
            return core::FieldText(profile_.VideoCodecs);
        case OutputList::kVideoBitRate:
            return core::FieldText(profile_.VideoBitRates);
        case OutputList::kSampleRate:
            return core::FieldText(profile_.SampleRates);
        case OutputList::kChannels:
            return core::FieldText(profile_.Channels);
        case OutputList::kAudioEncoder:
            return core::FieldText(profile_.AudioCodecs);
        case OutputList::kAudioBitRate:
            return core::FieldText(profile_.AudioBitRates);
        case OutputList::kQuality:
            return core::FieldText(profile_.Qualities);
        case OutputList::kEncoderPreset:
            return core::FieldText(profile_.EncoderPresets);
    }
    return {};
}

std::vector<std::string> CustomOutputSettings::Entries(OutputList list) const {
    return core::ChoiceLabels(ChoiceList(list));
}

int CustomOutputSettings::Selection(OutputList list) const {
    if (list != OutputList::kResolution) return selection_[static_cast<int>(list)];
    const std::vector<std::string> entries = Entries(list);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] == resolution_text_) return static_cast<int>(i);
    }
    return -1;
}

void CustomOutputSettings::Select(OutputList list, int index) {
    const std::vector<std::string> entries = Entries(list);
    if (index < 0 || index >= static_cast<int>(entries.size())) index = -1;
    if (list == OutputList::kResolution) {
        if (index >= 0) resolution_text_ = entries[index];
        return;
    }
    selection_[static_cast<int>(list)] = index;
}

void CustomOutputSettings::ShowValues() {
    selection_.fill(-1);
    resolution_text_.clear();
    const core::OutputSettings& s = profile_.Settings;
    // The entry whose text is the label of `value`; none for a value without a key.
    auto show = [&](OutputList list, std::string_view value) {
        const std::string label = core::ChoiceLabelForValue(ChoiceList(list), value);
        if (label.empty()) return;
        const std::vector<std::string> entries = Entries(list);
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i] == label) {
                selection_[static_cast<int>(list)] = static_cast<int>(i);
                return;
            }
        }
    };
    if (s.HasVideo == 1) {
        if (core::TakesSourceSize(s)) {
            resolution_text_ = SameAsSourceLabel(OutputList::kResolution);
        } else {
            char size[32];
            std::snprintf(size, sizeof size, "%d*%d", s.Width, s.Height);
            resolution_text_ = size;
        }
        show(OutputList::kFrameRate, core::TakesSourceFrameRate(s)
                                         ? std::string(core::kSameAsSourceKey)
                                         : std::to_string(s.FrameRate));
        show(OutputList::kVideoEncoder, core::FieldText(s.VideoCodecName));
        show(OutputList::kVideoBitRate, std::to_string(s.VideoBitRate));
        show(OutputList::kQuality, std::to_string(s.Quality));
        show(OutputList::kEncoderPreset, core::FieldText(s.EncoderPreset));
    }
    if (s.HasAudio == 1) {
        show(OutputList::kSampleRate, std::to_string(s.SampleRate));
        show(OutputList::kChannels, std::to_string(s.Channel));
        show(OutputList::kAudioEncoder, core::FieldText(s.AudioCodecName));
        show(OutputList::kAudioBitRate, std::to_string(s.AudioBitRate));
    }
}

std::string CustomOutputSettings::SameAsSourceLabel(OutputList list) const {
    const std::string label = core::ChoiceLabelForValue(ChoiceList(list), core::kSameAsSourceKey);
    return label.empty() ? Text("settings", kSameAsSourceLabel) : label;
}

std::string CustomOutputSettings::SelectedKey(OutputList list) const {
    const int index = Selection(list);
    const std::vector<std::string> entries = Entries(list);
    if (index < 0 || index >= static_cast<int>(entries.size())) return {};
    return core::ChoiceKeyForLabel(ChoiceList(list), entries[index]);
}

FormOutcome CustomOutputSettings::Ok() {
    core::OutputSettings& s = profile_.Settings;
    const FormOutcome bad_param{false, kErrorParamMessage};
    // A number field takes the key's leading integer; a key that gives no positive number
    // would hand the encoder a zero rate, so it counts as a bad choice.
    auto store_number = [&](OutputList list, int32_t* field) {
        const int32_t number = core::ParseLeadingInt(SelectedKey(list));
        if (number <= 0) return false;
        *field = number;
        return true;
    };
    // A name longer than its field would be cut into another encoder's name.
    auto store_name = [&](OutputList list, auto& field) {
        const std::string key = SelectedKey(list);
        if (key.empty() || key.size() >= sizeof field) return false;
        core::SetField(field, key);
        return true;
    };
    // A list the profile does not offer (a profile from before it) leaves its field as it is.
    auto offered = [&](OutputList list) { return !Entries(list).empty(); };
    if (s.HasVideo == 1) {
        int32_t width = 0, height = 0;
        if (resolution_text_ == SameAsSourceLabel(OutputList::kResolution) ||
            resolution_text_ == core::kSameAsSourceKey) {
            width = height = core::kSameAsSource;
        } else if (!ParseResolution(resolution_text_, &width, &height)) {
            return FormOutcome{false, kResolutionErrorMessage};
        }
        s.Width = width;
        s.Height = height;
        if (SelectedKey(OutputList::kFrameRate) == core::kSameAsSourceKey)
            s.FrameRate = core::kSameAsSource;
        else if (!store_number(OutputList::kFrameRate, &s.FrameRate))
            return bad_param;
        if (!store_name(OutputList::kVideoEncoder, s.VideoCodecName)) return bad_param;
        if (!store_number(OutputList::kVideoBitRate, &s.VideoBitRate)) return bad_param;
        if (offered(OutputList::kQuality)) {
            // "0" is a choice of its own: code to the bit rate.
            const std::string key = SelectedKey(OutputList::kQuality);
            const int32_t quality = core::ParseLeadingInt(key);
            if (key.empty() || quality < 0) return bad_param;
            s.Quality = quality;
        }
        if (offered(OutputList::kEncoderPreset)) {
            const std::string key = SelectedKey(OutputList::kEncoderPreset);
            if (Selection(OutputList::kEncoderPreset) < 0 || key.size() >= sizeof s.EncoderPreset)
                return bad_param;
            core::SetField(s.EncoderPreset, key);
        }
    }
    if (s.HasAudio == 1) {
        if (!store_number(OutputList::kSampleRate, &s.SampleRate)) return bad_param;
        if (!store_number(OutputList::kChannels, &s.Channel)) return bad_param;
        if (!store_name(OutputList::kAudioEncoder, s.AudioCodecName)) return bad_param;
        if (!store_number(OutputList::kAudioBitRate, &s.AudioBitRate)) return bad_param;
    }
    // The values a catalogue or the command line could not give either.
    if (std::string problem = core::OutputSettingsProblem(s); !problem.empty())
        return FormOutcome{false, std::move(problem)};
    return {};
}

FormOutcome CustomOutputSettings::Default() {
    core::OutputProfile fresh{};
    if (!catalogue_ || !catalogue_->Find(profile_.Id, fresh))
        return FormOutcome{false, kCantGetFormatMessage};
    profile_ = fresh;
    ShowValues();
    return {};
}

std::vector<CustomOutputSettings::Preset> CustomOutputSettings::Presets() const {
    std::vector<Preset> presets;
    if (!catalogue_) return presets;
    for (const core::OutputProfile& p : catalogue_->Iterate()) {
        presets.push_back(Preset{p.Id, std::string(core::FieldText(p.ProfileName)),
                                 library_ != nullptr && library_->IsSaved(p.Id)});
    }
    return presets;
}

int CustomOutputSettings::PresetSelection() const {
    const std::vector<Preset> presets = Presets();
    for (size_t i = 0; i < presets.size(); ++i)
        if (presets[i].id == profile_.Id) return static_cast<int>(i);
    return -1;
}

FormOutcome CustomOutputSettings::ChoosePreset(int32_t id) {
    core::OutputProfile chosen{};
    if (!catalogue_ || !catalogue_->Find(id, chosen))
        return FormOutcome{false, kCantGetFormatMessage};
    profile_ = chosen;
    ShowValues();
    return {};
}

FormOutcome CustomOutputSettings::SaveAs(const std::string& name) {
    if (!library_) return FormOutcome{false, "Profiles cannot be saved here"};
    if (FormOutcome checked = Ok(); !checked.ok) return checked;
    int32_t id = 0;
    if (FormOutcome saved = library_->SaveAs(name, profile_, &id); !saved.ok) return saved;
    return ChoosePreset(id);
}

bool CustomOutputSettings::CanDelete() const {
    return library_ != nullptr && library_->IsSaved(profile_.Id);
}

FormOutcome CustomOutputSettings::Delete() {
    if (!library_) return FormOutcome{false, "Profiles cannot be deleted here"};
    if (FormOutcome deleted = library_->Delete(profile_.Id); !deleted.ok) return deleted;
    core::OutputProfile fallback{};
    if (!catalogue_->Find(1, fallback)) {
        for (const core::OutputProfile& p : catalogue_->Iterate()) {
            fallback = p;
            break;
        }
    }
    profile_ = fallback;
    ShowValues();
    return {};
}

}  // namespace rizuvira::app
