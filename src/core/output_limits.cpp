// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/output_limits.h"

#include <iterator>

namespace rizuvira::core {
namespace {

struct Limit {
    const char* name;
    int64_t low;
    int64_t high;
    bool even;
    const char* unit;  // after the range, in brackets; may be empty
};

// In the order of OutputField.
constexpr Limit kLimits[] = {
    {"Width", 16, 4096, true, "pixels"},
    {"Height", 16, 4096, true, "pixels"},
    {"FrameRate", 1000, 120000, false, "frames per second × 1000"},
    {"VideoBitRate", 1000, 200'000'000, false, "bits per second"},
    {"SampleRate", 8000, 192000, false, "Hz"},
    {"Channel", 1, 8, false, ""},
    {"AudioBitRate", 1000, 2'000'000, false, "bits per second"},
};
static_assert(std::size(kLimits) == static_cast<size_t>(OutputField::kAudioBitRate) + 1);

const Limit& LimitOf(OutputField field) {
    return kLimits[static_cast<size_t>(field)];
}

}  // namespace

const char* OutputFieldName(OutputField field) {
    return LimitOf(field).name;
}

std::string OutputValueProblem(OutputField field, int64_t value) {
    const Limit& limit = LimitOf(field);
    const bool in_range = value >= limit.low && value <= limit.high;
    if (in_range && (!limit.even || value % 2 == 0)) return {};
    std::string text = "must be " + std::string(limit.even ? "an even number " : "") + "from " +
                       std::to_string(limit.low) + " to " + std::to_string(limit.high);
    if (*limit.unit != '\0') text += " (" + std::string(limit.unit) + ")";
    return text;
}

std::string OutputSettingsProblem(const OutputSettings& s) {
    struct Value {
        OutputField field;
        int64_t value;
        bool zero_allowed;
    };
    // A size or frame rate of 0 takes the source's (kSameAsSource).
    const Value video[] = {{OutputField::kWidth, s.Width, true},
                           {OutputField::kHeight, s.Height, true},
                           {OutputField::kFrameRate, s.FrameRate, true},
                           {OutputField::kVideoBitRate, s.VideoBitRate, true}};
    const Value audio[] = {{OutputField::kSampleRate, s.SampleRate, false},
                           {OutputField::kChannels, s.Channel, false},
                           {OutputField::kAudioBitRate, s.AudioBitRate, true}};
    auto first_problem = [](const auto& values) -> std::string {
        for (const Value& v : values) {
            if (v.zero_allowed && v.value == 0) continue;
            if (std::string problem = OutputValueProblem(v.field, v.value); !problem.empty())
                return std::string(OutputFieldName(v.field)) + "=\"" + std::to_string(v.value) +
                       "\": " + problem;
        }
        return {};
    };
    if (s.HasVideo != 0)
        if (std::string problem = first_problem(video); !problem.empty()) return problem;
    if (s.HasAudio != 0) return first_problem(audio);
    return {};
}

}  // namespace rizuvira::core
