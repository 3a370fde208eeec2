// SPDX-License-Identifier: GPL-2.0-or-later
// The video converter: geometry of each zoom mode, crop/pad/scale through the pipeline,
// the picture adjustments and the watermark.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "filter_chain.h"
#include "filters/picture_adjust.h"
#include "filters/text_raster.h"
#include "filters/video_conv_filter.h"
#include "filters/video_geometry.h"

namespace rizuvira::filters {

// fontconfig keeps a few bytes of its parsed configuration unreachable after loading it; that
// is the library's, not a leak of the watermark code.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

// A contiguous YV12 picture: luma, then Cr, then Cb.
struct Yv12 {
    int width;
    int height;
    std::vector<BYTE> bytes;

    Yv12(int w, int h) : width(w), height(h), bytes(static_cast<std::size_t>(PictureBytes(w, h))) {}
    Yv12(int w, int h, std::vector<BYTE> data) : width(w), height(h), bytes(std::move(data)) {
        EXPECT_EQ(bytes.size(), static_cast<std::size_t>(PictureBytes(w, h)));
    }
    int cw() const { return (width + 1) / 2; }
    int ch() const { return (height + 1) / 2; }
    BYTE& Y(int x, int y) { return bytes[static_cast<std::size_t>(y * width + x)]; }
    BYTE& Cr(int x, int y) {
        return bytes[static_cast<std::size_t>(width * height + y * cw() + x)];
    }
    BYTE& Cb(int x, int y) {
        return bytes[static_cast<std::size_t>(width * height + cw() * ch() + y * cw() + x)];
    }
};

Yv12 Uniform(int w, int h, BYTE y, BYTE cr, BYTE cb) {
    Yv12 p(w, h);
    std::fill_n(p.bytes.begin(), w * h, y);
    std::fill_n(p.bytes.begin() + w * h, p.cw() * p.ch(), cr);
    std::fill_n(p.bytes.begin() + w * h + p.cw() * p.ch(), p.cw() * p.ch(), cb);
    return p;
}

Yv12 Noise(int w, int h, unsigned seed) {
    Yv12 p(w, h);
    std::mt19937 random(seed);
    for (BYTE& b : p.bytes) b = static_cast<BYTE>(random());
    return p;
}

CMyVideoConveFilter* NewFilter() {
    HRESULT hr = E_FAIL;
    CMyVideoConveFilter* filter = CMyVideoConveFilter::CreateInstance(nullptr, &hr);
    EXPECT_EQ(hr, S_OK);
    return filter;
}

using VideoChain = FilterChain<CMyVideoConveFilter>;

// A YV12 type with a VideoInfo2 block declaring the display aspect x:y.
CMediaType VideoInfo2Type(LONG width, LONG height, DWORD aspect_x, DWORD aspect_y) {
    CMediaType mt(MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_YV12);
    mt.SetFormatType(&FORMAT_VideoInfo2);
    auto* info =
        reinterpret_cast<VIDEOINFOHEADER2*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
    info->AvgTimePerFrame = 400000;
    info->dwPictAspectRatioX = aspect_x;
    info->dwPictAspectRatioY = aspect_y;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 3;
    info->bmiHeader.biBitCount = 12;
    info->bmiHeader.biCompression = MakeFourCC('Y', 'V', '1', '2');
    info->bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 3 / 2);
    mt.SetSampleSize(info->bmiHeader.biSizeImage);
    return mt;
}

// Runs one picture through a filter configured by `configure`; returns the output picture.
Yv12 Convert(const Yv12& input, int out_width, int out_height,
             const std::function<void(CMyVideoConveFilter*)>& configure) {
    VideoChain chain(NewFilter(), harness::MakeVideoType(input.width, input.height),
                     static_cast<LONG>(input.bytes.size()));
    configure(chain.filter());
    EXPECT_EQ(chain.Connect(), S_OK);
    chain.Start();
    EXPECT_EQ(chain.Push(input.bytes), S_OK);
    EXPECT_EQ(chain.OutputCount(), 1u);
    if (chain.OutputCount() != 1) return Yv12(out_width, out_height);
    return Yv12(out_width, out_height, chain.Output(0));
}

struct Box {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;  // right/bottom exclusive
    bool empty() const { return left == INT_MAX; }
};

// The bounding box of luma samples that differ between a and b.
Box ChangedLuma(Yv12& a, Yv12& b) {
    Box box;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (a.Y(x, y) != b.Y(x, y)) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box;
}

