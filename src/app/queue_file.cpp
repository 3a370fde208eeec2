// SPDX-License-Identifier: GPL-2.0-or-later
// The queue file: one <Job> element per queued job, holding everything the
// job converts with, so that a queue read back is the queue written.
#include <pugixml.hpp>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "app/job_queue.h"
#include "core/output_limits.h"

namespace rizuvira::app {
namespace {

constexpr int kQueueFileVersion = 1;
constexpr QueueState kStates[] = {QueueState::kWaiting, QueueState::kRunning, QueueState::kDone,
                                  QueueState::kFailed, QueueState::kCancelled};

// --- Writing -------------------------------------------------------------------

void SetInt(pugi::xml_node node, const char* name, int64_t value) {
    node.append_attribute(name).set_value(static_cast<long long>(value));
}

void SetText(pugi::xml_node node, const char* name, std::string_view text) {
    node.append_attribute(name).set_value(std::string(text).c_str());
}

template <size_t N>
void SetField(pugi::xml_node node, const char* name, const char (&field)[N]) {
    SetText(node, name, core::FieldText(field));
}

void WriteProfile(pugi::xml_node node, const core::OutputProfile& p) {
    SetInt(node, "id", p.Id);
    SetField(node, "ext", p.FormatExt);
    SetField(node, "name", p.ProfileName);
    SetField(node, "resolutions", p.Resolutions);
    SetField(node, "frameRates", p.FrameRates);
    SetField(node, "videoBitRates", p.VideoBitRates);
    SetField(node, "audioBitRates", p.AudioBitRates);
    SetField(node, "sampleRates", p.SampleRates);
    SetField(node, "channels", p.Channels);
    SetField(node, "videoCodecs", p.VideoCodecs);
    SetField(node, "audioCodecs", p.AudioCodecs);
    SetField(node, "qualities", p.Qualities);
    SetField(node, "encoderPresets", p.EncoderPresets);
    pugi::xml_node s = node.append_child("Settings");
    const core::OutputSettings& o = p.Settings;
    SetInt(s, "hasVideo", o.HasVideo);
    SetInt(s, "width", o.Width);
    SetInt(s, "height", o.Height);
    SetInt(s, "videoBitRate", o.VideoBitRate);
    SetInt(s, "frameRate", o.FrameRate);
    SetField(s, "videoCodec", o.VideoCodecName);
    SetInt(s, "hasAudio", o.HasAudio);
    SetInt(s, "sampleRate", o.SampleRate);
    SetInt(s, "channels", o.Channel);
    SetInt(s, "audioBitRate", o.AudioBitRate);
    SetField(s, "audioCodec", o.AudioCodecName);
    SetInt(s, "quality", o.Quality);
    SetField(s, "preset", o.EncoderPreset);
    SetInt(s, "aspectX", o.AspectX);
    SetInt(s, "aspectY", o.AspectY);
}

void WriteRow(pugi::xml_node node, const engine::BatchRow& row) {
    SetText(node, "output", row.output_name);
    const core::ConvertItem& item = row.item;
    SetInt(node, "title", item.title_index);
    SetInt(node, "chapter", item.chapter_index);
    SetInt(node, "length", item.length_ms);
    SetInt(node, "trimStart", item.trim_start_ms);
    SetInt(node, "trimLength", item.trim_length_ms);
    pugi::xml_node edit = node.append_child("Edit");
    const core::EditSettings& e = item.edit;
    SetInt(edit, "zoom", e.zoom_mode);
    SetInt(edit, "left", e.crop_left);
    SetInt(edit, "top", e.crop_top);
    SetInt(edit, "right", e.crop_right);
    SetInt(edit, "bottom", e.crop_bottom);
    SetInt(edit, "volume", e.volume);
    SetInt(edit, "brightness", e.brightness);
    SetInt(edit, "saturation", e.saturation);
    SetInt(edit, "hue", e.hue_degrees);
    SetInt(edit, "spare", e.spare);
    pugi::xml_node streams = node.append_child("Streams");
    SetInt(streams, "audio", row.streams.audio_id);
    SetInt(streams, "subtitle", row.streams.subtitle_id);
    for (int32_t id : row.streams.further_audio_ids)
        SetInt(streams.append_child("FurtherAudio"), "id", id);
    for (int32_t id : row.streams.soft_subtitle_ids)
        SetInt(streams.append_child("SoftSubtitle"), "id", id);
    for (const std::string& language : row.audio_languages)
        SetText(node.append_child("SoundTrack"), "language", language);
    for (const core::SubtitleTrackFormat& track : row.subtitle_tracks) {
        pugi::xml_node t = node.append_child("SubtitleTrack");
        SetText(t, "language", track.language);
        SetInt(t, "width", track.width);
        SetInt(t, "height", track.height);
        std::string palette;
        for (uint32_t rgb : track.palette_rgb) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%06" PRIx32, rgb & 0xffffffu);
            if (!palette.empty()) palette += ' ';
            palette += hex;
        }
        SetText(t, "palette", palette);
    }
    for (const core::ChapterMark& mark : row.chapters) {
        pugi::xml_node c = node.append_child("Chapter");
        SetInt(c, "start", mark.start_ms);
        SetText(c, "title", mark.title);
    }
}

void WriteJob(pugi::xml_node node, const QueuedJob& queued) {
    const ConversionJob& job = queued.job;
    SetInt(node, "id", queued.id);
    SetText(node, "state", QueueStateName(queued.state));
    pugi::xml_node source = node.append_child("Source");
    SetText(source, "path", job.source.path);
    for (const std::string& file : job.source.files)
        SetText(source.append_child("File"), "path", file);
    pugi::xml_node output = node.append_child("Output");
    SetText(output, "folder", job.output_folder.string());
    SetInt(output, "overwrite", static_cast<int>(job.overwrite));
    SetInt(output, "merge", job.merge);
    SetInt(output, "shutDown", job.shut_down);
    SetInt(output, "openFolder", job.open_folder);
    SetText(output, "storedAction", job.stored_action);
    SetInt(output, "threads", job.thread_count);
    SetInt(output, "partial", job.cancelled_file_partial);
    WriteProfile(node.append_child("Profile"), job.profile);
    pugi::xml_node mark = node.append_child("Watermark");
    SetText(mark, "text", job.watermark.text);
    SetText(mark, "font", job.watermark.font_family);
    SetInt(mark, "size", job.watermark.font_size_px);
    SetInt(mark, "colour", job.watermark.colour);
    SetInt(mark, "x", job.watermark.x);
    SetInt(mark, "y", job.watermark.y);
    char alpha[32];
    std::snprintf(alpha, sizeof alpha, "%.9g", static_cast<double>(job.watermark.alpha));
    SetText(mark, "alpha", alpha);
    pugi::xml_node cleanup = node.append_child("Cleanup");
    SetInt(cleanup, "deinterlace", static_cast<int>(job.picture_cleanup.deinterlace));
    SetInt(cleanup, "autoCrop", job.picture_cleanup.auto_crop);
    for (const engine::BatchRow& row : job.items) WriteRow(node.append_child("Item"), row);
}

// --- Reading -------------------------------------------------------------------

// Reads the attributes of one element; the first problem is kept and later
// reads change nothing.
class Reader {
public:
    explicit Reader(std::string* error) : error_(error) {}
    bool failed() const { return !error_->empty(); }
    void Fail(const std::string& why) {
        if (error_->empty()) *error_ = why;
    }

