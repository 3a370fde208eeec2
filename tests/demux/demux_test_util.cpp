// SPDX-License-Identifier: GPL-2.0-or-later
#include "demux_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include "fixtures/sample_discs.h"

namespace rizuvira::demux::testing {

namespace fs = std::filesystem;

FileReader OpenFileReader(const std::string& path) {
    FileReader out;
    HRESULT hr = S_OK;
    auto* source = new CAsyncFileSource(nullptr, &hr);
    ComPtr<IBaseFilter> filter(source);
    if (FAILED(hr) || FAILED(source->Load(path, nullptr))) return out;
    ComPtr<IPin> pin(source->GetPin(0));
    ComPtr<IAsyncReader> reader;
    if (FAILED(pin.As(&reader))) return out;
    out.filter = filter;
    out.reader = reader;
    return out;
}

std::string NtscVob(int vts) {
    char name[64];
    std::snprintf(name, sizeof(name), "ntsc/VIDEO_TS/VTS_%02d_1.VOB", vts);
    return fixtures::SampleDiscPath(name);
}

std::string PalVob(int vts) {
    char name[64];
    std::snprintf(name, sizeof(name), "pal/VIDEO_TS/VTS_%02d_1.VOB", vts);
    return fixtures::SampleDiscPath(name);
}

bool LoadTitleInfo(const std::string& disc, int title_index, dvd::DvdTitleInfo* info) {
    const int32_t handle = dvd::MyDVDOpen(fixtures::SampleDiscPath(disc).c_str());
    if (!handle) return false;
    auto disc_info = std::make_unique<dvd::TitleTable>();
    dvd::MyDVDGetInfo(handle, disc_info.get());
    dvd::MyDVDClose(handle);
    if (title_index >= disc_info->title_count) return false;
    *info = disc_info->titles[title_index];
    return true;
}

namespace {

struct TempFolder {
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "rizuvira-demux-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
    std::string path;
};

std::string Generated(const std::string& name, const std::string& arguments) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    const std::string path = TempDir() + "/" + name;
    if (!fs::exists(path)) {
        if (!RunFfmpeg(arguments + " \"" + path + "\"")) return {};
    }
    return path;
}

const char* kInputs =
    "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 "
    "-f lavfi -i sine=frequency=440:duration=2:sample_rate=48000 ";

class BitWriter {
public:
    void Put(uint64_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            current_ = static_cast<uint8_t>((current_ << 1) | ((value >> i) & 1));
            if (++count_ == 8) {
                bytes.push_back(current_);
                current_ = 0;
                count_ = 0;
            }
        }
    }
    std::vector<uint8_t> bytes;

private:
    uint8_t current_ = 0;
    int count_ = 0;
};

void PutTimestamp(BitWriter& w, int prefix, int64_t ticks) {
    w.Put(static_cast<uint64_t>(prefix), 4);
    w.Put(static_cast<uint64_t>(ticks >> 30) & 7, 3);
    w.Put(1, 1);
    w.Put(static_cast<uint64_t>(ticks >> 15) & 0x7FFF, 15);
    w.Put(1, 1);
    w.Put(static_cast<uint64_t>(ticks) & 0x7FFF, 15);
    w.Put(1, 1);
}

void AppendPes(std::vector<uint8_t>& out, uint8_t stream_id, const std::vector<uint8_t>& payload,
               int64_t pts_ticks) {
    BitWriter w;
    w.Put(0x000001, 24);
    w.Put(stream_id, 8);
    w.Put(payload.size() + 8, 16);
    w.Put(0x80, 8);
    w.Put(0x80, 8);
    w.Put(5, 8);
    PutTimestamp(w, 2, pts_ticks);
    out.insert(out.end(), w.bytes.begin(), w.bytes.end());
    out.insert(out.end(), payload.begin(), payload.end());
}

}  // namespace

const std::string& TempDir() {
    static TempFolder folder;
    return folder.path;
}