WatermarkSettings TextMark(const char16_t* text, int x, int y, float alpha = 1.0f) {
    WatermarkSettings mark;
    std::char_traits<char16_t>::copy(mark.text, text, std::char_traits<char16_t>::length(text));
    std::strcpy(mark.font_family, "DejaVu Sans");
    mark.font_size_px = 20;
    mark.colour = 0x000000;
    mark.x = x;
    mark.y = y;
    mark.alpha = alpha;
    return mark;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Geometry

TEST(VideoGeometry, SixteenByNineIntoFourByThreeGivesSixtyRowBars) {
    ConvertGeometry g;
    ASSERT_TRUE(ComputeConvertGeometry(720, 480, {}, RECT{0, 0, 720, 480}, RECT{0, 0, 640, 480},
                                       kZoom16x9, &g));
    EXPECT_FALSE(g.crop_on);
    EXPECT_TRUE(g.pad_on);
    EXPECT_EQ(g.pad, (Margins{0, 60, 0, 60}));
    EXPECT_TRUE(g.scale_on);
    EXPECT_EQ(g.interior_width(), 640);
    EXPECT_EQ(g.interior_height(), 360);
}

TEST(VideoGeometry, FourByThreeIntoHdGivesColumnBars) {
    ConvertGeometry g;
    ASSERT_TRUE(ComputeConvertGeometry(720, 480, {}, RECT{0, 0, 720, 480}, RECT{0, 0, 1280, 720},
                                       kZoom4x3, &g));
    EXPECT_EQ(g.pad, (Margins{160, 0, 160, 0}));
    EXPECT_EQ(g.interior_width(), 960);
    EXPECT_EQ(g.interior_height(), 720);
}

TEST(VideoGeometry, CropFullScreenScalesWithoutBars) {
    ConvertGeometry g;
    ASSERT_TRUE(ComputeConvertGeometry(720, 480, {}, RECT{8, 0, 712, 480}, RECT{0, 0, 640, 480},
                                       kZoomFullScreen, &g));
    EXPECT_TRUE(g.crop_on);
    EXPECT_EQ(g.crop, (Margins{8, 0, 8, 0}));
    EXPECT_FALSE(g.pad_on);
    EXPECT_TRUE(g.scale_on);
}

TEST(VideoGeometry, OddMarginsRoundUpToEvenAndShrinkTheInterior) {
    // 4:3 into 70x48: f = (70 - 64) / 2 = 3 on each side, rounded to 4.
    ConvertGeometry g;
    ASSERT_TRUE(
        ComputeConvertGeometry(64, 48, {}, RECT{0, 0, 64, 48}, RECT{0, 0, 70, 48}, kZoom4x3, &g));
    EXPECT_EQ(g.pad, (Margins{4, 0, 4, 0}));
    EXPECT_EQ(g.interior_width(), 62);
    EXPECT_TRUE(g.scale_on);
}

TEST(VideoGeometry, KeepOriginalWithTheOutputsOwnRatioHasNoBars) {
    ConvertGeometry g;
    ASSERT_TRUE(ComputeConvertGeometry(720, 480, {}, RECT{40, 0, 680, 480}, RECT{0, 0, 320, 240},
                                       kZoomKeepOriginal, &g));
    EXPECT_FALSE(g.pad_on);
    EXPECT_TRUE(g.crop_on);
    // A crop of the input's own size is not applied wherever it lies.
    ASSERT_TRUE(ComputeConvertGeometry(720, 480, {}, RECT{8, 0, 728, 480}, RECT{0, 0, 720, 480},
                                       kZoomFullScreen, &g));
    EXPECT_FALSE(g.crop_on);
    EXPECT_FALSE(g.scale_on);
}

TEST(VideoGeometry, KeepOriginalFitsTheShapeTheSourceIsShownAt) {
    ConvertGeometry g;
    // 720x576 shown at 16:9 into 720x480: 720x404 between 38-row bars, not a 600x480 picture.
    ASSERT_TRUE(ComputeConvertGeometry(720, 576, {16, 9}, RECT{0, 0, 720, 576},
                                       RECT{0, 0, 720, 480}, kZoomKeepOriginal, &g));
    EXPECT_EQ(g.pad, (Margins{0, 38, 0, 38}));
    EXPECT_EQ(g.interior_width(), 720);
    EXPECT_EQ(g.interior_height(), 404);
    // 720x480 shown at 4:3 into 720x480: a 640x480 picture between 40-column bars.
    ASSERT_TRUE(ComputeConvertGeometry(720, 480, {4, 3}, RECT{0, 0, 720, 480}, RECT{0, 0, 720, 480},
                                       kZoomKeepOriginal, &g));
    EXPECT_EQ(g.pad, (Margins{40, 0, 40, 0}));
    EXPECT_TRUE(g.scale_on);
    // The left half of a 16:9 picture shows at 8:9.
    ASSERT_TRUE(ComputeConvertGeometry(720, 576, {16, 9}, RECT{0, 0, 360, 576},
                                       RECT{0, 0, 640, 480}, kZoomKeepOriginal, &g));
    EXPECT_EQ(g.interior_height(), 480);
    EXPECT_EQ(g.interior_width(), 424);  // trunc(480 * 8 / 9) = 426: bars of 107, made 108
    // The other modes ignore the source's shape.
    ASSERT_TRUE(ComputeConvertGeometry(720, 576, {16, 9}, RECT{0, 0, 720, 576},
                                       RECT{0, 0, 720, 480}, kZoomFullScreen, &g));
    EXPECT_FALSE(g.pad_on);
    ASSERT_TRUE(ComputeConvertGeometry(720, 576, {16, 9}, RECT{0, 0, 720, 576},
                                       RECT{0, 0, 640, 480}, kZoom4x3, &g));
    EXPECT_FALSE(g.pad_on);
}

// An output that keeps the source's pixels (its display aspect written into the file): the
// zoom modes measure shapes in display units, so the source fills a frame of its own size.
TEST(VideoGeometry, OutputPixelsOfTheSourcesShapeAreFittedInDisplayUnits) {
    ConvertGeometry g;
    ASSERT_TRUE(ComputeConvertGeometry(720, 576, {16, 9}, RECT{0, 0, 720, 576},
                                       RECT{0, 0, 720, 576}, kZoomKeepOriginal, &g, {16, 9}));
    EXPECT_FALSE(g.pad_on);
    EXPECT_FALSE(g.scale_on);
    // 4:3 inside that 16:9 frame: three quarters of its width, bars at the sides.
    ASSERT_TRUE(ComputeConvertGeometry(720, 576, {16, 9}, RECT{0, 0, 720, 576},
                                       RECT{0, 0, 720, 576}, kZoom4x3, &g, {16, 9}));
    EXPECT_EQ(g.pad, (Margins{90, 0, 90, 0}));
    EXPECT_EQ(g.interior_height(), 576);
    // A 4:3 NTSC title into a 16:9 PAL frame (the second item of a merged file).
    ASSERT_TRUE(ComputeConvertGeometry(720, 480, {4, 3}, RECT{0, 0, 720, 480}, RECT{0, 0, 720, 576},
                                       kZoomKeepOriginal, &g, {16, 9}));
    EXPECT_EQ(g.pad, (Margins{90, 0, 90, 0}));
    EXPECT_TRUE(g.scale_on);
}

TEST(PictureAspect, DeclaredByVideoInfo2ElseThePictureSize) {
    CMediaType square = harness::MakeVideoType(720, 576);
    EXPECT_EQ(DeclaredAspect(square).x, 720);
    EXPECT_EQ(DeclaredAspect(square).y, 576);
    CMediaType wide = VideoInfo2Type(720, 576, 16, 9);
    EXPECT_EQ(DeclaredAspect(wide).x, 16);
    EXPECT_EQ(DeclaredAspect(wide).y, 9);
    CMediaType unset = VideoInfo2Type(720, 576, 0, 9);
    EXPECT_EQ(DeclaredAspect(unset).x, 720);
    EXPECT_EQ(CropDisplayAspect(720, 576, {16, 9}, 720, 576), 16.0 / 9.0);
    EXPECT_EQ(CropDisplayAspect(720, 480, {720, 480}, 704, 480), 704.0 / 480.0);
    EXPECT_EQ(CropDisplayAspect(720, 480, {0, 0}, 704, 480), 0.0);
    EXPECT_EQ(FitAspect(1.5, RECT{10, 20, 10, 20}), (RECT{10, 20, 10, 20}));
}

TEST(VideoGeometry, RefusesRectanglesThatMakeNoPicture) {
    ConvertGeometry g;
    EXPECT_FALSE(ComputeConvertGeometry(720, 480, {}, RECT{-8, 0, 700, 480}, RECT{0, 0, 640, 480},
                                        kZoomFullScreen, &g));
    EXPECT_FALSE(ComputeConvertGeometry(720, 480, {}, RECT{0, 0, 700, 481}, RECT{0, 0, 640, 480},
                                        kZoomFullScreen, &g));
    EXPECT_FALSE(ComputeConvertGeometry(720, 480, {}, RECT{0, 0, 720, 0}, RECT{0, 0, 640, 480},
                                        kZoomKeepOriginal, &g));
    EXPECT_FALSE(ComputeConvertGeometry(720, 480, {}, RECT{0, 0, 720, 480}, RECT{0, 0, 0, 480},
                                        kZoomFullScreen, &g));
}

TEST(HueTables, TruncatedValuesOfTheShortPi) {
    const HueTables& t = GetHueTables();
    EXPECT_EQ(t.sine[90 + 180], 127);
    EXPECT_EQ(t.cosine[0 + 180], 128);
    EXPECT_EQ(t.cosine[180 + 180], -127);
    EXPECT_EQ(t.sine[60 + 180], 110);
    EXPECT_EQ(t.cosine[60 + 180], 64);
    EXPECT_EQ(t.sine[-90 + 180], -127);
}

TEST(PictureAdjust, SaturationAndHueMatchTheIntegerRuleForEveryColour) {
    // Chroma position (x, y) holds Cr = x, Cb = y: every pair of values once.
    std::vector<uint8_t> buffer(static_cast<std::size_t>(PictureBytes(512, 512)));
    const PictureView picture = ContiguousPicture(buffer.data(), 512, 512);
    const HueTables& t = GetHueTables();
    for (const int hue : {-180, -135, -90, -1, 1, 60, 90, 179, 180})
        for (const int saturation : {0, 1, 63, 64, 100, 128}) {
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x) {
                    picture.planes[1][y * 256 + x] = static_cast<uint8_t>(x);
                    picture.planes[2][y * 256 + x] = static_cast<uint8_t>(y);
                }
            ApplySaturationHue(picture, saturation, hue);
            const int c = t.cosine[static_cast<std::size_t>(hue + 180)];
            const int s = t.sine[static_cast<std::size_t>(hue + 180)];
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x) {
                    const int v = x - 128;
                    const int u = y - 128;
                    const int a = ((v * c) >> 7) + ((u * s) >> 7);
                    const int b = ((u * c) >> 7) - ((v * s) >> 7);
                    ASSERT_EQ(picture.planes[1][y * 256 + x],
                              std::clamp(((a * saturation) >> 6) + 128, 0, 255))
                        << hue << " " << saturation << " " << x << "," << y;
                    ASSERT_EQ(picture.planes[2][y * 256 + x],
                              std::clamp(((b * saturation) >> 6) + 128, 0, 255))
                        << hue << " " << saturation << " " << x << "," << y;
                }
        }
}

