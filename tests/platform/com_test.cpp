// SPDX-License-Identifier: GPL-2.0-or-later
// Identifiers, reference counting, the component registry, media types and format layouts.
#include <gtest/gtest.h>

#include <cstddef>
#include <unordered_set>

#include "platform/com.h"
#include "platform/filter_graph.h"
#include "platform/format_types.h"
#include "platform/interfaces.h"
#include "platform/media_type.h"
#include "platform/pos_pass_thru.h"
#include "platform/registry.h"
#include "platform/seeking.h"
#include "platform/uuids.h"

namespace rizuvira::platform {

namespace {

TEST(Guid, TextRoundTrip) {
    const GUID g = "E06D8026-DB46-11CF-B4D1-00805F6CBBEA"_guid;
    EXPECT_EQ(g, MEDIASUBTYPE_MPEG2_VIDEO);
    EXPECT_EQ(GuidToString(g), "{E06D8026-DB46-11CF-B4D1-00805F6CBBEA}");
    EXPECT_EQ(ParseGuid(GuidToString(g)), g);
    // Lower case and missing braces are read too.
    EXPECT_EQ(ParseGuid("e06d8026-db46-11cf-b4d1-00805f6cbbea"), g);
    EXPECT_EQ(g.Data1, 0xE06D8026u);
    EXPECT_EQ(g.Data2, 0xDB46);
    EXPECT_EQ(g.Data4[0], 0xB4);
    EXPECT_EQ(g.Data4[7], 0xEA);
}

TEST(Guid, MalformedTextIsRejected) {
    EXPECT_FALSE(ParseGuid(""));
    EXPECT_FALSE(ParseGuid("{E06D8026-DB46-11CF-B4D1-00805F6CBBEA"));   // unbalanced brace
    EXPECT_FALSE(ParseGuid("E06D8026-DB46-11CF-B4D1-00805F6CBBE"));     // short
    EXPECT_FALSE(ParseGuid("E06D8026DB46-11CF-B4D1-00805F6CBBEA0"));    // dash misplaced
    EXPECT_FALSE(ParseGuid("G06D8026-DB46-11CF-B4D1-00805F6CBBEA"));    // not hex
    EXPECT_FALSE(ParseGuid("[E06D8026-DB46-11CF-B4D1-00805F6CBBEA]"));  // wrong brackets
}

TEST(Guid, OrderingAndHashing) {
    // FOURCC subtypes differ only in Data1; they must still be told apart in hash sets.
    std::unordered_set<GUID> set{MEDIASUBTYPE_YV12, MEDIASUBTYPE_I420, MEDIASUBTYPE_PCM,
                                 MEDIATYPE_Video,   MEDIATYPE_Audio,   GUID_NULL};
    EXPECT_EQ(set.size(), 6u);
    EXPECT_TRUE(set.count(MEDIASUBTYPE_I420));
    EXPECT_FALSE(set.count(MEDIASUBTYPE_IYUV));
    EXPECT_LT(GUID_NULL, MEDIATYPE_Video);
    EXPECT_NE(std::hash<GUID>{}(MEDIASUBTYPE_YV12), std::hash<GUID>{}(MEDIASUBTYPE_I420));
}

TEST(Hresult, StandardValues) {
    EXPECT_EQ(static_cast<std::uint32_t>(E_FAIL), 0x80004005u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_OUTOFMEMORY), 0x8007000Eu);
    EXPECT_EQ(static_cast<std::uint32_t>(VFW_E_TYPE_NOT_ACCEPTED), 0x8004022Au);
    EXPECT_EQ(static_cast<std::uint32_t>(VFW_E_NO_TRANSPORT), 0x80040266u);
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, 0x00040103);
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(SUCCEEDED(VFW_S_NO_MORE_ITEMS));
    EXPECT_TRUE(FAILED(VFW_E_TIMEOUT));
    EXPECT_EQ(EC_COMPLETE, 1);
    EXPECT_EQ(EC_USERABORT, 2);
    EXPECT_EQ(EC_ERRORABORT, 3);
}