bool RunFfmpeg(const std::string& arguments) {
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments;
    return std::system(command.c_str()) == 0;
}

std::string TsMpeg2Ac3() {
    return Generated(
        "mpeg2_ac3.ts",
        std::string(kInputs) + "-c:v mpeg2video -b:v 2M -c:a ac3 -ac 2 -b:a 192k -f mpegts");
}

std::string TsH264Aac() {
    return Generated("h264_aac.ts",
                     std::string(kInputs) +
                         "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -f mpegts");
}

std::string PsMpeg2Mp2() {
    return Generated("mpeg2_mp2.mpg",
                     std::string(kInputs) + "-c:v mpeg2video -b:v 2M -c:a mp2 -f mpeg");
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = TempDir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string RawPesFile() {
    const std::string ps = PsMpeg2Mp2();
    if (ps.empty()) return {};
    const std::vector<uint8_t> in = ReadFileBytes(ps);
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i + 6 <= in.size()) {
        if (!(in[i] == 0 && in[i + 1] == 0 && in[i + 2] == 1)) {
            ++i;
            continue;
        }
        const uint8_t code = in[i + 3];
        if (code == 0xBA) {
            i += (in[i + 4] & 0xC0) == 0x40 ? 14 + (in[i + 13] & 7) : 12;
        } else if (code == 0xB9) {
            i += 4;
        } else {
            const size_t length = 6 + (size_t{in[i + 4]} << 8 | in[i + 5]);
            if (code >= 0xC0 && code <= 0xEF && i + length <= in.size())
                out.insert(out.end(), in.begin() + static_cast<long>(i),
                           in.begin() + static_cast<long>(i + length));
            i += length;
        }
    }
    return WriteTempFile("raw.pes", out);
}

std::string PvaFile() {
    const std::string video = Generated(
        "video.m2v", std::string(kInputs) + "-map 0:v -c:v mpeg2video -b:v 1M -f mpeg2video");
    const std::string audio =
        Generated("audio.mp2", std::string(kInputs) + "-map 1:a -c:a mp2 -b:a 128k -f mp2");
    if (video.empty() || audio.empty()) return {};
    const std::vector<uint8_t> v = ReadFileBytes(video);
    const std::vector<uint8_t> a = ReadFileBytes(audio);
    std::vector<uint8_t> out;
    uint8_t counter = 0;
    auto pva = [&](uint8_t stream, const std::vector<uint8_t>& payload, bool pts,
                   uint32_t pts_ticks) {
        out.insert(out.end(),
                   {'A', 'V', stream, counter++, 0x55, static_cast<uint8_t>(pts ? 0x10 : 0)});
        const size_t length = payload.size() + (pts ? 4 : 0);
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(length));
        if (pts) {
            for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(pts_ticks >> s));
        }
        out.insert(out.end(), payload.begin(), payload.end());
    };
    const size_t video_chunk = 4000, audio_chunk = 1152;
    size_t vi = 0, ai = 0;
    // Two seconds of each: spread the chunks evenly over the time line.
    const size_t video_chunks = (v.size() + video_chunk - 1) / video_chunk;
    const size_t audio_chunks = (a.size() + audio_chunk - 1) / audio_chunk;
    for (size_t k = 0; vi < v.size() || ai < a.size(); ++k) {
        if (vi < v.size()) {
            std::vector<uint8_t> chunk(
                v.begin() + static_cast<long>(vi),
                v.begin() + static_cast<long>(std::min(v.size(), vi + video_chunk)));
            pva(1, chunk, true,
                static_cast<uint32_t>(90000 + 180000 * (vi / video_chunk) / video_chunks));
            vi += video_chunk;
        }
        while (ai < a.size() && ai / audio_chunk * video_chunks <= k * audio_chunks) {
            std::vector<uint8_t> chunk(
                a.begin() + static_cast<long>(ai),
                a.begin() + static_cast<long>(std::min(a.size(), ai + audio_chunk)));
            std::vector<uint8_t> pes;
            AppendPes(pes, 0xC0, chunk,
                      90000 + 180000 * static_cast<int64_t>(ai / audio_chunk) /
                                  static_cast<int64_t>(audio_chunks));
            pva(2, pes, false, 0);
            ai += audio_chunk;
        }
    }
    return WriteTempFile("stream.pva", out);
}

