// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/profile_catalogue.h"

#include "core/xml_navigator.h"

#include <cstring>

namespace rizuvira::core {

namespace {

// Reads the elements of one Profile in their fixed order. Each search goes
// on after the element found last, so an element standing before one read
// earlier is not seen and counts as absent.
class ProfileReader {
public:
    ProfileReader(core::XmlNavigator& nav, OutputProfile& profile) : nav_(nav), profile_(profile) {}

    void Read() {
        OutputSettings& s = profile_.Settings;
        s.HasVideo = 1;
        s.HasAudio = 1;

        Text("ProfileName", profile_.ProfileName, nullptr);
        Text("FormatExt", profile_.FormatExt, nullptr);
        CodecName("VideoCodecName", s.VideoCodecName, s.HasVideo);
        // "source" (kSameAsSourceKey) reads as 0, kSameAsSource.
        Number("Width", s.Width, s.HasVideo);
        Number("Height", s.Height, s.HasVideo);
        Number("FrameRate", s.FrameRate, s.HasVideo);
        Number("VideoBitRate", s.VideoBitRate, s.HasVideo);
        CodecName("AudioCodecName", s.AudioCodecName, s.HasAudio);
        Number("SampleRate", s.SampleRate, s.HasAudio);
        Number("AudioBitRate", s.AudioBitRate, s.HasAudio);
        Number("Channel", s.Channel, s.HasAudio);
        Text("Resolutions", profile_.Resolutions, &s.HasVideo);
        Text("FrameRates", profile_.FrameRates, &s.HasVideo);
        Text("VideoCodecs", profile_.VideoCodecs, &s.HasVideo);
        Text("VideoBitRates", profile_.VideoBitRates, &s.HasVideo);
        Text("SampleRates", profile_.SampleRates, &s.HasAudio);
        Text("Channels", profile_.Channels, &s.HasAudio);
        Text("AudioCodecs", profile_.AudioCodecs, &s.HasAudio);
        Text("AudioBitRates", profile_.AudioBitRates, &s.HasAudio);
        // Later additions, after every element above so that files written
        // before them read as they did: absent, they change no flag.
        Number("Quality", s.Quality, nullptr);
        Text("EncoderPreset", s.EncoderPreset, nullptr);
        Text("Qualities", profile_.Qualities, nullptr);
        Text("EncoderPresets", profile_.EncoderPresets, nullptr);
    }

private:
    // The `value` attribute of the next element `name`; false when absent.
    bool Value(const char* name, std::string& value) {
        if (!nav_.FindChild(name)) return false;
        nav_.StepIn();
        value = nav_.Attribute("value");
        nav_.StepOut();
        return true;
    }

    template <size_t N>
    void Text(const char* name, char (&field)[N], int32_t* flag_when_absent) {
        std::string value;
        if (Value(name, value)) {
            SetField(field, value);
        } else if (flag_when_absent != nullptr) {
            *flag_when_absent = 0;
        }
    }

    void Number(const char* name, int32_t& field, int32_t& flag_when_absent) {
        Number(name, field, &flag_when_absent);
    }
    void Number(const char* name, int32_t& field, int32_t* flag_when_absent) {
        std::string value;
        if (Value(name, value)) {
            field = ParseLeadingInt(value);
        } else if (flag_when_absent != nullptr) {
            *flag_when_absent = 0;
        }
    }

    template <size_t N>
    void CodecName(const char* name, char (&field)[N], int32_t& flag) {
        std::string value;
        if (!Value(name, value) || value.empty()) {
            flag = 0;
            return;
        }
        SetField(field, value);
    }

    core::XmlNavigator& nav_;
    OutputProfile& profile_;
};

std::vector<OutputProfile> ReadProfiles(core::XmlNavigator& nav) {
    std::vector<OutputProfile> profiles;
    nav.Reset();
    int32_t counter = 0;
    while (nav.FindChild("Profile")) {
        nav.StepIn();
        OutputProfile profile;
        std::memset(&profile, 0, sizeof profile);
        profile.Id = counter++;
        ProfileReader(nav, profile).Read();
        profiles.push_back(profile);
        nav.StepOut();
    }
    return profiles;
}

}  // namespace

bool ProfileCatalogue::Load() {
    return LoadFile("Format.xml");
}

bool ProfileCatalogue::LoadFile(const std::filesystem::path& path, std::string* error) {
    core::XmlNavigator nav;
    if (!nav.LoadFile(path)) {
        if (error) *error = nav.error();
        return false;
    }
    Append(ReadProfiles(nav));
    return true;
}

bool ProfileCatalogue::LoadBuffer(const void* data, size_t size_bytes) {
    core::XmlNavigator nav;
    if (!nav.LoadBuffer(data, size_bytes)) return false;
    Append(ReadProfiles(nav));
    return true;
}

void ProfileCatalogue::Append(std::vector<OutputProfile>&& loaded) {
    std::lock_guard lock(mutex_);
    profiles_.insert(profiles_.end(), loaded.begin(), loaded.end());
}

bool ProfileCatalogue::Find(int32_t id, OutputProfile& out) const {
    std::lock_guard lock(mutex_);
    for (const OutputProfile& profile : profiles_) {
        if (profile.Id == id) {
            out = profile;
            return true;
        }
    }
    return false;
}

size_t ProfileCatalogue::Size() const {
    std::lock_guard lock(mutex_);
    return profiles_.size();
}

void ProfileCatalogue::Add(const OutputProfile& profile) {
    std::lock_guard lock(mutex_);
    profiles_.push_back(profile);
}

bool ProfileCatalogue::Remove(int32_t id) {
    std::lock_guard lock(mutex_);
    for (auto it = profiles_.begin(); it != profiles_.end(); ++it) {
        if (it->Id == id) {
            profiles_.erase(it);
            return true;
        }
    }
    return false;
}

void ProfileCatalogue::Clear() {
    std::lock_guard lock(mutex_);
    profiles_.clear();
    profiles_.shrink_to_fit();
}

}  // namespace rizuvira::core