// A small object with two interfaces.
struct IFirst : virtual IUnknown {
    static constexpr GUID iid = "11111111-2222-3333-4444-555555555555"_guid;
    virtual int First() = 0;
};
struct ISecond : virtual IUnknown {
    static constexpr GUID iid = "11111111-2222-3333-4444-666666666666"_guid;
    virtual int Second() = 0;
};

class CTwoFaces final : public CUnknown, public IFirst, public ISecond {
public:
    CTwoFaces(IUnknown* outer, HRESULT*) : CUnknown("Two faces", outer) {}
    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override {
        if (riid == IFirst::iid) return GetInterface(static_cast<IFirst*>(this), object);
        if (riid == ISecond::iid) return GetInterface(static_cast<ISecond*>(this), object);
        return CUnknown::NonDelegatingQueryInterface(riid, object);
    }
    int First() override { return 1; }
    int Second() override { return 2; }
    using CUnknown::CurrentReferenceCount;
};

TEST(ComObject, InterfacesShareOneCountAndTheObjectDiesWithTheLastReference) {
    const long before = CUnknown::LiveObjectCount();
    {
        ComPtr<IFirst> first(static_cast<IFirst*>(new CTwoFaces(nullptr, nullptr)));
        EXPECT_EQ(CUnknown::LiveObjectCount(), before + 1);
        ComPtr<ISecond> second;
        ASSERT_EQ(first.As(&second), S_OK);
        EXPECT_EQ(second->Second(), 2);
        // Both interfaces give the same identity.
        EXPECT_EQ(first.As<IUnknown>(), second.As<IUnknown>());
        ComPtr<IMediaSeeking> none;
        EXPECT_EQ(first.As(&none), E_NOINTERFACE);
        EXPECT_FALSE(none);
        ComPtr<IFirst> copy = first;
        first.Reset();
        EXPECT_EQ(CUnknown::LiveObjectCount(), before + 1);
        EXPECT_EQ(copy->First(), 1);
    }
    EXPECT_EQ(CUnknown::LiveObjectCount(), before);
}

TEST(ComObject, AdoptTakesAnExistingReferenceWithoutAddingOne) {
    auto* raw = new CTwoFaces(nullptr, nullptr);
    raw->NonDelegatingAddRef();  // as an out-parameter would carry it
    {
        auto owned = ComPtr<IFirst>::Adopt(static_cast<IFirst*>(raw));
        EXPECT_EQ(raw->CurrentReferenceCount(), 1u);
        ComPtr<IFirst> moved = std::move(owned);
        EXPECT_FALSE(owned);
        EXPECT_EQ(raw->CurrentReferenceCount(), 1u);
    }
}

TEST(ComObject, AggregatedObjectCountsOnItsOwner) {
    auto* owner = new CTwoFaces(nullptr, nullptr);
    ComPtr<IFirst> hold(static_cast<IFirst*>(owner));
    {
        HRESULT hr = S_OK;
        // No input pin: every seeking call answers E_NOTIMPL, but the counting is the owner's.
        auto inner =
            std::make_unique<CPosPassThru>("Inner", static_cast<IFirst*>(owner), &hr, nullptr);
        EXPECT_EQ(hr, E_POINTER);
        void* raw = nullptr;
        ASSERT_EQ(inner->NonDelegatingQueryInterface(IMediaSeeking::iid, &raw), S_OK);
        EXPECT_EQ(owner->CurrentReferenceCount(), 2u);
        auto seeking = ComPtr<IMediaSeeking>::Adopt(static_cast<IMediaSeeking*>(raw));
        LONGLONG duration = 0;
        EXPECT_EQ(seeking->GetDuration(&duration), E_NOTIMPL);
        // Asking the inner object for another interface asks the owner.
        ComPtr<ISecond> second;
        EXPECT_EQ(seeking.As(&second), S_OK);
        second.Reset();
        seeking.Reset();
        EXPECT_EQ(owner->CurrentReferenceCount(), 1u);
    }
}

