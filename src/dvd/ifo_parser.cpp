// SPDX-License-Identifier: GPL-2.0-or-later
#include "dvd/ifo_parser.h"

#include <algorithm>
#include <cstring>

namespace rizuvira::dvd {
namespace {

// Bounds-checked big-endian reads; out of range reads fail instead of reading.
class IfoBytes {
public:
    explicit IfoBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool Has(size_t offset, size_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    uint8_t U8(size_t offset) const { return bytes_[offset]; }
    uint16_t U16(size_t offset) const {
        return static_cast<uint16_t>(bytes_[offset] << 8 | bytes_[offset + 1]);
    }
    uint32_t U32(size_t offset) const {
        return static_cast<uint32_t>(bytes_[offset]) << 24 |
               static_cast<uint32_t>(bytes_[offset + 1]) << 16 |
               static_cast<uint32_t>(bytes_[offset + 2]) << 8 | bytes_[offset + 3];
    }
    bool StartsWith(const char* text) const {
        const size_t n = std::strlen(text);
        return Has(0, n) && std::memcmp(bytes_.data(), text, n) == 0;
    }

private:
    std::span<const uint8_t> bytes_;
};

// A table that starts at a sector pointer and gives its own last byte at +4.
// Returns the byte offset of the table, or nothing if it does not fit.
std::optional<size_t> TableAt(const IfoBytes& ifo, size_t pointer_offset, size_t header_bytes) {
    if (!ifo.Has(pointer_offset, 4)) return std::nullopt;
    const uint32_t sector = ifo.U32(pointer_offset);
    if (sector == 0) return std::nullopt;
    const size_t offset = static_cast<size_t>(sector) * kIfoSectorBytes;
    if (!ifo.Has(offset, header_bytes)) return std::nullopt;
    return offset;
}

std::optional<IfoProgramChain> ParseChain(const IfoBytes& ifo, size_t at) {
    constexpr size_t kHeaderBytes = 0xEC;
    if (!ifo.Has(at, kHeaderBytes)) return std::nullopt;
    IfoProgramChain chain;
    const int programs = ifo.U8(at + 2);
    const int cells = ifo.U8(at + 3);
    chain.playback_time = {ifo.U8(at + 4), ifo.U8(at + 5), ifo.U8(at + 6), ifo.U8(at + 7)};
    for (int i = 0; i < 8; ++i) chain.audio_control[i] = ifo.U16(at + 0x0C + 2 * i);
    for (int i = 0; i < 32; ++i) chain.subpicture_control[i] = ifo.U32(at + 0x1C + 4 * i);
    for (int i = 0; i < 16; ++i) chain.palette[i] = ifo.U32(at + 0xA4 + 4 * i);
    if (programs == 0 || cells == 0) return chain;  // an empty chain plays nothing

    const uint16_t map_offset = ifo.U16(at + 0xE6);
    const uint16_t cells_offset = ifo.U16(at + 0xE8);
    if (map_offset == 0 || cells_offset == 0 || !ifo.Has(at + map_offset, programs) ||
        !ifo.Has(at + cells_offset, static_cast<size_t>(cells) * 24))
        return std::nullopt;
    for (int p = 0; p < programs; ++p) {
        const uint8_t first_cell = ifo.U8(at + map_offset + p);
        if (first_cell < 1 || first_cell > cells) return std::nullopt;
        chain.program_cells.push_back(first_cell);
    }
    for (int c = 0; c < cells; ++c) {
        const size_t cell_at = at + cells_offset + static_cast<size_t>(c) * 24;
        IfoCell cell;
        cell.block_mode = ifo.U8(cell_at) >> 6;
        cell.block_type = (ifo.U8(cell_at) >> 4) & 3;
        cell.playback_time = {ifo.U8(cell_at + 4), ifo.U8(cell_at + 5), ifo.U8(cell_at + 6),
                              ifo.U8(cell_at + 7)};
        cell.first_sector = ifo.U32(cell_at + 8);
        cell.last_sector = ifo.U32(cell_at + 20);
        chain.cells.push_back(cell);
    }
    return chain;
}

std::vector<std::vector<IfoPartOfTitle>> ParsePartsOfTitle(const IfoBytes& ifo) {
    std::vector<std::vector<IfoPartOfTitle>> titles;
    const std::optional<size_t> table = TableAt(ifo, 0xC8, 8);
    if (!table) return titles;
    const size_t at = *table;
    const int count = ifo.U16(at);
    const size_t end = at + static_cast<size_t>(ifo.U32(at + 4)) + 1;
    if (count < 1 || count > 99 || !ifo.Has(at, end - at) || !ifo.Has(at + 8, 4u * count))
        return titles;
    for (int t = 0; t < count; ++t) {
        const size_t first = at + ifo.U32(at + 8 + 4 * t);
        const size_t last = t + 1 < count ? at + ifo.U32(at + 8 + 4 * (t + 1)) : end;
        std::vector<IfoPartOfTitle> parts;
        if (first >= at + 8 && first <= last && last <= end) {
            for (size_t p = first; p + 4 <= last && parts.size() < 999; p += 4)
                parts.push_back({ifo.U16(p), ifo.U16(p + 2)});
        }
        titles.push_back(std::move(parts));
    }
    return titles;
}

std::vector<std::optional<IfoProgramChain>> ParseChains(const IfoBytes& ifo) {
    std::vector<std::optional<IfoProgramChain>> chains;
    const std::optional<size_t> table = TableAt(ifo, 0xCC, 8);
    if (!table) return chains;
    const size_t at = *table;
    const int count = ifo.U16(at);
    if (!ifo.Has(at + 8, 8u * count)) return chains;
    for (int i = 0; i < count; ++i) {
        const uint32_t offset = ifo.U32(at + 8 + 8 * i + 4);
        chains.push_back(offset >= 8 ? ParseChain(ifo, at + offset) : std::nullopt);
    }
    return chains;
}

}  // namespace

std::optional<VmgInfo> ParseVideoManagerIfo(std::span<const uint8_t> file) {
    const IfoBytes ifo(file);
    if (!ifo.StartsWith("DVDVIDEO-VMG")) return std::nullopt;
    const std::optional<size_t> table = TableAt(ifo, 0xC4, 8);
    if (!table) return std::nullopt;
    const size_t at = *table;
    const int count = ifo.U16(at);
    if (count < 1 || count > 99 || !ifo.Has(at + 8, 12u * count)) return std::nullopt;
    VmgInfo vmg;
    for (int t = 0; t < count; ++t) {
        const size_t row = at + 8 + 12 * t;
        IfoTitle title;
        title.angles = ifo.U8(row + 1);
        title.chapters = ifo.U16(row + 2);
        title.title_set = ifo.U8(row + 6);
        title.vts_title = ifo.U8(row + 7);
        vmg.titles.push_back(title);
    }
    return vmg;
}

std::optional<VtsInfo> ParseTitleSetIfo(std::span<const uint8_t> file) {
    const IfoBytes ifo(file);
    if (!ifo.StartsWith("DVDVIDEO-VTS") || !ifo.Has(0x256, 32 * 6)) return std::nullopt;
    VtsInfo vts;
    const uint8_t video = ifo.U8(0x200);
    vts.video.video_format = (video >> 4) & 3;
    vts.video.aspect_ratio = (video >> 2) & 3;
    vts.video.picture_size = (ifo.U8(0x201) >> 2) & 3;

    const int audio_count = std::min<int>(ifo.U16(0x202), 8);
    for (int i = 0; i < audio_count; ++i) {
        const size_t row = 0x204 + 8 * i;
        IfoAudioAttributes audio;
        audio.coding = ifo.U8(row) >> 5;
        audio.language_type = (ifo.U8(row) >> 2) & 3;
        audio.channels = ifo.U8(row + 1) & 7;
        static constexpr int kRates[] = {48000, 96000, 0, 0};
        audio.sample_rate_hz = kRates[(ifo.U8(row + 1) >> 4) & 3];
        audio.language = ifo.U16(row + 2);
        vts.audio.push_back(audio);
    }
    const int subpicture_count = std::min<int>(ifo.U16(0x254), 32);
    for (int i = 0; i < subpicture_count; ++i) {
        const size_t row = 0x256 + 6 * i;
        vts.subpictures.push_back({ifo.U8(row) & 3, ifo.U16(row + 2)});
    }
    vts.titles = ParsePartsOfTitle(ifo);
    vts.chains = ParseChains(ifo);
    return vts;
}

namespace {

int FromBcd(uint8_t value) {
    return (value >> 4) * 10 + (value & 0x0F);
}

}  // namespace

double DvdTimeToMs(uint8_t hour, uint8_t minute, uint8_t second, uint8_t frame_u) {
    const int64_t seconds = FromBcd(hour) * 3600LL + FromBcd(minute) * 60LL + FromBcd(second);
    const int64_t frames = FromBcd(frame_u & 0x3F);
    switch (frame_u >> 6) {
        case 1:  // 25 fps
            return static_cast<double>(seconds * 25 + frames) * 40.0;
        case 3:  // NTSC: 30 frames per timecode second, each lasting 1001/30000 s
            return static_cast<double>(seconds * 30 + frames) * 1001.0 / 30.0;
        default:
            return static_cast<double>(seconds) * 1000.0;
    }
}

}  // namespace rizuvira::dvd