    pugi::xml_node Child(pugi::xml_node node, const char* name) {
        pugi::xml_node child = node.child(name);
        if (!child) Fail(std::string("a <") + node.name() + "> without <" + name + ">");
        return child;
    }

    template <typename T>
    void Int(pugi::xml_node node, const char* name, T* out, int64_t low, int64_t high) {
        if (failed()) return;
        const pugi::xml_attribute attribute = node.attribute(name);
        const char* text = attribute.value();
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(text, &end, 10);
        if (!attribute || end == text || *end != '\0' || errno != 0 || value < low ||
            value > high) {
            Fail(std::string("<") + node.name() + "> " + name + "=\"" + text + "\"");
            return;
        }
        *out = static_cast<T>(value);
    }
    void Flag(pugi::xml_node node, const char* name, bool* out) {
        int value = 0;
        Int(node, name, &value, 0, 1);
        *out = value != 0;
    }
    void Text(pugi::xml_node node, const char* name, std::string* out) {
        if (failed()) return;
        const pugi::xml_attribute attribute = node.attribute(name);
        if (!attribute) Fail(std::string("<") + node.name() + "> without " + name);
        *out = attribute.value();
    }
    template <size_t N>
    void Field(pugi::xml_node node, const char* name, char (&field)[N]) {
        std::string text;
        Text(node, name, &text);
        if (text.size() >= N) Fail(std::string("<") + node.name() + "> " + name + " is too long");
        core::SetField(field, text);
    }

private:
    std::string* error_;
};

constexpr int64_t kInt32Max = INT32_MAX;
constexpr int64_t kLongest = int64_t{100} * 3600 * 1000;  // no title lasts 100 hours

void ReadProfile(Reader& r, pugi::xml_node node, core::OutputProfile* p) {
    *p = core::OutputProfile{};
    r.Int(node, "id", &p->Id, 0, kInt32Max);
    r.Field(node, "ext", p->FormatExt);
    r.Field(node, "name", p->ProfileName);
    r.Field(node, "resolutions", p->Resolutions);
    r.Field(node, "frameRates", p->FrameRates);
    r.Field(node, "videoBitRates", p->VideoBitRates);
    r.Field(node, "audioBitRates", p->AudioBitRates);
    r.Field(node, "sampleRates", p->SampleRates);
    r.Field(node, "channels", p->Channels);
    r.Field(node, "videoCodecs", p->VideoCodecs);
    r.Field(node, "audioCodecs", p->AudioCodecs);
    r.Field(node, "qualities", p->Qualities);
    r.Field(node, "encoderPresets", p->EncoderPresets);
    pugi::xml_node s = r.Child(node, "Settings");
    core::OutputSettings& o = p->Settings;
    r.Int(s, "hasVideo", &o.HasVideo, 0, 1);
    r.Int(s, "width", &o.Width, 0, kInt32Max);
    r.Int(s, "height", &o.Height, 0, kInt32Max);
    r.Int(s, "videoBitRate", &o.VideoBitRate, 0, kInt32Max);
    r.Int(s, "frameRate", &o.FrameRate, 0, kInt32Max);
    r.Field(s, "videoCodec", o.VideoCodecName);
    r.Int(s, "hasAudio", &o.HasAudio, 0, 1);
    r.Int(s, "sampleRate", &o.SampleRate, 0, kInt32Max);
    r.Int(s, "channels", &o.Channel, 0, kInt32Max);
    r.Int(s, "audioBitRate", &o.AudioBitRate, 0, kInt32Max);
    r.Field(s, "audioCodec", o.AudioCodecName);
    r.Int(s, "quality", &o.Quality, core::kEncodersOwnQuality, kInt32Max);
    r.Field(s, "preset", o.EncoderPreset);
    r.Int(s, "aspectX", &o.AspectX, 0, kInt32Max);
    r.Int(s, "aspectY", &o.AspectY, 0, kInt32Max);
    if (r.failed()) return;
    if (const std::string problem = core::OutputSettingsProblem(o); !problem.empty())
        r.Fail("profile \"" + std::string(core::FieldText(p->ProfileName)) + "\": " + problem);
}

void ReadEdit(Reader& r, pugi::xml_node e, core::EditSettings* edit) {
    r.Int(e, "zoom", &edit->zoom_mode, core::kZoomKeepOriginal, core::kZoom4x3);
    r.Int(e, "left", &edit->crop_left, 0, core::kSourceWidth - 1);
    r.Int(e, "top", &edit->crop_top, 0, core::kSourceHeight - 1);
    r.Int(e, "right", &edit->crop_right, edit->crop_left + 1, core::kSourceWidth);
    r.Int(e, "bottom", &edit->crop_bottom, edit->crop_top + 1, core::kSourceHeight);
    r.Int(e, "volume", &edit->volume, 0, 512);
    r.Int(e, "brightness", &edit->brightness, 0, 256);
    r.Int(e, "saturation", &edit->saturation, 0, 128);
    r.Int(e, "hue", &edit->hue_degrees, -180, 180);
    r.Int(e, "spare", &edit->spare, INT32_MIN, kInt32Max);
}

void ReadRow(Reader& r, pugi::xml_node node, engine::BatchRow* row) {
    r.Text(node, "output", &row->output_name);
    if (!r.failed() &&
        (row->output_name.empty() || row->output_name.find('/') != std::string::npos))
        r.Fail("an output name that is no file name: \"" + row->output_name + "\"");
    core::ConvertItem& item = row->item;
    item = core::MakeTitleItem(0, 0);
    r.Int(node, "title", &item.title_index, 0, 98);
    r.Int(node, "chapter", &item.chapter_index, -1, 98);
    r.Int(node, "length", &item.length_ms, 0, kLongest);
    r.Int(node, "trimStart", &item.trim_start_ms, 0, kLongest);
    r.Int(node, "trimLength", &item.trim_length_ms, 0, kLongest);
    ReadEdit(r, r.Child(node, "Edit"), &item.edit);
    pugi::xml_node streams = r.Child(node, "Streams");
    r.Int(streams, "audio", &row->streams.audio_id, 0, 0xffff);
    r.Int(streams, "subtitle", &row->streams.subtitle_id, -1, 0xffff);
    for (pugi::xml_node n : streams.children("FurtherAudio"))
        r.Int(n, "id", &row->streams.further_audio_ids.emplace_back(), 0, 0xffff);
    for (pugi::xml_node n : streams.children("SoftSubtitle"))
        r.Int(n, "id", &row->streams.soft_subtitle_ids.emplace_back(), -1, 0xffff);
    for (pugi::xml_node n : node.children("SoundTrack"))
        r.Text(n, "language", &row->audio_languages.emplace_back());
    for (pugi::xml_node n : node.children("SubtitleTrack")) {
        core::SubtitleTrackFormat& track = row->subtitle_tracks.emplace_back();
        r.Text(n, "language", &track.language);
        r.Int(n, "width", &track.width, 1, 4096);
        r.Int(n, "height", &track.height, 1, 4096);
        std::string palette;
        r.Text(n, "palette", &palette);
        std::istringstream in(palette);
        std::string hex;
        size_t count = 0;
        while (in >> hex) {
            char* end = nullptr;
            const unsigned long rgb = std::strtoul(hex.c_str(), &end, 16);
            if (count == track.palette_rgb.size() || *end != '\0' || hex.size() > 6) break;
            track.palette_rgb[count++] = static_cast<uint32_t>(rgb);
        }
        if (count != track.palette_rgb.size() || in >> hex)
            r.Fail("a subtitle palette that is not 16 colours");
    }
    for (pugi::xml_node n : node.children("Chapter")) {
        core::ChapterMark& mark = row->chapters.emplace_back();
        r.Int(n, "start", &mark.start_ms, 0, kLongest);
        r.Text(n, "title", &mark.title);
    }
}

void ReadJob(Reader& r, pugi::xml_node node, QueuedJob* queued) {
    ConversionJob& job = queued->job;
    r.Int(node, "id", &queued->id, 1, INT64_MAX);
    std::string state;
    r.Text(node, "state", &state);
    bool known = false;
    for (QueueState s : kStates) {
        if (QueueStateName(s) == state) {
            queued->state = s;
            known = true;
        }
    }
    if (!r.failed() && !known) r.Fail("a job in the state \"" + state + "\"");
    pugi::xml_node source = r.Child(node, "Source");
    r.Text(source, "path", &job.source.path);
    for (pugi::xml_node n : source.children("File"))
        r.Text(n, "path", &job.source.files.emplace_back());
    pugi::xml_node output = r.Child(node, "Output");
    std::string folder;
    r.Text(output, "folder", &folder);
    job.output_folder = folder;
    int overwrite = 0;
    r.Int(output, "overwrite", &overwrite, 0, 2);
    job.overwrite = static_cast<engine::OverwritePolicy>(overwrite);
    r.Flag(output, "merge", &job.merge);
    r.Flag(output, "shutDown", &job.shut_down);
    r.Flag(output, "openFolder", &job.open_folder);
    r.Text(output, "storedAction", &job.stored_action);
    r.Int(output, "threads", &job.thread_count, 1, 1024);
    r.Flag(output, "partial", &job.cancelled_file_partial);
    ReadProfile(r, r.Child(node, "Profile"), &job.profile);
    pugi::xml_node mark = r.Child(node, "Watermark");
    r.Text(mark, "text", &job.watermark.text);
    r.Text(mark, "font", &job.watermark.font_family);
    r.Int(mark, "size", &job.watermark.font_size_px, 4, 400);
    r.Int(mark, "colour", &job.watermark.colour, 0, 0xffffff);
    r.Int(mark, "x", &job.watermark.x, INT32_MIN, kInt32Max);
    r.Int(mark, "y", &job.watermark.y, INT32_MIN, kInt32Max);
    std::string alpha;
    r.Text(mark, "alpha", &alpha);
    if (!r.failed()) {
        char* end = nullptr;
        const float value = std::strtof(alpha.c_str(), &end);
        if (end == alpha.c_str() || *end != '\0' || !(value >= 0.0f && value <= 1.0f))
            r.Fail("<Watermark> alpha=\"" + alpha + "\"");
        job.watermark.alpha = value;
    }
    pugi::xml_node cleanup = r.Child(node, "Cleanup");
    int deinterlace = 0;
    r.Int(cleanup, "deinterlace", &deinterlace, 0, 2);
    job.picture_cleanup.deinterlace = static_cast<core::DeinterlaceMode>(deinterlace);
    r.Flag(cleanup, "autoCrop", &job.picture_cleanup.auto_crop);
    for (pugi::xml_node n : node.children("Item")) ReadRow(r, n, &job.items.emplace_back());
    if (!r.failed() && job.items.empty()) r.Fail("a job without items");
}

}  // namespace

