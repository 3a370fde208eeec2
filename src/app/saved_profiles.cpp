// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/saved_profiles.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/folder_lock.h"
#include "core/output_limits.h"

namespace rizuvira::app {

namespace {

namespace fs = std::filesystem;

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// An attribute value between double quotes; blanks other than the space are written as
// character references, which the reader turns back into themselves.
std::string Escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\t':
                out += "&#9;";
                break;
            case '\n':
                out += "&#10;";
                break;
            case '\r':
                out += "&#13;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void Element(std::ostringstream& xml, const char* name, std::string_view value) {
    xml << "    <" << name << " value=\"" << Escaped(value) << "\"/>\n";
}

void Element(std::ostringstream& xml, const char* name, int32_t value) {
    Element(xml, name, std::to_string(value));
}

// In the order the catalogue reads them. A codec name left empty tells the reader that the
// profile has no such stream.
void WriteProfile(std::ostringstream& xml, const core::OutputProfile& p) {
    using core::FieldText;
    const core::OutputSettings& s = p.Settings;
    xml << "  <Profile>\n";
    Element(xml, "ProfileName", FieldText(p.ProfileName));
    Element(xml, "FormatExt", FieldText(p.FormatExt));
    Element(xml, "VideoCodecName", s.HasVideo == 1 ? FieldText(s.VideoCodecName) : "");
    auto source_or = [](int32_t value) {
        return value == core::kSameAsSource ? std::string(core::kSameAsSourceKey)
                                            : std::to_string(value);
    };
    Element(xml, "Width", source_or(s.Width));
    Element(xml, "Height", source_or(s.Height));
    Element(xml, "FrameRate", source_or(s.FrameRate));
    Element(xml, "VideoBitRate", s.VideoBitRate);
    Element(xml, "AudioCodecName", s.HasAudio == 1 ? FieldText(s.AudioCodecName) : "");
    Element(xml, "SampleRate", s.SampleRate);
    Element(xml, "AudioBitRate", s.AudioBitRate);
    Element(xml, "Channel", s.Channel);
    Element(xml, "Resolutions", FieldText(p.Resolutions));
    Element(xml, "FrameRates", FieldText(p.FrameRates));
    Element(xml, "VideoCodecs", FieldText(p.VideoCodecs));
    Element(xml, "VideoBitRates", FieldText(p.VideoBitRates));
    Element(xml, "SampleRates", FieldText(p.SampleRates));
    Element(xml, "Channels", FieldText(p.Channels));
    Element(xml, "AudioCodecs", FieldText(p.AudioCodecs));
    Element(xml, "AudioBitRates", FieldText(p.AudioBitRates));
    Element(xml, "Quality", s.Quality);
    Element(xml, "EncoderPreset", FieldText(s.EncoderPreset));
    Element(xml, "Qualities", FieldText(p.Qualities));
    Element(xml, "EncoderPresets", FieldText(p.EncoderPresets));
    xml << "  </Profile>\n";
}

}  // namespace

fs::path SavedProfilesFile(const fs::path& settings_file) {
    return settings_file.parent_path() / kSavedProfilesFileName;
}

bool WriteProfileFile(const fs::path& path, const std::vector<core::OutputProfile>& profiles,
                      std::string* error) {
    std::ostringstream xml;
    xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<!-- Output profiles saved in the custom output settings window. -->\n"
        << "<Formats>\n";
    for (const core::OutputProfile& profile : profiles) WriteProfile(xml, profile);
    xml << "</Formats>\n";

    std::error_code code;
    if (!path.parent_path().empty()) fs::create_directories(path.parent_path(), code);
    fs::path temporary = path;
    temporary += ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out) {
            out << xml.str();
            out.flush();
        }
        if (!out) {
            *error = std::strerror(errno);
            out.close();
            fs::remove(temporary, code);
            return false;
        }
    }
    fs::rename(temporary, path, code);
    if (code) {
        *error = code.message();
        fs::remove(temporary, code);
        return false;
    }
    return true;
}

void ProfileLibrary::NoteProblems(const fs::path& file, const core::ProfileCatalogue& loaded,
                                  int32_t first_id) {
    int32_t id = first_id;
    for (const core::OutputProfile& profile : loaded.Iterate()) {
        const int32_t listed = first_id < 0 ? profile.Id : id++;
        const std::string problem = core::OutputSettingsProblem(profile.Settings);
        if (problem.empty()) continue;
        problems_[listed] = file.string() + ": profile \"" +
                            std::string(core::FieldText(profile.ProfileName)) + "\" (number " +
                            std::to_string(listed + 1) + ") cannot be used: " + problem;
    }
}

std::string ProfileLibrary::Problem(int32_t id) const {
    const auto found = problems_.find(id);
    return found == problems_.end() ? std::string() : found->second;
}

