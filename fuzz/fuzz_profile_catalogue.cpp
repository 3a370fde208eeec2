// SPDX-License-Identifier: GPL-2.0-or-later
// Fuzz target for the profile catalogue: the bytes become a Format.xml file
// that is loaded as a catalogue; every profile found is then looked up and
// its choice lists are split both ways.
#include "core/choice_list.h"
#include "core/profile_catalogue.h"

#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace rizuvira;

namespace {

// One scratch file per process, removed at exit.
const std::string& ScratchFile() {
    static const std::string path = [] {
        std::string pattern = "/tmp/rizuvira-fuzz-catalogue-XXXXXX";
        int fd = mkstemp(pattern.data());
        if (fd < 0) std::abort();
        close(fd);
        std::atexit([] { std::remove(ScratchFile().c_str()); });
        return pattern;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace rizuvira::core;
    const std::string& path = ScratchFile();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        std::fclose(file);
        return 0;
    }
    std::fclose(file);

    ProfileCatalogue catalogue;
    if (!catalogue.LoadFile(path)) {
        if (catalogue.Size() != 0) std::abort();  // a failed load adds nothing
        return 0;
    }
    const size_t count = catalogue.Size();
    for (size_t id = 0; id < count; ++id) {
        OutputProfile profile;
        if (!catalogue.Find(static_cast<int32_t>(id), profile)) std::abort();
        for (std::string_view list :
             {FieldText(profile.Resolutions), FieldText(profile.FrameRates),
              FieldText(profile.VideoCodecs), FieldText(profile.AudioCodecs)}) {
            for (const std::string& label : ChoiceLabels(list)) {
                const std::string key = ChoiceKeyForLabel(list, label);
                ChoiceLabelForValue(list, key);
            }
        }
    }
    return 0;
}