// ---------------------------------------------------------------------------------------
// Types and connection

TEST(VideoConvFilter, AcceptsOnlyUprightYv12WithAVideoInfoFormat) {
    ComPtr<CMyVideoConveFilter> filter(NewFilter());
    CMediaType good = harness::MakeVideoType(64, 48);
    EXPECT_EQ(filter->CheckInputType(&good), S_OK);

    CMediaType i420 = good;
    i420.SetSubtype(&MEDIASUBTYPE_I420);
    EXPECT_EQ(filter->CheckInputType(&i420), VFW_E_TYPE_NOT_ACCEPTED);

    CMediaType top_down = good;
    top_down.FormatAs<VIDEOINFOHEADER>()->bmiHeader.biHeight = -48;
    EXPECT_EQ(filter->CheckInputType(&top_down), VFW_E_TYPE_NOT_ACCEPTED);

    CMediaType info2(MEDIATYPE_Video);
    info2.SetSubtype(&MEDIASUBTYPE_YV12);
    info2.SetFormatType(&FORMAT_VideoInfo2);
    auto* vih2 =
        reinterpret_cast<VIDEOINFOHEADER2*>(info2.AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
    vih2->bmiHeader.biWidth = 64;
    vih2->bmiHeader.biHeight = 48;
    EXPECT_EQ(filter->CheckInputType(&info2), S_OK);

    CMediaType mpeg2 = info2;
    mpeg2.SetFormatType(&FORMAT_MPEG2Video);
    EXPECT_EQ(filter->CheckInputType(&mpeg2), VFW_E_TYPE_NOT_ACCEPTED);
}

TEST(VideoConvFilter, InterfaceIsReachedThroughQueryInterface) {
    ComPtr<CMyVideoConveFilter> filter(NewFilter());
    ComPtr<IBaseFilter> base(static_cast<IBaseFilter*>(filter.Get()));
    ComPtr<IMyVideoConvFilter> control;
    EXPECT_EQ(base.As(&control), S_OK);
    CLSID clsid{};
    filter->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_MyVideoConver);
}