bool ProfileLibrary::Load(const fs::path& shipped, const fs::path& saved) {
    catalogue_.Clear();
    saved_ids_.clear();
    problems_.clear();
    saved_file_ = saved;
    saved_file_error_.clear();
    load_error_.clear();
    std::string reason;
    if (!catalogue_.LoadFile(shipped, &reason)) {
        load_error_ = shipped.string() + ": " + reason;
        return false;
    }
    NoteProblems(shipped, catalogue_, -1);
    next_saved_id_ =
        std::max<int32_t>(kFirstSavedProfileId, static_cast<int32_t>(catalogue_.Size()));
    if (saved.empty()) return true;

    std::error_code error;
    if (fs::symlink_status(saved, error).type() == fs::file_type::not_found) return true;
    core::ProfileCatalogue loaded;
    if (!loaded.LoadFile(saved, &reason)) {
        saved_file_error_ = saved.string() + " cannot be read (" + reason +
                            "): the saved profiles are not listed, and the file is left as it is";
        return true;
    }
    NoteProblems(saved, loaded, next_saved_id_);
    for (core::OutputProfile profile : loaded.Iterate()) {
        profile.Id = next_saved_id_++;
        catalogue_.Add(profile);
        saved_ids_.insert(profile.Id);
    }
    return true;
}

FormOutcome ProfileLibrary::Rewrite(
    const std::function<FormOutcome(std::vector<core::OutputProfile>&)>& edit) {
    if (saved_file_.empty()) return {false, "There is no file for saved profiles"};
    if (!saved_file_error_.empty()) return {false, saved_file_error_};
    const core::FolderLock lock(saved_file_.parent_path());
    std::vector<core::OutputProfile> saved;
    std::error_code code;
    if (fs::symlink_status(saved_file_, code).type() != fs::file_type::not_found) {
        core::ProfileCatalogue stored;
        if (!stored.LoadFile(saved_file_))
            return {false, saved_file_.string() + " cannot be read: it is left as it is"};
        for (const core::OutputProfile& profile : stored.Iterate()) saved.push_back(profile);
    }
    if (FormOutcome edited = edit(saved); !edited.ok) return edited;
    std::string error;
    if (!WriteProfileFile(saved_file_, saved, &error))
        return {false, "Cannot write " + saved_file_.string() + ": " + error};
    return {};
}

FormOutcome ProfileLibrary::SaveAs(const std::string& name, const core::OutputProfile& profile,
                                   int32_t* id) {
    const std::string wanted = Trimmed(name);
    if (wanted.empty()) return {false, "Please enter a name for the profile"};
    if (std::all_of(wanted.begin(), wanted.end(), [](unsigned char c) { return std::isdigit(c); }))
        return {false, "A profile name needs more than digits: numbers choose profiles by id"};
    if (std::any_of(wanted.begin(), wanted.end(),
                    [](unsigned char c) { return c < 0x20 || c == 0x7f; }))
        return {false, "A profile name is one line of text"};
    if (wanted.size() >= sizeof profile.ProfileName) return {false, "The profile name is too long"};
    if (const std::string problem = core::OutputSettingsProblem(profile.Settings); !problem.empty())
        return {false, "The profile cannot be saved: " + problem};
    for (const core::OutputProfile& other : catalogue_.Iterate()) {
        if (Lower(core::FieldText(other.ProfileName)) == Lower(wanted))
            return {false, "A profile named \"" + wanted + "\" exists already"};
    }

    core::OutputProfile added = profile;
    core::SetField(added.ProfileName, wanted);
    added.Id = next_saved_id_;
    const FormOutcome written =
        Rewrite([&](std::vector<core::OutputProfile>& saved) -> FormOutcome {
            for (const core::OutputProfile& other : saved) {
                if (Lower(core::FieldText(other.ProfileName)) == Lower(wanted))
                    return {false, "A profile named \"" + wanted + "\" exists already"};
            }
            saved.push_back(added);
            return {};
        });
    if (!written.ok) return written;
    catalogue_.Add(added);
    saved_ids_.insert(added.Id);
    ++next_saved_id_;
    *id = added.Id;
    return {};
}

FormOutcome ProfileLibrary::Delete(int32_t id) {
    core::OutputProfile found{};
    if (!catalogue_.Find(id, found)) return {false, "There is no such profile"};
    if (!IsSaved(id)) return {false, "The profiles that come with the program cannot be deleted"};
    const std::string name = Lower(core::FieldText(found.ProfileName));
    const FormOutcome written = Rewrite([&](std::vector<core::OutputProfile>& saved) {
        std::erase_if(saved, [&](const core::OutputProfile& p) {
            return Lower(core::FieldText(p.ProfileName)) == name;
        });
        return FormOutcome{};
    });
    if (!written.ok) return written;
    catalogue_.Remove(id);
    saved_ids_.erase(id);
    return {};
}

}  // namespace rizuvira::app