std::vector<uint8_t> MakeProgramStream(const ProgramStreamSpec& spec) {
    constexpr int kPackBytes = 2048;
    const int packs = spec.packs, pack_byte_rate = spec.pack_byte_rate,
              actual_byte_rate = spec.actual_byte_rate;
    const int ext_n = spec.ext_n, ext_d = spec.ext_d;
    const int64_t first_pts_ticks = spec.first_pts_ticks;
    std::vector<uint8_t> out;
    for (int i = 0; i < packs; ++i) {
        BitWriter w;
        w.Put(0x000001BA, 32);
        const int64_t scr =
            first_pts_ticks + int64_t{i} * kPackBytes * 90000 / actual_byte_rate - 9000;
        w.Put(1, 2);
        w.Put(static_cast<uint64_t>(scr >> 30) & 7, 3);
        w.Put(1, 1);
        w.Put(static_cast<uint64_t>(scr >> 15) & 0x7FFF, 15);
        w.Put(1, 1);
        w.Put(static_cast<uint64_t>(scr) & 0x7FFF, 15);
        w.Put(1, 1);
        w.Put(0, 9);
        w.Put(1, 1);
        w.Put(static_cast<uint64_t>(pack_byte_rate / 50), 22);
        w.Put(3, 2);
        w.Put(0x1F, 5);
        w.Put(0, 3);
        // Video PES with a PTS.
        const int pes_length = kPackBytes - 14 - 6;
        const bool audio =
            spec.audio_from >= 0 && i >= spec.audio_from && (i - spec.audio_from) % 4 == 0;
        w.Put(audio ? 0x000001C0 : 0x000001E0, 32);
        w.Put(static_cast<uint64_t>(pes_length), 16);
        const bool scrambled = spec.scrambled_from >= 0 && i >= spec.scrambled_from;
        w.Put(scrambled ? 0x90 : 0x80, 8);
        w.Put(0x80, 8);
        w.Put(5, 8);
        const int64_t jump = spec.jump_at >= 0 && i >= spec.jump_at ? spec.jump_ticks : 0;
        PutTimestamp(w, 2,
                     first_pts_ticks + int64_t{i} * kPackBytes * 90000 / actual_byte_rate + jump);
        int payload = pes_length - 8;
        if (audio) {
            // MPEG-1 layer II, 128 kbit/s, 48 kHz, stereo.
            w.Put(0xFFFD8404, 32);
            payload -= 4;
        } else if (i == 0) {
            w.Put(0x000001B3, 32);
            w.Put(720, 12);
            w.Put(576, 12);
            w.Put(2, 4);  // 4:3
            w.Put(3, 4);  // 25 fps
            w.Put(0x3FFFF, 18);
            w.Put(1, 1);
            w.Put(112, 10);
            w.Put(0, 1);
            w.Put(0, 1);
            w.Put(0, 1);
            w.Put(0x000001B5, 32);
            w.Put(1, 4);
            w.Put(0, 1);
            w.Put(4, 3);  // Main profile
            w.Put(8, 4);  // Main level
            w.Put(1, 1);
            w.Put(1, 2);
            w.Put(0, 2);
            w.Put(0, 2);
            w.Put(0, 12);
            w.Put(1, 1);
            w.Put(0, 8);
            w.Put(0, 1);
            w.Put(static_cast<uint64_t>(ext_n), 2);
            w.Put(static_cast<uint64_t>(ext_d), 5);
            payload -= 12 + 10;
        }
        for (int k = 0; k < payload; ++k) w.Put(0x55, 8);
        out.insert(out.end(), w.bytes.begin(), w.bytes.end());
    }
    return out;
}

}  // namespace rizuvira::demux::testing