TEST(VideoConvFilter, UnconfiguredFilterPassesPicturesThroughByteForByte) {
    const Yv12 input = Noise(64, 48, 1);
    VideoChain chain(NewFilter(), harness::MakeVideoType(64, 48), 8192);
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    ASSERT_EQ(chain.Push(input.bytes, 400000, 800000), S_OK);
    ASSERT_EQ(chain.OutputCount(), 1u);
    EXPECT_EQ(chain.Output(0), input.bytes);
    const auto sample = chain.sink()->samples()[0];
    EXPECT_EQ(sample.start, 400000);
    EXPECT_EQ(sample.stop, 800000);
    EXPECT_EQ(GetBitmapInfoHeader(chain.OutputType())->biWidth, 64);
}

TEST(VideoConvFilter, OnlyUnchangedPicturesOfARoomyAllocatorAreForwardedWithoutACopy) {
    struct Case {
        bool forward;
        LONG source_buffers;
        int32_t brightness;
        bool forwarded;
    };
    for (const Case c :
         {Case{true, 3, kNeutralBrightness, true}, Case{false, 3, kNeutralBrightness, false},
          Case{true, 2, kNeutralBrightness, false}, Case{true, 3, 200, false}}) {
        SCOPED_TRACE(testing::Message()
                     << c.forward << " " << c.source_buffers << " " << c.brightness);
        const Yv12 input = Noise(64, 48, 2);
        VideoChain chain(NewFilter(), harness::MakeVideoType(64, 48), 8192, c.source_buffers);
        chain.filter()->ForwardUnchanged(c.forward);
        chain.filter()->SetBrightness(c.brightness);
        ASSERT_EQ(chain.Connect(), S_OK);
        chain.Start();
        ASSERT_EQ(chain.Push(input.bytes, 400000, 800000), S_OK);
        ASSERT_EQ(chain.OutputCount(), 1u);
        const auto sample = chain.sink()->samples()[0];
        EXPECT_EQ(sample.buffer == chain.source()->last_buffer(), c.forwarded);
        if (c.brightness == kNeutralBrightness) {
            EXPECT_EQ(sample.data, input.bytes);
        }
        EXPECT_EQ(sample.start, 400000);
        EXPECT_EQ(sample.stop, 800000);
    }
}

