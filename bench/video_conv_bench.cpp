// SPDX-License-Identifier: GPL-2.0-or-later
// Runs a file of raw 720x480 4:2:0 pictures through the video converter set up for a typical
// conversion (crop 8 pixels left and right, keep the ratio inside 640x480, brightness and
// saturation raised), a number of passes, and prints the pictures converted.
//   video_conv_bench PICTURES.yuv [PASSES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "filters/video_conv_filter.h"
#include "platform/pipeline_harness.h"

using namespace rizuvira;

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 480;
constexpr std::size_t kPictureBytes = kWidth * kHeight * 3 / 2;

inline constexpr GUID CLSID_BenchSink = "0C1D6E2B-5A7F-4E38-9B64-2F8D1A3C5E70"_guid;

class CCountingSink;

// Takes pictures and lets them go at once, counting them.
class CCountingPin final : public CBaseInputPin {
public:
    CCountingPin(CBaseFilter* filter, CCritSec* lock, HRESULT* hr)
        : CBaseInputPin("Counting pin", filter, lock, hr, "In") {}
    HRESULT CheckMediaType(const CMediaType* type) override {
        return type->majortype == MEDIATYPE_Video ? S_OK : S_FALSE;
    }
    HRESULT Receive(IMediaSample* sample) override {
        const HRESULT hr = CBaseInputPin::Receive(sample);
        if (hr != S_OK) return hr;
        ++pictures;
        bytes += sample->GetActualDataLength();
        return S_OK;
    }
    long pictures = 0;
    long long bytes = 0;
};

class CCountingSink final : public CBaseFilter {
public:
    CCountingSink()
        : CBaseFilter("Counting sink", nullptr, &lock_, CLSID_BenchSink),
          pin_(this, &lock_, nullptr) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }
    CCountingPin* pin() { return &pin_; }

private:
    CCritSec lock_;
    CCountingPin pin_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: video_conv_bench PICTURES.yuv [PASSES]\n");
        return 2;
    }
    const int passes = argc > 2 ? std::atoi(argv[2]) : 1;
    std::ifstream file(argv[1], std::ios::binary);
    std::vector<std::vector<BYTE>> pictures;
    for (;;) {
        std::vector<BYTE> picture(kPictureBytes);
        if (!file.read(reinterpret_cast<char*>(picture.data()), kPictureBytes)) break;
        pictures.push_back(std::move(picture));
    }
    if (pictures.empty()) {
        std::fprintf(stderr, "no 720x480 pictures in %s\n", argv[1]);
        return 3;
    }

    HRESULT hr = S_OK;
    ComPtr<filters::CMyVideoConveFilter> filter(
        filters::CMyVideoConveFilter::CreateInstance(nullptr, &hr));
    ComPtr<harness::CTestSource> source(
        new harness::CTestSource(harness::MakeVideoType(kWidth, kHeight), 2, kPictureBytes));
    ComPtr<CCountingSink> sink(new CCountingSink);
    filter->SetConvertRect(0, 8, 0, 712, 480, 0, 0, 640, 480);
    filter->SetBrightness(154);
    filter->SetSaturation(80);
    if (source->pin()->Connect(filter->InputPin(), nullptr) != S_OK ||
        filter->OutputPin()->Connect(sink->pin(), nullptr) != S_OK) {
        std::fprintf(stderr, "connection failed\n");
        return 4;
    }
    sink->Pause();
    filter->Pause();
    source->Pause();

    const auto start = std::chrono::steady_clock::now();
    for (int pass = 0; pass < passes; ++pass)
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            const REFERENCE_TIME start_100ns = static_cast<REFERENCE_TIME>(i) * 333667;
            if (source->Push(pictures[i], start_100ns, std::nullopt) != S_OK) {
                std::fprintf(stderr, "picture %zu failed\n", i);
                return 5;
            }
        }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    sink->Stop();
    filter->Stop();
    source->Stop();
    sink->pin()->Disconnect();
    filter->OutputPin()->Disconnect();
    filter->InputPin()->Disconnect();
    source->pin()->Disconnect();
    std::printf("%ld %lld %.3f\n", sink->pin()->pictures, sink->pin()->bytes, seconds);
    return 0;
}
