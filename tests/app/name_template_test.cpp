// SPDX-License-Identifier: GPL-2.0-or-later
// The file names a conversion request's --name template gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/conversion_request.h"

namespace rizuvira::app {
namespace {

std::string Expand(const std::string& name_template, const NameFields& fields) {
    std::string name, error;
    return ExpandNameTemplate(name_template, fields, &name, &error) ? name : "error: " + error;
}

TEST(NameTemplateTest, FieldsFillInAndWhatAFieldBringsStaysOneName) {
    NameFields fields{"MY_MOVIE", "movie", 3, 0, "Title_03", 7};
    EXPECT_EQ(Expand("{volume}_{item}", fields), "MY_MOVIE_Title_03");
    EXPECT_EQ(Expand("{disc} t{title}c{chapter} p{profile}", fields), "movie t03c p7");
    fields.chapter = 12;
    EXPECT_EQ(Expand("{title}-{chapter}", fields), "03-12");
    // No volume name: the disc's name stands in.
    fields.volume.clear();
    EXPECT_EQ(Expand("{volume}", fields), "movie");
    // A volume name is outside text: it never makes a folder or a hidden file.
    fields.volume = "../a/b\n";
    EXPECT_EQ(Expand("{volume}", fields), "_._a_b_");
}

TEST(NameTemplateTest, MistakesAreRefused) {
    const NameFields fields{"", "movie", 1, 0, "Title_01", 1};
    EXPECT_EQ(Expand("{vol}", fields).rfind("error: no field {vol}", 0), 0u);
    EXPECT_EQ(Expand("{title", fields), "error: a '{' without its '}'");
    EXPECT_EQ(Expand("out/{title}", fields), "error: a name holds no '/'");
    EXPECT_EQ(Expand("{chapter}", fields), "error: the name comes out empty");
}

TEST(NameTemplateTest, DiscNameIsTheFileOrFolderOfTheDisc) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    EXPECT_EQ(DiscFileName("/shelf/Some Movie.iso"), "Some Movie");
    EXPECT_EQ(DiscFileName("/dev/sr0"), "sr0");
    EXPECT_EQ(DiscFileName((folder / "MOVIE" / "VIDEO_TS").string()), "MOVIE");
    EXPECT_EQ(DiscFileName(folder.string() + "/"), folder.filename().string())
        << "a folder keeps its whole name";
}

}  // namespace
}  // namespace rizuvira::app