constexpr GUID kTestClass = "AAAAAAAA-0000-0000-0000-000000000001"_guid;
constexpr GUID kOtherClass = "AAAAAAAA-0000-0000-0000-000000000002"_guid;

TEST(ComponentRegistry, CreatesRegisteredClassesAndRefusesOthers) {
    auto& registry = ComponentRegistry::Instance();
    ASSERT_EQ(registry.Register(
                  {kTestClass, "Two faces", MERIT_DO_NOT_USE, CreateComponentInstance<CTwoFaces>}),
              S_OK);
    ComPtr<ISecond> second;
    EXPECT_EQ(CoCreateInstance(kTestClass, &second), S_OK);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->Second(), 2);

    ComPtr<IMediaSeeking> wrong;
    EXPECT_EQ(CoCreateInstance(kTestClass, &wrong), E_NOINTERFACE);
    ComPtr<IFirst> missing;
    EXPECT_EQ(CoCreateInstance(kOtherClass, &missing), REGDB_E_CLASSNOTREG);

    EXPECT_EQ(registry.Unregister(kTestClass), S_OK);
    EXPECT_EQ(registry.Unregister(kTestClass), S_FALSE);
    EXPECT_EQ(CoCreateInstance(kTestClass, &second), REGDB_E_CLASSNOTREG);
}

TEST(ComponentRegistry, ListsByMeritAndKnowsTheGraph) {
    auto& registry = ComponentRegistry::Instance();
    registry.Register({kTestClass, "Low", MERIT_UNLIKELY, CreateComponentInstance<CTwoFaces>});
    registry.Register({kOtherClass, "High", MERIT_PREFERRED, CreateComponentInstance<CTwoFaces>});
    std::vector<std::string> order;
    for (const auto& c : registry.Components())
        if (c.clsid == kTestClass || c.clsid == kOtherClass) order.push_back(c.name);
    EXPECT_EQ(order, (std::vector<std::string>{"High", "Low"}));
    registry.Unregister(kTestClass);
    registry.Unregister(kOtherClass);

    ComPtr<IGraphBuilder> graph;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, &graph), S_OK);
    EXPECT_TRUE(graph);
}