TEST(VideoConvFilter, ShortPictureIsRefusedInsteadOfReadPastItsEnd) {
    VideoChain chain(NewFilter(), harness::MakeVideoType(64, 48), 8192);
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    EXPECT_EQ(chain.Push(std::vector<BYTE>(100, 0)), E_FAIL);
    EXPECT_EQ(chain.OutputCount(), 0u);
}

// ---------------------------------------------------------------------------------------
// Crop, pad, scale

TEST(VideoConvFilter, SixteenByNineLetterboxHasBlackBarsAndAScaledPicture) {
    const Yv12 input = Uniform(720, 480, 180, 100, 150);
    VideoChain chain(NewFilter(), harness::MakeVideoType(720, 480),
                     static_cast<LONG>(input.bytes.size()));
    chain.filter()->SetConvertRect(kZoom16x9, 0, 0, 720, 480, 0, 0, 640, 480);
    ASSERT_EQ(chain.Connect(), S_OK);
    const BITMAPINFOHEADER* header = GetBitmapInfoHeader(chain.OutputType());
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biWidth, 640);
    EXPECT_EQ(header->biHeight, 480);
    EXPECT_EQ(header->biSizeImage, 640u * 480u * 3 / 2);
    chain.Start();
    ASSERT_EQ(chain.Push(input.bytes), S_OK);
    Yv12 out(640, 480, chain.Output(0));
    for (int y = 0; y < 480; ++y) {
        const bool bar = y < 60 || y >= 420;
        for (int x = 0; x < 640; x += 37) {
            if (bar)
                ASSERT_EQ(out.Y(x, y), 16) << x << "," << y;
            else
                ASSERT_NEAR(out.Y(x, y), 180, 1) << x << "," << y;
        }
    }
    for (int y = 0; y < 240; ++y) {
        const bool bar = y < 30 || y >= 210;
        ASSERT_EQ(out.Cr(100, y), bar ? 128 : 100) << y;
        ASSERT_EQ(out.Cb(100, y), bar ? 128 : 150) << y;
    }
}

TEST(VideoConvFilter, KeepOriginalFollowsTheInputsDeclaredShapeAndWritesSquarePixels) {
    const Yv12 input = Uniform(720, 576, 180, 128, 128);
    VideoChain chain(NewFilter(), VideoInfo2Type(720, 576, 16, 9),
                     static_cast<LONG>(input.bytes.size()));
    chain.filter()->SetConvertRect(kZoomKeepOriginal, 0, 0, 720, 576, 0, 0, 720, 480);
    ASSERT_EQ(chain.Connect(), S_OK);
    ASSERT_EQ(chain.OutputType().formattype, FORMAT_VideoInfo2);
    const auto* info = chain.OutputType().FormatAs<VIDEOINFOHEADER2>();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->bmiHeader.biWidth, 720);
    EXPECT_EQ(info->bmiHeader.biHeight, 480);
    EXPECT_EQ(info->dwPictAspectRatioX * 480, info->dwPictAspectRatioY * 720) << "square pixels";
    chain.Start();
    ASSERT_EQ(chain.Push(input.bytes), S_OK);
    Yv12 out(720, 480, chain.Output(0));
    for (int y = 0; y < 480; ++y) ASSERT_EQ(out.Y(360, y) == 16, y < 38 || y >= 442) << y;

    // The same picture when it passes through unchanged keeps its own shape.
    VideoChain same(NewFilter(), VideoInfo2Type(720, 576, 16, 9),
                    static_cast<LONG>(input.bytes.size()));
    ASSERT_EQ(same.Connect(), S_OK);
    const auto* kept = same.OutputType().FormatAs<VIDEOINFOHEADER2>();
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->dwPictAspectRatioX, 16u);
    EXPECT_EQ(kept->dwPictAspectRatioY, 9u);
}