std::string_view QueueStateName(QueueState state) {
    switch (state) {
        case QueueState::kWaiting:
            return "waiting";
        case QueueState::kRunning:
            return "running";
        case QueueState::kDone:
            return "done";
        case QueueState::kFailed:
            return "failed";
        case QueueState::kCancelled:
            return "cancelled";
    }
    return "waiting";
}

std::filesystem::path QueueFile(const std::filesystem::path& settings_file) {
    return settings_file.parent_path() / kQueueFileName;
}

std::string WriteQueueText(const std::vector<QueuedJob>& jobs) {
    pugi::xml_document doc;
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node queue = doc.append_child("Queue");
    SetInt(queue, "version", kQueueFileVersion);
    for (const QueuedJob& job : jobs) WriteJob(queue.append_child("Job"), job);
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

bool ReadQueueText(std::string_view text, std::vector<QueuedJob>* jobs, std::string* error) {
    jobs->clear();
    error->clear();
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
    if (!parsed) {
        *error = parsed.description();
        return false;
    }
    const pugi::xml_node queue = doc.child("Queue");
    if (!queue) {
        *error = "no <Queue> element";
        return false;
    }
    Reader r(error);
    int version = 0;
    r.Int(queue, "version", &version, kQueueFileVersion, kQueueFileVersion);
    for (pugi::xml_node node : queue.children("Job")) {
        if (r.failed()) break;
        QueuedJob& job = jobs->emplace_back();
        ReadJob(r, node, &job);
        for (const QueuedJob& other : *jobs)
            if (&other != &job && other.id == job.id) r.Fail("two jobs of one id");
    }
    if (r.failed()) {
        jobs->clear();
        return false;
    }
    return true;
}

}  // namespace rizuvira::app
