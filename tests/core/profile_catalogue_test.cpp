// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/profile_catalogue.h"
#include "core/choice_list.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace rizuvira::core {
namespace {

namespace fs = std::filesystem;

// A scratch folder removed at the end of the test.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "rizuvira-cat-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path Write(const std::string& name, const std::string& bytes) const {
        fs::path file = path_ / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

bool LoadText(ProfileCatalogue& catalogue, const std::string& text) {
    return catalogue.LoadBuffer(text.data(), text.size());
}

OutputProfile LoadOne(const std::string& profile_body) {
    ProfileCatalogue catalogue;
    EXPECT_TRUE(LoadText(catalogue, "<Formats><Profile>" + profile_body + "</Profile></Formats>"));
    OutputProfile profile{};
    EXPECT_TRUE(catalogue.Find(0, profile));
    return profile;
}

constexpr const char* kVideoPart =
    "<VideoCodecName value='libx264'/><Width value='720'/><Height value='480'/>"
    "<FrameRate value='29970'/><VideoBitRate value='2000000'/>";
constexpr const char* kAudioPart =
    "<AudioCodecName value='aac'/><SampleRate value='48000'/><AudioBitRate value='128000'/>"
    "<Channel value='2'/>";
constexpr const char* kVideoLists =
    "<Resolutions value='720*480'/><FrameRates value='29970'/><VideoCodecs value='libx264'/>"
    "<VideoBitRates value='2000000'/>";
constexpr const char* kAudioLists =
    "<SampleRates value='48000'/><Channels value='2'/><AudioCodecs value='aac'/>"
    "<AudioBitRates value='128000'/>";

std::string FullProfile(const std::string& name) {
    return "<ProfileName value='" + name + "'/><FormatExt value='.mp4'/>" + kVideoPart +
           kAudioPart + kVideoLists + kAudioLists;
}

TEST(ProfileCatalogue, NumbersProfilesInDocumentOrderAndSkipsOtherChildren) {
    ProfileCatalogue catalogue;
    ASSERT_TRUE(LoadText(catalogue, "<AnyRoot><Profile>" + FullProfile("zero") +
                                        "</Profile><Other/>"
                                        "<Profile>" +
                                        FullProfile("one") +
                                        "</Profile><!-- c -->"
                                        "<Profile/></AnyRoot>"));
    ASSERT_EQ(catalogue.Size(), 3u);
    std::string names;
    int expected_id = 0;
    for (const OutputProfile& p : catalogue.Iterate()) {
        EXPECT_EQ(p.Id, expected_id++);
        names += std::string(FieldText(p.ProfileName)) + ";";
    }
    EXPECT_EQ(names, "zero;one;;");

    OutputProfile one{};
    ASSERT_TRUE(catalogue.Find(1, one));
    EXPECT_EQ(FieldText(one.ProfileName), "one");
    EXPECT_EQ(FieldText(one.FormatExt), ".mp4");
    EXPECT_EQ(one.Settings.HasVideo, 1);
    EXPECT_EQ(one.Settings.HasAudio, 1);
    EXPECT_EQ(one.Settings.Width, 720);
    EXPECT_EQ(one.Settings.FrameRate, 29970);
    EXPECT_EQ(FieldText(one.Settings.VideoCodecName), "libx264");
    EXPECT_EQ(one.Settings.SampleRate, 48000);
    EXPECT_EQ(one.Settings.AudioBitRate, 128000);

    // An unknown id leaves the caller's record untouched.
    OutputProfile untouched{};
    untouched.Id = 77;
    EXPECT_FALSE(catalogue.Find(3, untouched));
    EXPECT_EQ(untouched.Id, 77);

    // The empty profile is kept, with nothing in it and both flags cleared.
    OutputProfile empty{};
    ASSERT_TRUE(catalogue.Find(2, empty));
    EXPECT_EQ(empty.Settings.HasVideo, 0);
    EXPECT_EQ(empty.Settings.HasAudio, 0);
    EXPECT_EQ(FieldText(empty.ProfileName), "");

    catalogue.Clear();
    EXPECT_EQ(catalogue.Size(), 0u);
    EXPECT_FALSE(catalogue.Find(0, untouched));
}

TEST(ProfileCatalogue, ReadsElementsInTheirFixedOrderOnly) {
    // Height stands before Width: after Width is found, the search for Height
    // goes on after it and finds nothing.
    OutputProfile p = LoadOne(std::string("<VideoCodecName value='mpeg4'/><Height value='480'/>"
                                          "<Width value='640'/><FrameRate value='25000'/>"
                                          "<VideoBitRate value='1'/>") +
                              kAudioPart + kVideoLists + kAudioLists);
    EXPECT_EQ(p.Settings.Width, 640);
    EXPECT_EQ(p.Settings.Height, 0);
    EXPECT_EQ(p.Settings.HasVideo, 0);
    EXPECT_EQ(p.Settings.FrameRate, 25000) << "later elements are still read";
    EXPECT_EQ(p.Settings.HasAudio, 1);

    // FormatExt before ProfileName: the name is read, the extension is not.
    p = LoadOne("<FormatExt value='.avi'/><ProfileName value='n'/>");
    EXPECT_EQ(FieldText(p.ProfileName), "n");
    EXPECT_EQ(FieldText(p.FormatExt), "");

    // A list moved to the front is passed over by every later search.
    p = LoadOne("<Resolutions value='720*480'/>" + FullProfile("x"));
    EXPECT_EQ(FieldText(p.ProfileName), "x");
    EXPECT_EQ(FieldText(p.Resolutions), "720*480") << "the copy at the end is read";
    p = LoadOne(std::string("<AudioBitRates value='9'/>") + kVideoPart + kAudioPart + kVideoLists +
                "<SampleRates value='48000'/><Channels value='2'/><AudioCodecs value='aac'/>");
    EXPECT_EQ(p.Settings.HasAudio, 0);
    EXPECT_EQ(FieldText(p.AudioBitRates), "");
    EXPECT_EQ(p.Settings.HasVideo, 1);
}

TEST(ProfileCatalogue, ReadsIntegersByTheirLeadingDigits) {
    auto width_of = [](const std::string& width_element) {
        return LoadOne(std::string("<VideoCodecName value='mpeg4'/>") + width_element +
                       "<Height value='480'/><FrameRate value='25000'/><VideoBitRate value='1'/>" +
                       kVideoLists)
            .Settings;
    };
    EXPECT_EQ(width_of("<Width value='720abc'/>").Width, 720);
    EXPECT_EQ(width_of("<Width value='  +64'/>").Width, 64);
    EXPECT_EQ(width_of("<Width value='-32x'/>").Width, -32);
    EXPECT_EQ(width_of("<Width value='99999999999999'/>").Width, 2147483647);
    EXPECT_EQ(width_of("<Width value='-99999999999999'/>").Width, -2147483647 - 1);

    // Letters only, or no value attribute: 0, and the stream stays on since
    // the element is present.
    for (const char* element : {"<Width value='abc'/>", "<Width/>", "<Width value=''/>"}) {
        OutputSettings s = width_of(element);
        EXPECT_EQ(s.Width, 0) << element;
        EXPECT_EQ(s.HasVideo, 1) << element;
    }
    // Absent: 0 and the stream is off.
    OutputSettings s = width_of("");
    EXPECT_EQ(s.Width, 0);
    EXPECT_EQ(s.HasVideo, 0);
    EXPECT_EQ(s.Height, 480);
}

TEST(ProfileCatalogue, ClearsStreamFlagsForMissingOrEmptyParts) {
    OutputProfile p =
        LoadOne(std::string("<VideoCodecName value=''/><Width value='1'/><Height value='1'/>"
                            "<FrameRate value='1'/><VideoBitRate value='1'/>") +
                kAudioPart + kVideoLists + kAudioLists);
    EXPECT_EQ(p.Settings.HasVideo, 0) << "an empty codec name means no video";
    EXPECT_EQ(p.Settings.HasAudio, 1);

    p = LoadOne(std::string(kVideoPart) + kVideoLists);
    EXPECT_EQ(p.Settings.HasVideo, 1);
    EXPECT_EQ(p.Settings.HasAudio, 0) << "no audio part: video-only profile";

    p = LoadOne(std::string(kVideoPart) + kAudioPart + kVideoLists +
                "<SampleRates value='48000'/><AudioCodecs value='aac'/><AudioBitRates value='1'/>");
    EXPECT_EQ(p.Settings.HasVideo, 1);
    EXPECT_EQ(p.Settings.HasAudio, 0) << "a missing Channels list clears the audio flag";
    EXPECT_EQ(p.Settings.Channel, 2);

    // Channel (count) and Channels (list) are different elements.
    p = LoadOne(std::string(kVideoPart) + kVideoLists +
                "<AudioCodecName value='aac'/>"
                "<SampleRate value='1'/><AudioBitRate value='1'/><Channels value='1$Mono'/>");
    EXPECT_EQ(p.Settings.Channel, 0);
    EXPECT_EQ(p.Settings.HasAudio, 0);
    EXPECT_EQ(FieldText(p.Channels), "1$Mono");
}

TEST(ProfileCatalogue, CutsOverlongTextAtItsFieldWithoutTouchingNeighbours) {
    const std::string long_name(300, 'n');
    std::string accents;
    for (int i = 0; i < 100; ++i) accents += "\xC3\xA9";  // é, two bytes each
    OutputProfile p = LoadOne("<ProfileName value='" + long_name +
                              "'/><FormatExt value='.abcdefghijk'/>"
                              "<VideoCodecName value='averyveryverylongcodecname'/>"
                              "<Resolutions value='" +
                              accents + "'/>");
    EXPECT_EQ(FieldText(p.ProfileName), long_name.substr(0, 159));
    EXPECT_EQ(FieldText(p.FormatExt), ".abcdef");
    EXPECT_EQ(p.FormatExt[7], '\0');
    EXPECT_EQ(FieldText(p.Settings.VideoCodecName), "averyveryverylo");
    // 127 bytes would split the 64th "é": the cut backs up to 126 bytes.
    EXPECT_EQ(FieldText(p.Resolutions), accents.substr(0, 126));
    EXPECT_EQ(FieldText(p.FrameRates), "") << "the next field is untouched";
    EXPECT_EQ(p.Settings.Width, 0);
}

TEST(ProfileCatalogue, FailedLoadsAddNothing) {
    ProfileCatalogue catalogue;
    ASSERT_TRUE(LoadText(catalogue, "<r><Profile/></r>"));
    ScratchDir dir;
    EXPECT_FALSE(catalogue.LoadFile(dir.path() / "missing.xml"));
    EXPECT_FALSE(catalogue.LoadFile(dir.Write("empty.xml", "")));
    EXPECT_FALSE(
        catalogue.LoadFile(dir.Write("cut.xml", "<r><Profile><Width value='1'/></Profile>")));
    EXPECT_FALSE(catalogue.LoadFile(dir.Write("two.xml", "<r><Profile/></r><r><Profile/></r>")));
    EXPECT_FALSE(catalogue.LoadFile(dir.Write("none.xml", "<?xml version='1.0'?>")));
    EXPECT_FALSE(catalogue.LoadFile(dir.path()));
    EXPECT_EQ(catalogue.Size(), 1u);
    // A second good load appends, numbering its profiles from 0 again.
    ASSERT_TRUE(catalogue.LoadFile(dir.Write("good.xml", "<r><Profile/><Profile/></r>")));
    EXPECT_EQ(catalogue.Size(), 3u);
}

TEST(ProfileCatalogue, LoadReadsFormatXmlFromTheCurrentDirectory) {
    ScratchDir dir;
    // UTF-16 little-endian with a byte-order mark, and a non-ASCII name.
    std::u16string text =
        u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Formats><Profile>"
        u"<ProfileName value=\"Vid\u00e9o\"/><FormatExt value=\".mkv\"/>"
        u"</Profile></Formats>";
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    dir.Write("Format.xml", bytes);
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    ProfileCatalogue catalogue;
    const bool loaded = catalogue.Load();
    fs::current_path(previous);
    ASSERT_TRUE(loaded);
    OutputProfile p{};
    ASSERT_TRUE(catalogue.Find(0, p));
    EXPECT_EQ(FieldText(p.ProfileName), "Vid\xC3\xA9o");
    EXPECT_EQ(FieldText(p.FormatExt), ".mkv");
}

TEST(ChoiceList, LabelsKeysAndValues) {
    const std::string labelled = "mpeg4$MPEG-4 Video,libx264$H.264";
    EXPECT_EQ(ChoiceLabels(labelled), (std::vector<std::string>{"MPEG-4 Video", "H.264"}));
    EXPECT_EQ(ChoiceLabelForValue(labelled, "libx264"), "H.264");
    EXPECT_EQ(ChoiceKeyForLabel(labelled, "H.264"), "libx264");
    EXPECT_EQ(ChoiceKeyForLabel(labelled, "libx264"), "") << "a key is not a label";
    EXPECT_EQ(ChoiceLabelForValue(labelled, "LIBX264"), "") << "comparisons are exact";

    const std::string plain = "mpeg4,libx264,";
    EXPECT_EQ(ChoiceLabels(plain), (std::vector<std::string>{"mpeg4", "libx264"}))
        << "the empty tail after the last comma is no entry";
    EXPECT_EQ(ChoiceLabelForValue(plain, "libx264"), "libx264");
    EXPECT_EQ(ChoiceLabelForValue(plain, "libx265"), "");
    EXPECT_EQ(ChoiceLabelForValue(plain, ""), "");
    EXPECT_EQ(ChoiceKeyForLabel(plain, "mpeg4"), "mpeg4");

    // Only the first "$" splits; blanks are kept; the first match wins.
    const std::string odd = "1$a$b, 2$Two,2$Second,3";
    EXPECT_EQ(ChoiceLabels(odd), (std::vector<std::string>{"a$b", "Two", "Second", "3"}));
    EXPECT_EQ(ChoiceLabelForValue(odd, "1"), "a$b");
    EXPECT_EQ(ChoiceLabelForValue(odd, "2"), "Second");
    EXPECT_EQ(ChoiceLabelForValue(odd, " 2"), "Two");
    EXPECT_EQ(ChoiceKeyForLabel(odd, "a$b"), "1");
    EXPECT_TRUE(ChoiceLabels("").empty());
}

TEST(ProfileCatalogue, SourceValuesQualityAndSpeedReadAfterTheOlderElements) {
    const OutputProfile p =
        LoadOne(std::string("<VideoCodecName value='libx264'/><Width value='source'/>"
                            "<Height value='source'/><FrameRate value='source'/>"
                            "<VideoBitRate value='2000000'/>") +
                kAudioPart + kVideoLists +
                "<Quality value='20'/><EncoderPreset value='fast'/>"
                "<Qualities value='0$Bit rate,20$CRF 20'/><EncoderPresets value='fast,medium'/>");
    EXPECT_EQ(p.Settings.HasVideo, 1);
    EXPECT_TRUE(TakesSourceSize(p.Settings));
    EXPECT_TRUE(TakesSourceFrameRate(p.Settings));
    EXPECT_EQ(p.Settings.Quality, 20);
    EXPECT_EQ(FieldText(p.Settings.EncoderPreset), "fast");
    EXPECT_EQ(FieldText(p.Qualities), "0$Bit rate,20$CRF 20");
    EXPECT_EQ(FieldText(p.EncoderPresets), "fast,medium");

    // A profile written before them codes to its bit rate at the encoder's own speed.
    const OutputProfile old = LoadOne(std::string(kVideoPart) + kAudioPart + kVideoLists);
    EXPECT_EQ(old.Settings.HasVideo, 1);
    EXPECT_EQ(old.Settings.Width, 720);
    EXPECT_EQ(old.Settings.Quality, 0);
    EXPECT_EQ(FieldText(old.Settings.EncoderPreset), "");
}

TEST(OutputSettings, SourceValuesResolveToTheSourcesPictureAndRate) {
    OutputSettings s{};
    s.HasVideo = 1;
    const SourcePicture pal{720, 576, 16, 9, 25000};
    OutputSettings r = ResolveSourceValues(s, pal);
    EXPECT_EQ(r.Width, 720);
    EXPECT_EQ(r.Height, 576);
    EXPECT_EQ(r.FrameRate, 25000);
    EXPECT_EQ(r.AspectX, 16);
    EXPECT_EQ(r.AspectY, 9);
    // An odd crop is cut to even sides; its aspect is reduced.
    r = ResolveSourceValues(s, {703, 431, 1406, 862, 23976});
    EXPECT_EQ(r.Width, 702);
    EXPECT_EQ(r.Height, 430);
    EXPECT_EQ(r.AspectX, 703);
    EXPECT_EQ(r.AspectY, 431);
    // A source that shows nothing leaves a size and rate the writer takes.
    r = ResolveSourceValues(s, {});
    EXPECT_EQ(r.Width, 720);
    EXPECT_EQ(r.Height, 480);
    EXPECT_EQ(r.FrameRate, 29970);
    EXPECT_EQ(r.AspectX, 0);
    // Fixed values stay, with square pixels.
    s.Width = 640;
    s.Height = 360;
    s.FrameRate = 30000;
    r = ResolveSourceValues(s, pal);
    EXPECT_EQ(r, s);

    EXPECT_EQ(FrameRateForPeriod(417083), 23976);
    EXPECT_EQ(FrameRateForPeriod(333667), 29970);
    EXPECT_EQ(FrameRateForPeriod(400000), 25000);
    EXPECT_EQ(FrameRateForPeriod(166833), 59940);
    EXPECT_EQ(FrameRateForPeriod(0), 0);
}

// The shipped catalogue: every list holds the profile's own values, and no
// text was cut to fit its field.
TEST(ShippedCatalogue, ProfilesAreCompleteAndConsistent) {
    const fs::path file = fs::path(RIZUVIRA_SOURCE_DIR) / "data" / "Format.xml";
    ProfileCatalogue catalogue;
    ASSERT_TRUE(catalogue.LoadFile(file));
    ASSERT_GE(catalogue.Size(), 16u);

    OutputProfile first{};
    ASSERT_TRUE(catalogue.Find(1, first));
    EXPECT_EQ(FieldText(first.FormatExt), ".mp4");
    EXPECT_EQ(FieldText(first.Settings.VideoCodecName), "libx264");
    EXPECT_EQ(FieldText(first.Settings.AudioCodecName), "aac");

    // The general profiles keep the source's size and rate and code by quality; the ones of
    // a fixed standard keep theirs.
    for (int32_t id : {1, 2, 3, 4, 5, 19, 20}) {
        OutputProfile p{};
        ASSERT_TRUE(catalogue.Find(id, p));
        EXPECT_TRUE(TakesSourceSize(p.Settings) && TakesSourceFrameRate(p.Settings)) << id;
        EXPECT_GT(p.Settings.Quality, 0) << id;
    }
    for (int32_t id : {8, 9, 10, 11, 12}) {
        OutputProfile p{};
        ASSERT_TRUE(catalogue.Find(id, p));
        EXPECT_GT(p.Settings.Width, 0) << id;
        EXPECT_GT(p.Settings.FrameRate, 0) << id;
        EXPECT_EQ(p.Settings.Quality, 0) << id;
    }

    std::ifstream in(file);
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const OutputProfile& p : catalogue.Iterate()) {
        SCOPED_TRACE(std::string(FieldText(p.ProfileName)));
        const OutputSettings& s = p.Settings;
        EXPECT_FALSE(FieldText(p.ProfileName).empty());
        EXPECT_EQ(FieldText(p.FormatExt).substr(0, 1), ".");
        EXPECT_TRUE(s.HasAudio) << "every shipped profile has sound";
        for (std::string_view text :
             {FieldText(p.ProfileName), FieldText(p.Resolutions), FieldText(p.FrameRates),
              FieldText(p.VideoBitRates), FieldText(p.AudioBitRates), FieldText(p.SampleRates),
              FieldText(p.Channels), FieldText(p.VideoCodecs), FieldText(p.AudioCodecs),
              FieldText(p.Qualities), FieldText(p.EncoderPresets)}) {
            if (text.empty()) continue;  // no video lists in sound-only profiles
            EXPECT_NE(raw.find("value=\"" + std::string(text) + "\""), std::string::npos)
                << "cut to fit its field: " << text;
        }
        if (s.HasVideo) {
            const std::string size = TakesSourceSize(s)
                                         ? std::string("Same as source")
                                         : std::to_string(s.Width) + "*" + std::to_string(s.Height);
            EXPECT_NE(ChoiceKeyForLabel(FieldText(p.Resolutions), size), "") << size;
            EXPECT_NE(ChoiceLabelForValue(FieldText(p.FrameRates),
                                          TakesSourceFrameRate(s) ? std::string(kSameAsSourceKey)
                                                                  : std::to_string(s.FrameRate)),
                      "");
            if (!FieldText(p.Qualities).empty()) {
                EXPECT_NE(ChoiceLabelForValue(FieldText(p.Qualities), std::to_string(s.Quality)),
                          "");
            }
            if (!FieldText(p.EncoderPresets).empty()) {
                EXPECT_NE(
                    ChoiceLabelForValue(FieldText(p.EncoderPresets), FieldText(s.EncoderPreset)),
                    "");
            }
            EXPECT_NE(ChoiceLabelForValue(FieldText(p.VideoCodecs), FieldText(s.VideoCodecName)),
                      "");
            EXPECT_NE(
                ChoiceLabelForValue(FieldText(p.VideoBitRates), std::to_string(s.VideoBitRate)),
                "");
        }
        EXPECT_NE(ChoiceLabelForValue(FieldText(p.SampleRates), std::to_string(s.SampleRate)), "");
        EXPECT_NE(ChoiceLabelForValue(FieldText(p.Channels), std::to_string(s.Channel)), "");
        EXPECT_NE(ChoiceLabelForValue(FieldText(p.AudioCodecs), FieldText(s.AudioCodecName)), "");
        EXPECT_NE(ChoiceLabelForValue(FieldText(p.AudioBitRates), std::to_string(s.AudioBitRate)),
                  "");
    }
}

}  // namespace
}  // namespace rizuvira::core