TEST(VideoConvFilter, FourByThreePillarboxHasColumnBars) {
    const Yv12 input = Uniform(720, 480, 90, 128, 128);
    const Yv12 out_const = Convert(input, 1280, 720, [](CMyVideoConveFilter* f) {
        f->SetConvertRect(kZoom4x3, 0, 0, 720, 480, 0, 0, 1280, 720);
    });
    Yv12 out = out_const;
    for (int x = 0; x < 1280; ++x) {
        const bool bar = x < 160 || x >= 1120;
        ASSERT_EQ(out.Y(x, 360) == 16, bar) << x;
    }
}

TEST(VideoConvFilter, CropThenScaleLeavesNoTraceOfTheCroppedColumns) {
    Yv12 input = Uniform(720, 480, 200, 128, 128);
    for (int y = 0; y < 480; ++y)
        for (int x : {0, 1, 2, 3, 4, 5, 6, 7, 712, 713, 714, 715, 716, 717, 718, 719})
            input.Y(x, y) = 0;
    Yv12 out = Convert(input, 640, 480, [](CMyVideoConveFilter* f) {
        f->SetConvertRect(kZoomFullScreen, 8, 0, 712, 480, 0, 0, 640, 480);
    });
    const auto [low, high] = std::minmax_element(out.bytes.begin(), out.bytes.begin() + 640 * 480);
    EXPECT_GE(*low, 199);
    EXPECT_LE(*high, 201);
}

TEST(VideoConvFilter, CropWithoutScalingCopiesTheRegionExactly) {
    Yv12 input = Noise(96, 64, 2);
    Yv12 out = Convert(input, 64, 48, [](CMyVideoConveFilter* f) {
        f->SetConvertRect(kZoomFullScreen, 16, 8, 80, 56, 0, 0, 64, 48);
    });
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(out.Y(x, y), input.Y(x + 16, y + 8));
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) {
            ASSERT_EQ(out.Cr(x, y), input.Cr(x + 8, y + 4));
            ASSERT_EQ(out.Cb(x, y), input.Cb(x + 8, y + 4));
        }
}

TEST(VideoConvFilter, PaddingWithoutScalingKeepsThePictureExact) {
    Yv12 input = Noise(64, 48, 3);
    Yv12 out = Convert(input, 64, 64, [](CMyVideoConveFilter* f) {
        f->SetConvertRect(kZoomKeepOriginal, 0, 0, 64, 48, 0, 0, 64, 64);
    });
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(out.Y(x, y), (y < 8 || y >= 56) ? 16 : input.Y(x, y - 8)) << x << "," << y;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool bar = y < 4 || y >= 28;
            ASSERT_EQ(out.Cr(x, y), bar ? 128 : input.Cr(x, y - 4));
            ASSERT_EQ(out.Cb(x, y), bar ? 128 : input.Cb(x, y - 4));
        }
}

TEST(VideoConvFilter, OddBarsAreWidenedToEvenOnes) {
    Yv12 out = Convert(Uniform(64, 48, 180, 128, 128), 70, 48, [](CMyVideoConveFilter* f) {
        f->SetConvertRect(kZoom4x3, 0, 0, 64, 48, 0, 0, 70, 48);
    });
    for (int x = 0; x < 70; ++x) {
        const bool bar = x < 4 || x >= 66;
        ASSERT_EQ(out.Y(x, 20) == 16, bar) << x;
    }
}

TEST(VideoConvFilter, NewRectanglesWaitForTheOutputToReconnect) {
    const Yv12 input = Noise(64, 48, 4);
    VideoChain chain(NewFilter(), harness::MakeVideoType(64, 48), 8192);
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    chain.filter()->SetConvertRect(kZoomFullScreen, 0, 0, 64, 48, 0, 0, 32, 24);
    ASSERT_EQ(chain.Push(input.bytes), S_OK);
    EXPECT_EQ(chain.Output(0), input.bytes);

    chain.Reconnect();
    ASSERT_EQ(chain.Push(input.bytes), S_OK);
    EXPECT_EQ(chain.Output(1).size(), static_cast<std::size_t>(PictureBytes(32, 24)));
    EXPECT_EQ(GetBitmapInfoHeader(chain.OutputType())->biWidth, 32);
}

// ---------------------------------------------------------------------------------------
// Adjustments

