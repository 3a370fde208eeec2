// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/xml_navigator.h"

#include <gtest/gtest.h>

#include <string>

namespace rizuvira::core {
namespace {

bool Load(XmlNavigator& nav, const std::string& text) {
    return nav.LoadBuffer(text.data(), text.size());
}

TEST(XmlNavigator, FindsChildrenForwardOnlyAndStaysPutOnFailure) {
    XmlNavigator nav;
    ASSERT_TRUE(Load(nav, "<r><a v='1'/><b v='2'/><a v='3'/><c v='4'/></r>"));
    ASSERT_TRUE(nav.FindChild("b"));
    // Searching for an earlier name fails and does not move the cursor ...
    EXPECT_FALSE(nav.FindChild("x"));
    // ... so the search for "a" still starts after "b".
    ASSERT_TRUE(nav.FindChild("a"));
    ASSERT_TRUE(nav.StepIn());
    EXPECT_EQ(nav.Attribute("v"), "3");
    ASSERT_TRUE(nav.StepOut());
    EXPECT_FALSE(nav.FindChild("a"));
    EXPECT_FALSE(nav.FindChild("b"));
    EXPECT_TRUE(nav.FindChild("c"));

    nav.Reset();
    ASSERT_TRUE(nav.FindChild("a"));
    ASSERT_TRUE(nav.StepIn());
    EXPECT_EQ(nav.Attribute("v"), "1");
}

TEST(XmlNavigator, StepOutLeavesTheChildJustLeftAsCurrent) {
    XmlNavigator nav;
    ASSERT_TRUE(Load(nav, "<r><p n='0'><x/></p><q/><p n='1'/><p n='2'/></r>"));
    std::string seen;
    while (nav.FindChild("p")) {
        ASSERT_TRUE(nav.StepIn());
        seen += nav.Attribute("n");
        if (nav.FindChild("x")) seen += "x";  // searching inside does not disturb the outer walk
        ASSERT_TRUE(nav.StepOut());
    }
    EXPECT_EQ(seen, "0x12");
    EXPECT_EQ(nav.CurrentName(), "r");
    EXPECT_FALSE(nav.StepOut()) << "the root is as far out as the cursor goes";
}

TEST(XmlNavigator, AttributesAreEmptyWhenAbsentAndEntitiesAreExpanded) {
    XmlNavigator nav;
    ASSERT_TRUE(Load(nav, "<r><e a='x &amp; y' b=''/></r>"));
    ASSERT_TRUE(nav.FindChild("e"));
    EXPECT_FALSE(nav.FindChild("e"));
    nav.Reset();
    ASSERT_TRUE(nav.FindChild("e"));
    ASSERT_TRUE(nav.StepIn());
    EXPECT_EQ(nav.Attribute("a"), "x & y");
    EXPECT_EQ(nav.Attribute("b"), "");
    EXPECT_EQ(nav.Attribute("missing"), "");
    EXPECT_EQ(nav.Attribute("A"), "") << "names are case-sensitive";
    EXPECT_FALSE(nav.StepIn()) << "no child found yet inside e";
}

TEST(XmlNavigator, RefusesDocumentsWithoutExactlyOneRoot) {
    XmlNavigator nav;
    EXPECT_FALSE(Load(nav, ""));
    EXPECT_FALSE(Load(nav, "<?xml version='1.0'?><!-- nothing -->"));
    EXPECT_FALSE(Load(nav, "<a/><b/>"));
    EXPECT_FALSE(Load(nav, "<a><b></a>"));
    EXPECT_FALSE(Load(nav, "<a attr=noquotes/>"));
    EXPECT_FALSE(nav.IsLoaded());
    EXPECT_FALSE(nav.FindChild("b"));
    EXPECT_EQ(nav.Attribute("attr"), "");
    EXPECT_FALSE(nav.LoadFile("/nonexistent/dir/file.xml"));
}

TEST(XmlNavigator, DetectsUtf16WithByteOrderMark) {
    const std::u16string text =
        u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><r><e v=\"Caf\u00e9 \u65e5\"/></r>";
    std::string little;
    std::string big;
    for (char16_t unit : text) {
        little += static_cast<char>(unit & 0xFF);
        little += static_cast<char>(unit >> 8);
        big += static_cast<char>(unit >> 8);
        big += static_cast<char>(unit & 0xFF);
    }
    for (const std::string* bytes : {&little, &big}) {
        XmlNavigator nav;
        ASSERT_TRUE(Load(nav, *bytes));
        ASSERT_TRUE(nav.FindChild("e"));
        ASSERT_TRUE(nav.StepIn());
        EXPECT_EQ(nav.Attribute("v"), "Caf\xC3\xA9 \xE6\x97\xA5");
    }
}

TEST(XmlNavigator, ReadsEightBitTextByItsDeclaration) {
    XmlNavigator nav;
    ASSERT_TRUE(Load(nav, "<?xml version='1.0' encoding='ISO-8859-1'?><r><e v='Caf\xE9'/></r>"));
    ASSERT_TRUE(nav.FindChild("e"));
    ASSERT_TRUE(nav.StepIn());
    EXPECT_EQ(nav.Attribute("v"), "Caf\xC3\xA9");
}

}  // namespace
}  // namespace rizuvira::core

namespace rizuvira::core {
namespace {

TEST(ShippedSetXml, NamesTheApplicationAndItsHomePage) {
    XmlNavigator nav;
    ASSERT_TRUE(nav.LoadFile(std::string(RIZUVIRA_SOURCE_DIR) + "/data/Set.xml"));
    ASSERT_TRUE(nav.FindChild("Profile"));
    ASSERT_TRUE(nav.StepIn());
    ASSERT_TRUE(nav.FindChild("Title"));
    ASSERT_TRUE(nav.StepIn());
    EXPECT_EQ(nav.Attribute("value"), "Rizuvira DVD Converter");
    ASSERT_TRUE(nav.StepOut());
    ASSERT_TRUE(nav.FindChild("Url"));
    ASSERT_TRUE(nav.StepIn());
    EXPECT_EQ(nav.Attribute("value").rfind("https://", 0), 0u);
}

}  // namespace
}  // namespace rizuvira::core