TEST(MediaType, CopyOwnsItsFormatBlock) {
    CMediaType original(MEDIATYPE_Audio);
    original.SetSubtype(&MEDIASUBTYPE_PCM);
    original.SetFormatType(&FORMAT_WaveFormatEx);
    auto* wfx = reinterpret_cast<WAVEFORMATEX*>(original.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    wfx->nChannels = 2;
    wfx->nSamplesPerSec = 48000;

    CMediaType copy = original;
    EXPECT_TRUE(copy == original);
    ASSERT_NE(copy.Format(), original.Format());
    copy.FormatAs<WAVEFORMATEX>()->nSamplesPerSec = 44100;
    EXPECT_FALSE(copy == original);  // format bytes count in the comparison
    EXPECT_EQ(original.FormatAs<WAVEFORMATEX>()->nSamplesPerSec, 48000u);

    CMediaType moved = std::move(copy);
    EXPECT_EQ(copy.Format(), nullptr);
    EXPECT_EQ(moved.FormatLength(), sizeof(WAVEFORMATEX));

    AM_MEDIA_TYPE* task = CreateMediaType(&original);
    ASSERT_NE(task, nullptr);
    EXPECT_TRUE(original == *task);
    DeleteMediaType(task);
}

TEST(MediaType, ComparisonCoversEveryPart) {
    const CMediaType base(MEDIATYPE_Video);
    CMediaType other = base;
    other.SetSubtype(&MEDIASUBTYPE_YV12);
    EXPECT_FALSE(base == other);
    other = base;
    other.SetFormatType(&FORMAT_VideoInfo);
    EXPECT_FALSE(base == other);
    other = base;
    BYTE one = 1;
    other.SetFormat(&one, 1);
    EXPECT_FALSE(base == other);
    // Sample size and flags are not part of the identity.
    other = base;
    other.SetSampleSize(0);
    EXPECT_TRUE(base == other);
}

TEST(MediaType, PartialTypesMatchOnTheirNonNullParts) {
    CMediaType full(MEDIATYPE_Video);
    full.SetSubtype(&MEDIASUBTYPE_YV12);
    full.SetFormatType(&FORMAT_VideoInfo);
    full.AllocFormatBuffer(sizeof(VIDEOINFOHEADER));
    EXPECT_FALSE(full.IsPartiallySpecified());

    CMediaType partial(MEDIATYPE_Video);
    EXPECT_TRUE(partial.IsPartiallySpecified());
    EXPECT_TRUE(full.MatchesPartial(&partial));
    partial.SetSubtype(&MEDIASUBTYPE_I420);
    EXPECT_FALSE(full.MatchesPartial(&partial));
    const CMediaType wildcards;
    EXPECT_TRUE(full.MatchesPartial(&wildcards));
}

TEST(MediaType, FormatAccessIsBoundsChecked) {
    CMediaType mt(MEDIATYPE_Video);
    mt.SetFormatType(&FORMAT_VideoInfo);
    mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER) - 1);  // one byte short
    EXPECT_EQ(mt.FormatAs<VIDEOINFOHEADER>(), nullptr);
    EXPECT_EQ(GetBitmapInfoHeader(mt), nullptr);

    mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER));
    mt.FormatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth = 720;
    ASSERT_NE(GetBitmapInfoHeader(mt), nullptr);
    EXPECT_EQ(GetBitmapInfoHeader(mt)->biWidth, 720);

    // The version-2 headers put the bitmap header at another offset.
    mt.SetFormatType(&FORMAT_MPEG2Video);
    mt.AllocFormatBuffer(static_cast<ULONG>(SizeMpeg2VideoInfo(8)));
    mt.FormatAs<MPEG2VIDEOINFO>()->hdr.bmiHeader.biHeight = 576;
    EXPECT_EQ(GetBitmapInfoHeader(mt)->biHeight, 576);

    mt.SetFormatType(&FORMAT_WaveFormatEx);
    EXPECT_EQ(GetBitmapInfoHeader(mt), nullptr);

    // Growing keeps the leading bytes.
    CMediaType grow(MEDIATYPE_Audio);
    BYTE bytes[2] = {7, 9};
    grow.SetFormat(bytes, 2);
    grow.ReallocFormatBuffer(4);
    EXPECT_EQ(grow.Format()[1], 9);
    EXPECT_EQ(grow.Format()[3], 0);
}

TEST(FormatLayout, FieldOffsetsMatchTheWindowsLayout) {
    EXPECT_EQ(offsetof(BITMAPINFOHEADER, biSizeImage), 20u);
    EXPECT_EQ(offsetof(VIDEOINFOHEADER, AvgTimePerFrame), 40u);
    EXPECT_EQ(offsetof(VIDEOINFOHEADER2, dwPictAspectRatioX), 56u);
    EXPECT_EQ(offsetof(MPEG2VIDEOINFO, dwProfile), 120u);
    EXPECT_EQ(offsetof(WAVEFORMATEX, nSamplesPerSec), 4u);
    EXPECT_EQ(offsetof(WAVEFORMATEX, cbSize), 16u);
    EXPECT_EQ(offsetof(MPEG1WAVEFORMAT, fwHeadLayer), 18u);
    EXPECT_EQ(offsetof(MPEG1WAVEFORMAT, dwHeadBitrate), 20u);
    EXPECT_EQ(offsetof(MPEG1WAVEFORMAT, dwPTSHigh), 36u);
    EXPECT_EQ(SizeMpeg1VideoInfo(12), 108u);
    EXPECT_EQ(MakeFourCC('Y', 'V', '1', '2'), MEDIASUBTYPE_YV12.Data1);
}

}  // namespace

}  // namespace rizuvira::platform