TEST(VideoConvFilter, BrightnessDoublesAndSaturatesOrBlanksLumaKeepingColour) {
    Yv12 input = Uniform(16, 4, 0, 90, 170);
    const BYTE levels[] = {0, 50, 127, 128, 200};
    for (int x = 0; x < 5; ++x) input.Y(x, 0) = levels[x];
    Yv12 doubled = Convert(input, 16, 4, [](CMyVideoConveFilter* f) { f->SetBrightness(256); });
    const BYTE expected[] = {0, 100, 254, 255, 255};
    for (int x = 0; x < 5; ++x) EXPECT_EQ(doubled.Y(x, 0), expected[x]) << x;
    EXPECT_EQ(doubled.Cr(0, 0), 90);

    Yv12 dark = Convert(input, 16, 4, [](CMyVideoConveFilter* f) { f->SetBrightness(0); });
    EXPECT_TRUE(
        std::all_of(dark.bytes.begin(), dark.bytes.begin() + 64, [](BYTE b) { return b == 0; }));
    EXPECT_EQ(dark.Cr(3, 1), 90);
    EXPECT_EQ(dark.Cb(3, 1), 170);
}

TEST(VideoConvFilter, SaturationZeroIsGreyWhateverTheHue) {
    Yv12 out = Convert(Noise(32, 16, 5), 32, 16, [](CMyVideoConveFilter* f) {
        f->SetSaturation(0);
        f->SetHue(45);
    });
    EXPECT_TRUE(
        std::all_of(out.bytes.begin() + 32 * 16, out.bytes.end(), [](BYTE b) { return b == 128; }));
}

TEST(VideoConvFilter, HueRotatesAKnownColourWithFlooringShifts) {
    struct Case {
        int hue;
        BYTE cr;
        BYTE cb;
    };
    // Cr 192, Cb 128 (v = 64, u = 0). -90 degrees: b = -((64 * -127) >> 7) = 64, where a
    // truncating division would give 63.
    for (const Case c : {Case{90, 128, 65}, Case{-90, 128, 192}, Case{60, 160, 73}}) {
        Yv12 out = Convert(Uniform(8, 8, 100, 192, 128), 8, 8,
                           [&](CMyVideoConveFilter* f) { f->SetHue(c.hue); });
        EXPECT_EQ(out.Cr(1, 1), c.cr) << c.hue;
        EXPECT_EQ(out.Cb(1, 1), c.cb) << c.hue;
        EXPECT_EQ(out.Y(1, 1), 100);
    }
}

// ---------------------------------------------------------------------------------------
// Watermark

TEST(TextRaster, DrawsTheColourOnWhiteWithinTheTextsExtent) {
    const auto raster = RenderText(u"WW", "DejaVu Sans", 24, 0x0000FF /* red */, 1 << 20);
    ASSERT_TRUE(raster);
    EXPECT_GT(raster->width, 24);
    EXPECT_GE(raster->height, 24);
    ASSERT_EQ(raster->rgb.size(), static_cast<std::size_t>(raster->width * raster->height * 3));
    bool white = false;
    bool red = false;
    for (std::size_t i = 0; i < raster->rgb.size(); i += 3) {
        const uint8_t* p = &raster->rgb[i];
        white |= p[0] == 255 && p[1] == 255 && p[2] == 255;
        red |= p[0] == 255 && p[1] == 0 && p[2] == 0;
        ASSERT_EQ(p[0], 255);  // only green and blue fall toward red text
    }
    EXPECT_TRUE(white);
    EXPECT_TRUE(red);
    // Surrogate pairs and unknown families still render; oversized rasters do not.
    EXPECT_TRUE(RenderText(u"\U0001F600x", "No Such Family", 16, 0, 1 << 20));
    EXPECT_FALSE(RenderText(u"WW", "DejaVu Sans", 24, 0, 100));
    EXPECT_FALSE(RenderText(u"", "DejaVu Sans", 24, 0, 1 << 20));
}

TEST(VideoConvFilter, WatermarkRecordsNeedARenderedText) {
    ComPtr<CMyVideoConveFilter> filter(NewFilter());
    WatermarkSettings empty = TextMark(u"", 0, 0);
    EXPECT_EQ(filter->SetWatermark(&empty), S_OK);
    EXPECT_EQ(filter->WatermarkSize(), std::make_pair(0, 0));
    WatermarkSettings image = empty;
    image.kind = 1;
    EXPECT_EQ(filter->SetWatermark(&image), E_FAIL);

    WatermarkSettings text = TextMark(u"Rz", 0, 0);
    EXPECT_EQ(filter->SetWatermark(&text), S_OK);
    EXPECT_GT(filter->WatermarkSize().first, 0);
    EXPECT_EQ(filter->SetWatermark(&image), S_OK);  // moves the text watermark

    WatermarkSettings tiny = TextMark(u"Rz", 0, 0);
    tiny.font_size_px = 0;  // nothing can be rendered: the old watermark is gone too
    EXPECT_EQ(filter->SetWatermark(&tiny), E_FAIL);
    EXPECT_EQ(filter->SetWatermark(&image), E_FAIL);
}

