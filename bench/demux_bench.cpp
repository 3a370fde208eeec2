// SPDX-License-Identifier: GPL-2.0-or-later
// Demultiplexes one title of a disc as fast as it can (every packet of every output pin into a
// sink that drops it) and, in the same run, lets libavformat's demuxer read the same bytes
// (ffmpeg -i TITLE -map 0 -c copy -f null -), then prints both throughputs and their ratio.
//   demux_bench DISC [TITLE_INDEX] [PASSES]
// The title is copied out through the DVD access layer into a temporary file first, so both
// demultiplexers read the same bytes from the page cache.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "demux/mpeg_splitter.h"
#include "dvd/dvd_access.h"
#include "platform/input_pin.h"

namespace {

using namespace rizuvira;
using namespace rizuvira::demux;

constexpr GUID kClsidBenchSink = "9E2B6F10-4C3A-4F21-8D7E-5A1C0B3E2F71"_guid;

class DropSink;

class DropPin final : public CBaseInputPin {
public:
    DropPin(DropSink* sink, CCritSec* lock, HRESULT* hr);
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;

private:
    DropSink* sink_;
};

std::atomic<long long> g_payload_bytes{0};

class DropSink final : public CBaseFilter {
public:
    DropSink()
        : CBaseFilter("drop sink", nullptr, &lock_, kClsidBenchSink), pin_(this, &lock_, nullptr) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }
    DropPin* pin() { return &pin_; }
    void Ended() {
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
    }
    void WaitForEnd() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return ended_; });
    }

private:
    CCritSec lock_;
    DropPin pin_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false;
};

DropPin::DropPin(DropSink* sink, CCritSec* lock, HRESULT* hr)
    : CBaseInputPin("drop pin", sink, lock, hr, "In"), sink_(sink) {}

HRESULT DropPin::Receive(IMediaSample* sample) {
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr == S_OK) g_payload_bytes += sample->GetActualDataLength();
    return hr;
}

HRESULT DropPin::EndOfStream() {
    sink_->Ended();
    return S_OK;
}

// One whole run of the splitter over the file; false when it cannot load it.
bool DemuxOnce(const std::string& path) {
    IBaseFilter* raw = nullptr;
    if (FAILED(CreateMpegSplitter(nullptr, &raw))) return false;
    ComPtr<IBaseFilter> splitter = ComPtr<IBaseFilter>::Adopt(raw);
    if (FAILED(splitter.As<IFileSourceFilter>()->Load(path, nullptr))) return false;
    std::vector<ComPtr<IPin>> pins;
    splitter->EnumPins(&pins);
    std::vector<ComPtr<IBaseFilter>> sinks;
    std::vector<DropSink*> connected;
    for (auto& pin : pins) {
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        if (direction != PINDIR_OUTPUT) continue;
        auto* sink = new DropSink();
        sinks.emplace_back(sink);
        if (SUCCEEDED(pin->Connect(sink->pin(), nullptr))) connected.push_back(sink);
    }
    for (auto& sink : sinks) sink->Pause();
    splitter->Pause();
    for (auto& sink : sinks) sink->Run(0);
    splitter->Run(0);
    for (DropSink* sink : connected) sink->WaitForEnd();
    for (auto& sink : sinks) sink->Stop();
    splitter->Stop();
    for (auto& pin : pins) {
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf()))) {
            peer->Disconnect();
            pin->Disconnect();
        }
    }
    return true;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: demux_bench DISC [TITLE_INDEX] [PASSES]\n");
        return 2;
    }
    const int title = argc > 2 ? std::atoi(argv[2]) : 0;
    const int passes = argc > 3 ? std::max(1, std::atoi(argv[3])) : 20;

    const int32_t handle = dvd::MyDVDOpen(argv[1]);
    if (!handle) {
        std::fprintf(stderr, "Open DVD error\n");
        return 3;
    }
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("demux_bench_" + std::to_string(getpid()) + ".vob"))
                                 .string();
    long long bytes = 0;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        std::vector<uint8_t> block(dvd::kDvdReadBytes);
        dvd::MyDVDSetArea(handle, title, 0);
        dvd::MyDvdSetStopPos(handle, title + 1, 0);
        for (int got; (got = dvd::MyDVDRead(handle, block.data(), dvd::kDvdReadBytes)) > 0;) {
            out.write(reinterpret_cast<const char*>(block.data()), got);
            bytes += got;
        }
    }
    dvd::MyDVDClose(handle);

    // Warm up both (page cache, first-use costs), then time them.
    if (!DemuxOnce(path)) {
        std::fprintf(stderr, "the splitter cannot load the title\n");
        std::filesystem::remove(path);
        return 4;
    }
    const std::string ffmpeg = "ffmpeg -nostdin -loglevel error -stream_loop " +
                               std::to_string(passes - 1) + " -i '" + path +
                               "' -map 0 -c copy -f null - >/dev/null 2>&1";
    // A first pass that brings the file into the page cache; ffmpeg's own timing below runs
    // the same way, so a failure here shows there.
    if (std::system(("ffmpeg -nostdin -loglevel error -i '" + path +
                     "' -map 0 -c copy -f null - >/dev/null 2>&1")
                        .c_str()) != 0)
        std::fprintf(stderr, "ffmpeg could not read %s\n", path.c_str());

    g_payload_bytes = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < passes; ++i) DemuxOnce(path);
    const double ours = Seconds(start);

    start = std::chrono::steady_clock::now();
    const int status = std::system(ffmpeg.c_str());
    const double theirs = Seconds(start);
    std::filesystem::remove(path);
    if (status != 0) {
        std::fprintf(stderr, "ffmpeg failed\n");
        return 5;
    }
    const double total_mb = static_cast<double>(bytes) * passes / 1e6;
    std::printf("title %d: %lld bytes, %d passes\n", title, bytes, passes);
    std::printf("  splitter    : %7.3f s  %8.1f MB/s  (%lld payload bytes delivered a pass)\n",
                ours, total_mb / ours, g_payload_bytes.load() / passes);
    std::printf(
        "  libavformat : %7.3f s  %8.1f MB/s  (ffmpeg -map 0 -c copy -f null, one process)\n",
        theirs, total_mb / theirs);
    std::printf("  throughput ratio splitter / libavformat: %.2f\n", theirs / ours);
    return 0;
}