TEST(VideoConvFilter, WatermarkCoversItsRectangleAndFollowsImageRecords) {
    Yv12 input = Uniform(160, 120, 100, 128, 128);
    ComPtr<CMyVideoConveFilter> probe(NewFilter());
    WatermarkSettings text = TextMark(u"Hi", 10, 20);
    ASSERT_EQ(probe->SetWatermark(&text), S_OK);
    const auto [w, h] = probe->WatermarkSize();

    Yv12 out = Convert(input, 160, 120, [&](CMyVideoConveFilter* f) {
        f->SetWatermark(&text);
        WatermarkSettings move;
        move.kind = 1;
        move.x = 30;
        move.y = 40;
        move.alpha = 1.0f;
        f->SetWatermark(&move);
    });
    const Box box = ChangedLuma(input, out);
    EXPECT_EQ(box.left, 30);
    EXPECT_EQ(box.top, 40);
    EXPECT_EQ(box.right, 30 + w);
    EXPECT_EQ(box.bottom, 40 + h);
    EXPECT_GE(out.Y(30, 40), 230);  // the white background is part of the mark

    WatermarkSettings invisible = TextMark(u"Hi", 10, 20, 0.0f);
    Yv12 same =
        Convert(input, 160, 120, [&](CMyVideoConveFilter* f) { f->SetWatermark(&invisible); });
    EXPECT_EQ(same.bytes, input.bytes);
}

TEST(VideoConvFilter, WatermarkIsClippedOnEverySide) {
    constexpr int kW = 96;
    constexpr int kH = 64;
    Yv12 input = Uniform(kW, kH, 100, 128, 128);
    ComPtr<CMyVideoConveFilter> probe(NewFilter());
    WatermarkSettings text = TextMark(u"Watermark", 0, 0);
    ASSERT_EQ(probe->SetWatermark(&text), S_OK);
    const auto [w, h] = probe->WatermarkSize();
    ASSERT_GT(w, kW / 2);

    const std::pair<int, int> positions[] = {
        {-w / 2, 10}, {kW - 20, 10}, {5, -h / 2}, {5, kH - 7},        {-w / 2, -h / 2}, {kW, 0},
        {0, kH},      {-w, 0},       {0, -h},     {INT_MIN, INT_MIN}, {INT_MAX, 5},     {-3, -3}};
    for (const auto& [x, y] : positions) {
        WatermarkSettings placed = TextMark(u"Watermark", x, y);
        Yv12 out =
            Convert(input, kW, kH, [&](CMyVideoConveFilter* f) { f->SetWatermark(&placed); });
        const int64_t left = std::max<int64_t>(x, 0);
        const int64_t top = std::max<int64_t>(y, 0);
        const int64_t right = std::min<int64_t>(int64_t{x} + w, kW);
        const int64_t bottom = std::min<int64_t>(int64_t{y} + h, kH);
        const Box box = ChangedLuma(input, out);
        if (left >= right || top >= bottom) {
            EXPECT_TRUE(box.empty()) << x << "," << y;
            EXPECT_EQ(out.bytes, input.bytes) << x << "," << y;
            continue;
        }
        EXPECT_EQ(box.left, left) << x << "," << y;
        EXPECT_EQ(box.top, top) << x << "," << y;
        EXPECT_EQ(box.right, right) << x << "," << y;
        EXPECT_EQ(box.bottom, bottom) << x << "," << y;
    }
}

TEST(VideoConvFilter, ReplacingTheWatermarkWhilePicturesFlowIsSafe) {
    const Yv12 input = Uniform(160, 120, 100, 128, 128);
    VideoChain chain(NewFilter(), harness::MakeVideoType(160, 120),
                     static_cast<LONG>(input.bytes.size()));
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    WatermarkSettings first = TextMark(u"First mark", 4, 4);
    ASSERT_EQ(chain.filter()->SetWatermark(&first), S_OK);

    constexpr int kPictures = 150;
    std::atomic<bool> done{false};
    std::thread streaming([&] {
        for (int i = 0; i < kPictures; ++i) EXPECT_EQ(chain.Push(input.bytes), S_OK);
        done = true;
    });
    const char16_t* texts[] = {u"A", u"Second, longer mark", u"3"};
    for (int i = 0; !done; ++i) {
        WatermarkSettings next = TextMark(texts[i % 3], i % 40 - 20, i % 30 - 15);
        EXPECT_EQ(chain.filter()->SetWatermark(&next), S_OK);
    }
    streaming.join();
    EXPECT_EQ(chain.OutputCount(), static_cast<std::size_t>(kPictures));
}

}  // namespace rizuvira::filters
