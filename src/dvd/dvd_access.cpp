// SPDX-License-Identifier: GPL-2.0-or-later
#include "dvd/dvd_access.h"

#include "core/file_checks.h"
#include "dvd/disc_image.h"
#include "dvd/ifo_parser.h"

#include <dvdread/dvd_reader.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace rizuvira::dvd {
namespace {

// --- libdvdread handles -----------------------------------------------------

struct ReaderCloser {
    void operator()(dvd_reader_t* reader) const { DVDClose(reader); }
};
struct FileCloser {
    void operator()(dvd_file_t* file) const { DVDCloseFile(file); }
};
using ReaderPtr = std::unique_ptr<dvd_reader_t, ReaderCloser>;
using FilePtr = std::unique_ptr<dvd_file_t, FileCloser>;

// libdvdread reports through this instead of standard error; its words only
// matter when someone debugs a disc, so they are shown on request.
void DvdLog(void*, dvd_logger_level_t level, const char* format, va_list args) {
    static const bool verbose = std::getenv("RIZUVIRA_DVD_LOG") != nullptr;
    if (!verbose) return;
    std::fprintf(stderr, "libdvdread[%d]: ", static_cast<int>(level));
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}
const dvd_logger_cb kLogger = {DvdLog};

// Reads a whole information file (or its backup when the file fails to parse).
std::vector<uint8_t> ReadInfoFile(dvd_reader_t* reader, int title_set, dvd_read_domain_t domain) {
    constexpr size_t kLargestIfoBytes = 16u << 20;
    std::vector<uint8_t> bytes;
    FilePtr file(DVDOpenFile(reader, title_set, domain));
    if (!file) return bytes;
    const ssize_t sectors = DVDFileSize(file.get());
    if (sectors <= 0) return bytes;
    bytes.resize(
        std::min<size_t>(static_cast<size_t>(sectors) * kDvdSectorBytes, kLargestIfoBytes));
    if (DVDFileSeek(file.get(), 0) != 0) return {};
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = DVDReadBytes(file.get(), bytes.data() + done, bytes.size() - done);
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

template <typename Info, typename Parse>
std::optional<Info> LoadInfoFile(dvd_reader_t* reader, int title_set, Parse parse) {
    for (dvd_read_domain_t domain : {DVD_READ_INFO_FILE, DVD_READ_INFO_BACKUP_FILE}) {
        const std::vector<uint8_t> bytes = ReadInfoFile(reader, title_set, domain);
        if (std::optional<Info> info = parse(std::span<const uint8_t>(bytes))) return info;
    }
    return std::nullopt;
}

// Both copies of a title set's information that parse, the IFO first: an IFO
// can parse and still be useless for a title (garbled tables), and then its
// backup may serve.
std::vector<VtsInfo> LoadTitleSetCopies(dvd_reader_t* reader, int title_set) {
    std::vector<VtsInfo> copies;
    for (dvd_read_domain_t domain : {DVD_READ_INFO_FILE, DVD_READ_INFO_BACKUP_FILE}) {
        const std::vector<uint8_t> bytes = ReadInfoFile(reader, title_set, domain);
        if (std::optional<VtsInfo> info = ParseTitleSetIfo(std::span<const uint8_t>(bytes)))
            copies.push_back(std::move(*info));
    }
    return copies;
}

// --- the model of a disc ----------------------------------------------------

struct CellRange {
    uint32_t first_sector;  // inside the title set's VOB files
    uint32_t last_sector;   // inclusive
    uint32_t Sectors() const { return last_sector - first_sector + 1; }
};

// Where a cell starts inside its chapter: sectors and playing time before it.
struct CellStart {
    uint64_t sectors = 0;
    double ms = 0;
};

struct TitleModel {
    int title_set = 0;
    std::vector<std::vector<CellRange>> chapter_cells;  // per chapter, in play order
    std::vector<double> chapter_ms;                     // playing time of each chapter
    std::vector<std::vector<CellStart>> chapter_cell_starts;
    DvdVideoInfo video{};
    DvdAudioInfo audio{};
    uint32_t palette[16] = {};
};

// The cells of one program chain from cell `first` (from 1) up to `last`,
// skipping all but the first angle of a multi-angle block. Cells keep the
// extent the IFO gives them even where the VOB files end sooner (a file cut
// short): reading then fails there and the title is reported as not whole.
// `playback_ms` gets the playing time of the cells kept, `starts` where each
// of them starts.
std::vector<CellRange> ChainCells(const IfoProgramChain& chain, int first, int last,
                                  double* playback_ms, std::vector<CellStart>* starts) {
    std::vector<CellRange> cells;
    *playback_ms = 0;
    uint64_t sectors = 0;
    const int count = static_cast<int>(chain.cells.size());
    for (int i = std::max(first, 1); i <= last && i <= count; ++i) {
        const IfoCell& cell = chain.cells[i - 1];
        if (cell.block_type == 1 && cell.block_mode != 1) continue;
        if (cell.last_sector < cell.first_sector) continue;
        // The last sector number stays below UINT32_MAX so a cell's size fits.
        const CellRange range{std::min(cell.first_sector, UINT32_MAX - 1),
                              std::min(cell.last_sector, UINT32_MAX - 1)};
        starts->push_back({sectors, *playback_ms});
        sectors += range.Sectors();
        const IfoPlaybackTime& time = cell.playback_time;
        *playback_ms += DvdTimeToMs(time.hour, time.minute, time.second, time.frame_u);
        if (!cells.empty() && cells.back().last_sector + 1 == range.first_sector)
            cells.back().last_sector = range.last_sector;
        else
            cells.push_back(range);
    }
    return cells;
}

const IfoProgramChain* ChainOf(const VtsInfo& vts, int pgcn) {
    if (pgcn < 1 || pgcn > static_cast<int>(vts.chains.size()) || !vts.chains[pgcn - 1])
        return nullptr;
    const IfoProgramChain* chain = &*vts.chains[pgcn - 1];
    return chain->program_cells.empty() ? nullptr : chain;
}

class DvdDisc {
public:
    static std::shared_ptr<DvdDisc> Open(const std::string& path);

    void GetInfo(TitleTable* info) const { *info = info_; }
    int SetArea(int title, int chapter);
    int SetStopPos(int title, int chapter);
    int64_t Seek(int64_t offset);
    int Read(uint8_t* buffer, int size);
    bool VideoInfo(int title, DvdVideoInfo* video) const;
    bool AudioInfo(int title, DvdAudioInfo* audio) const;
    bool Palette(int title, uint32_t palette[16]) const;
    double ChapterMs(int title, int chapter) const;
    bool FindTime(double ms, DvdCellSpan* span) const;
    std::string ReadProblem(int title, int chapter);

    std::mutex mutex;  // held by the public functions around every call above

private:
    bool Describe();
    // Whether the title has chapters of some length, in sectors and in time.
    bool Playable(int title) const;
    void DescribeTitle(int index, const IfoTitle& entry, const VtsInfo& vts);
    void RebuildArea();
    bool OpenVobs(int title_set);

    ReaderPtr reader_;
    std::string folder_;  // the disc's folder, holding VIDEO_TS; empty for an image or a drive
    TitleTable info_{};
    std::vector<TitleModel> titles_;

    // The area being read.
    int area_title_ = -1;
    int area_chapter_ = 0;
    int stop_title_ = -1;
    int stop_chapter_ = 0;
    std::vector<CellRange> area_cells_;
    uint64_t area_sectors_ = 0;
    std::vector<CellStart> area_cell_starts_;  // every cell of the area, from the area's start
    size_t cell_index_ = 0;                    // cell of the next sector
    uint32_t cell_offset_ = 0;                 // sectors into that cell
    uint64_t position_sectors_ = 0;
    int vob_title_set_ = 0;
    FilePtr vobs_;
};

std::string NormalisePath(const std::string& path) {
    namespace fs = std::filesystem;
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    std::error_code ec;
    if (fs::is_directory(trimmed, ec)) {
        std::string name = fs::path(trimmed).filename().string();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (name == "VIDEO_TS") {
            fs::path parent = fs::path(trimmed).parent_path();
            return parent.empty() ? std::string(".") : parent.string();
        }
    }
    return trimmed;
}

// In a disc folder, the first of the disc's files (IFO, BUP, VOB) that is
// not a regular file, with what it is: libdvdread would block in opening a
// named pipe. Empty when there is none, or `path` is not a folder.
std::string UnreadableDiscFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder = NormalisePath(path);
    if (!fs::is_directory(folder, ec)) return {};
    for (const fs::path& where : {folder / "VIDEO_TS", folder / "video_ts", folder}) {
        for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
            std::string ext = it->path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            if (ext != ".IFO" && ext != ".BUP" && ext != ".VOB") continue;
            if (std::string reason = core::NotAFileReason(it->path()); !reason.empty())
                return it->path().string() + reason;
        }
        ec.clear();
    }
    return {};
}

// Folders, image files and drives can be read where libdvdread wants; a pipe
// or a socket cannot seek, and libdvdread does not clean up after one.
bool SeekableDiscPath(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_type type = fs::status(path, ec).type();
    return !ec && (type == fs::file_type::directory || type == fs::file_type::regular ||
                   type == fs::file_type::block);
}

std::shared_ptr<DvdDisc> DvdDisc::Open(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !SeekableDiscPath(path) || !UnreadableDiscFile(path).empty())
        return nullptr;
    auto disc = std::make_shared<DvdDisc>();
    const std::string normalised = NormalisePath(path);
    disc->reader_.reset(DVDOpen2(nullptr, &kLogger, normalised.c_str()));
    if (!disc->reader_ || !disc->Describe()) return nullptr;
    if (std::filesystem::is_directory(normalised, ec)) disc->folder_ = normalised;
    return disc;
}

bool DvdDisc::Describe() {
    const std::optional<VmgInfo> vmg =
        LoadInfoFile<VmgInfo>(reader_.get(), 0, ParseVideoManagerIfo);
    if (!vmg) return false;
    const int count = std::min<int>(static_cast<int>(vmg->titles.size()), kDvdMaxTitles);

    std::map<int, std::vector<VtsInfo>> title_sets;
    titles_.resize(count);
    for (int t = 0; t < count; ++t) {
        const IfoTitle& entry = vmg->titles[t];
        if (entry.title_set < 1 || entry.title_set > 99) continue;
        auto [it, added] = title_sets.try_emplace(entry.title_set);
        if (added) it->second = LoadTitleSetCopies(reader_.get(), entry.title_set);
        for (const VtsInfo& vts : it->second) {
            info_.titles[t] = DvdTitleInfo{};
            titles_[t] = TitleModel{};
            DescribeTitle(t, entry, vts);
            if (Playable(t)) break;
        }
    }
    info_.title_count = count;
    return true;
}

bool DvdDisc::Playable(int title) const {
    const DvdTitleInfo& info = info_.titles[title];
    uint64_t sectors = 0;
    for (int k = 0; k < info.chapters; ++k) sectors += info.chapter_sectors[k];
    return titles_[title].title_set != 0 && sectors > 0 && info.duration_ms > 0;
}

void DvdDisc::DescribeTitle(int index, const IfoTitle& entry, const VtsInfo& vts) {
    DvdTitleInfo& info = info_.titles[index];
    TitleModel& model = titles_[index];
    if (entry.vts_title < 1 || entry.vts_title > static_cast<int>(vts.titles.size())) return;
    const std::vector<IfoPartOfTitle>& parts = vts.titles[entry.vts_title - 1];

    // Chapters: each part of title names a program of a chain; the chapter
    // runs to the next chapter's program in the same chain, or the chain's end.
    const int chapters = std::min<int>(static_cast<int>(parts.size()), kDvdMaxChapters);
    const IfoProgramChain* first_chain = nullptr;
    std::vector<int> chains_played;
    for (int k = 0; k < chapters; ++k) {
        const IfoPartOfTitle& part = parts[k];
        const IfoProgramChain* chain = ChainOf(vts, part.pgcn);
        const int programs = chain ? static_cast<int>(chain->program_cells.size()) : 0;
        std::vector<CellRange> cells;
        std::vector<CellStart> starts;
        double playback_ms = 0;
        if (chain && part.pgn >= 1 && part.pgn <= programs) {
            if (!first_chain) first_chain = chain;
            if (std::find(chains_played.begin(), chains_played.end(), part.pgcn) ==
                chains_played.end())
                chains_played.push_back(part.pgcn);
            const int first_cell = chain->program_cells[part.pgn - 1];
            int last_cell = static_cast<int>(chain->cells.size());
            if (k + 1 < static_cast<int>(parts.size())) {
                const IfoPartOfTitle& next = parts[k + 1];
                if (next.pgcn == part.pgcn && next.pgn > part.pgn && next.pgn <= programs)
                    last_cell = chain->program_cells[next.pgn - 1] - 1;
            }
            cells = ChainCells(*chain, first_cell, last_cell, &playback_ms, &starts);
        }
        uint64_t sectors = 0;
        for (const CellRange& cell : cells) sectors += cell.Sectors();
        info.chapter_sectors[k] = static_cast<uint32_t>(std::min<uint64_t>(sectors, UINT32_MAX));
        model.chapter_cells.push_back(std::move(cells));
        model.chapter_ms.push_back(playback_ms);
        model.chapter_cell_starts.push_back(std::move(starts));
    }
    info.chapters = chapters;
    if (!first_chain) return;
    model.title_set = entry.title_set;

    double duration_ms = 0;
    for (int pgcn : chains_played) {
        const IfoPlaybackTime& time = ChainOf(vts, pgcn)->playback_time;
        duration_ms += DvdTimeToMs(time.hour, time.minute, time.second, time.frame_u);
    }
    // Some discs leave the chain's time at zero; their cells still tell.
    if (duration_ms <= 0)
        for (double chapter_ms : model.chapter_ms) duration_ms += chapter_ms;
    info.duration_ms = duration_ms;

    // Picture.
    const bool pal = vts.video.video_format == 1;
    static constexpr int kWidths[] = {720, 704, 352, 352};
    model.video.width = kWidths[vts.video.picture_size & 3];
    model.video.height = pal ? 576 : 480;
    if (vts.video.picture_size == 3) model.video.height /= 2;
    model.video.frame_rate_num = pal ? 25 : 30000;
    model.video.frame_rate_den = pal ? 1 : 1001;
    const bool wide = vts.video.aspect_ratio == 3;
    model.video.aspect_x = wide ? 16 : 4;
    model.video.aspect_y = wide ? 9 : 3;
    std::memcpy(model.palette, first_chain->palette, sizeof(model.palette));

    // Audio: the chain's control words say which attribute rows are present and
    // under which stream number they are multiplexed.
    for (size_t i = 0; i < vts.audio.size() && i < 8; ++i) {
        const uint16_t control = first_chain->audio_control[i];
        if (!(control & 0x8000)) continue;
        const int number = (control >> 8) & 0x07;
        const IfoAudioAttributes& attr = vts.audio[i];
        int32_t id = 0xBD80 + number;
        int32_t coding = kDvdAudioOther;
        switch (attr.coding) {
            case 0:
                coding = kDvdAudioAc3;
                break;
            case 2:
                id = (0xC0 + number) << 8;
                coding = kDvdAudioMpeg1;
                break;
            case 3:
                id = (0xC0 + number) << 8;
                coding = kDvdAudioMpeg2;
                break;
            case 4:
                id = 0xBDA0 + number;
                coding = kDvdAudioLpcm;
                break;
            case 6:
                id = 0xBD88 + number;
                coding = kDvdAudioDts;
                break;
            default:
                break;
        }
        const int slot = info.audio_count++;
        info.audio_id[slot] = id;
        info.audio_coding[slot] = coding;
        info.audio_channels[slot] = attr.channels;
        model.audio.sample_rate_hz[slot] = attr.sample_rate_hz;
        model.audio.count = info.audio_count;
        info.audio_language[slot] = attr.language_type == 1 ? attr.language : 0;
    }

    // Subpictures: the stream number depends on the picture's shape.
    for (size_t i = 0; i < vts.subpictures.size() && i < kDvdMaxStreams; ++i) {
        const uint32_t control = first_chain->subpicture_control[i];
        if (!(control & 0x80000000u)) continue;
        const int number = wide ? (control >> 16) & 0x1F : (control >> 24) & 0x1F;
        const int slot = info.subtitle_count++;
        info.subtitle_id[slot] = 0xBD20 + number;
        info.subtitle_language[slot] =
            vts.subpictures[i].language_type == 1 ? vts.subpictures[i].language : 0;
    }
}

bool DvdDisc::OpenVobs(int title_set) {
    if (vobs_ && vob_title_set_ == title_set) return true;
    vobs_.reset(DVDOpenFile(reader_.get(), title_set, DVD_READ_TITLE_VOBS));
    vob_title_set_ = vobs_ ? title_set : 0;
    return vobs_ != nullptr;
}

void DvdDisc::RebuildArea() {
    area_cells_.clear();
    area_cell_starts_.clear();
    area_sectors_ = 0;
    cell_index_ = 0;
    cell_offset_ = 0;
    position_sectors_ = 0;
    if (area_title_ < 0) return;
    const TitleModel& model = titles_[area_title_];
    int end = static_cast<int>(model.chapter_cells.size());
    if (stop_title_ == area_title_ && stop_chapter_ > area_chapter_ && stop_chapter_ < end)
        end = stop_chapter_;
    double area_ms = 0;
    for (int k = area_chapter_; k < end; ++k) {
        for (const CellStart& start : model.chapter_cell_starts[k])
            area_cell_starts_.push_back({area_sectors_ + start.sectors, area_ms + start.ms});
        area_ms += model.chapter_ms[k];
        for (const CellRange& cell : model.chapter_cells[k]) {
            if (!area_cells_.empty() && area_cells_.back().last_sector + 1 == cell.first_sector)
                area_cells_.back().last_sector = cell.last_sector;
            else
                area_cells_.push_back(cell);
            area_sectors_ += cell.Sectors();
        }
    }
}

int DvdDisc::SetArea(int title, int chapter) {
    if (title < 0 || title >= static_cast<int>(titles_.size()) || chapter < 0 ||
        chapter >= static_cast<int>(titles_[title].chapter_cells.size())) {
        area_title_ = -1;
        RebuildArea();
        return -1;
    }
    area_title_ = title;
    area_chapter_ = chapter;
    RebuildArea();
    return 0;
}

int DvdDisc::SetStopPos(int title, int chapter) {
    stop_title_ = title;
    stop_chapter_ = chapter;
    RebuildArea();
    return area_title_ < 0 ? -1 : 0;
}

int64_t DvdDisc::Seek(int64_t offset) {
    if (area_title_ < 0 || offset < 0) return -1;
    uint64_t sector = static_cast<uint64_t>(offset) / kDvdSectorBytes;
    if (sector > area_sectors_) sector = area_sectors_;
    cell_index_ = 0;
    cell_offset_ = 0;
    uint64_t before = 0;
    while (cell_index_ < area_cells_.size() &&
           before + area_cells_[cell_index_].Sectors() <= sector) {
        before += area_cells_[cell_index_].Sectors();
        ++cell_index_;
    }
    cell_offset_ = static_cast<uint32_t>(sector - before);
    position_sectors_ = sector;
    return static_cast<int64_t>(sector) * kDvdSectorBytes;
}

int DvdDisc::Read(uint8_t* buffer, int size) {
    if (area_title_ < 0 || !buffer || size < kDvdSectorBytes) return -1;
    if (cell_index_ >= area_cells_.size()) return 0;
    if (!OpenVobs(titles_[area_title_].title_set)) return -1;
    int wanted = size / kDvdSectorBytes;
    int done = 0;
    while (wanted > 0 && cell_index_ < area_cells_.size()) {
        const CellRange& cell = area_cells_[cell_index_];
        const uint32_t left = cell.Sectors() - cell_offset_;
        const int count = static_cast<int>(std::min<uint32_t>(left, static_cast<uint32_t>(wanted)));
        const ssize_t got =
            DVDReadBlocks(vobs_.get(), static_cast<int>(cell.first_sector + cell_offset_),
                          static_cast<size_t>(count), buffer + done * kDvdSectorBytes);
        if (got <= 0) break;
        done += static_cast<int>(got);
        wanted -= static_cast<int>(got);
        position_sectors_ += static_cast<uint64_t>(got);
        cell_offset_ += static_cast<uint32_t>(got);
        if (cell_offset_ >= cell.Sectors()) {
            ++cell_index_;
            cell_offset_ = 0;
        }
        if (got < count) break;
    }
    return done > 0 ? done * kDvdSectorBytes : -1;
}

std::string DvdDisc::ReadProblem(int title, int chapter) {
    if (title < 0 || title >= static_cast<int>(titles_.size()) || !Playable(title))
        return "its title set's information is damaged or missing";
    if (SetArea(title, std::max(chapter, 0)) != 0) return "it has no such chapter";
    const int title_set = titles_[title].title_set;
    char name[16];
    std::snprintf(name, sizeof(name), "VTS_%02d_1.VOB", title_set);
    if (!folder_.empty()) {
        // Only the first file of the set says why nothing opens.
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::path file = fs::path(folder_) / "VIDEO_TS" / name;
        if (!fs::exists(file, ec)) file = fs::path(folder_) / name;
        if (!fs::exists(file, ec)) return std::string(name) + " is missing";
        if (std::string reason = core::NotAFileReason(file); !reason.empty())
            return std::string(name) + reason;
        if (std::FILE* stream = std::fopen(file.c_str(), "rb")) {
            std::fclose(stream);
        } else {
            return std::string(name) + " cannot be opened: " + std::strerror(errno);
        }
        if (fs::file_size(file, ec) == 0) return std::string(name) + " is empty";
    }
    uint8_t sector[kDvdSectorBytes];
    if (Read(sector, kDvdSectorBytes) <= 0) return "its video files (VOB) end before it starts";
    if (sector[0] != 0 || sector[1] != 0 || sector[2] != 1 || sector[3] != 0xBA)
        return "its first sector holds no MPEG data (zeroed or damaged sectors)";
    return {};
}

bool DvdDisc::VideoInfo(int title, DvdVideoInfo* video) const {
    if (title < 0 || title >= static_cast<int>(titles_.size()) || !video) return false;
    *video = titles_[title].video;
    return titles_[title].title_set != 0;
}

bool DvdDisc::AudioInfo(int title, DvdAudioInfo* audio) const {
    if (title < 0 || title >= static_cast<int>(titles_.size()) || !audio) return false;
    *audio = titles_[title].audio;
    return titles_[title].title_set != 0;
}

bool DvdDisc::Palette(int title, uint32_t palette[16]) const {
    if (title < 0 || title >= static_cast<int>(titles_.size()) || !palette) return false;
    std::memcpy(palette, titles_[title].palette, sizeof(titles_[title].palette));
    return titles_[title].title_set != 0;
}

bool DvdDisc::FindTime(double ms, DvdCellSpan* span) const {
    if (area_cell_starts_.empty() || !span) return false;
    size_t i = 0;
    while (i + 1 < area_cell_starts_.size() && area_cell_starts_[i + 1].ms <= ms) ++i;
    span->first_byte = static_cast<int64_t>(area_cell_starts_[i].sectors) * kDvdSectorBytes;
    span->end_byte =
        static_cast<int64_t>(i + 1 < area_cell_starts_.size() ? area_cell_starts_[i + 1].sectors
                                                              : area_sectors_) *
        kDvdSectorBytes;
    span->start_ms = area_cell_starts_[i].ms;
    return true;
}

double DvdDisc::ChapterMs(int title, int chapter) const {
    if (title < 0 || title >= static_cast<int>(titles_.size())) return -1;
    const std::vector<double>& chapters = titles_[title].chapter_ms;
    if (chapter < 0 || chapter >= static_cast<int>(chapters.size())) return -1;
    return chapters[chapter];
}

// --- handles ----------------------------------------------------------------

std::mutex g_handles_mutex;
std::map<int32_t, std::shared_ptr<DvdDisc>> g_handles;
int32_t g_next_handle = 1;

std::shared_ptr<DvdDisc> Find(int32_t handle) {
    std::lock_guard lock(g_handles_mutex);
    auto it = g_handles.find(handle);
    return it == g_handles.end() ? nullptr : it->second;
}

}  // namespace

std::string DiscVolumeName(const std::string& path) {
    if (path.empty() || !SeekableDiscPath(path)) return {};
    std::unique_ptr<dvd_reader_t, decltype(&DVDClose)> reader(
        DVDOpen2(nullptr, &kLogger, NormalisePath(path).c_str()), &DVDClose);
    if (!reader) return {};
    char name[33] = {};
    if (DVDUDFVolumeInfo(reader.get(), name, sizeof(name), nullptr, 0) != 0 || name[0] == '\0') {
        std::memset(name, 0, sizeof(name));
        if (DVDISOVolumeInfo(reader.get(), name, sizeof(name), nullptr, 0) != 0) return {};
    }
    std::string text(name, strnlen(name, sizeof(name) - 1));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string DiscOpenProblem(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec)
        return ": " +
               ec.message();  // missing, a symbolic link loop, a folder on the way not searchable
    switch (status.type()) {
        case fs::file_type::fifo:
            return " is a named pipe, not a disc, a disc folder or an ISO image";
        case fs::file_type::socket:
            return " is a socket, not a disc, a disc folder or an ISO image";
        case fs::file_type::character:
            return " is a character device, not a disc drive";
        default:
            break;
    }
    const std::string opened = NormalisePath(path);
    if (std::string unreadable = UnreadableDiscFile(path); !unreadable.empty())
        return ": " + unreadable;
    if (status.type() == fs::file_type::directory) {
        fs::directory_iterator list(opened, ec);
        if (ec) return ": " + ec.message();
        fs::path ifo = fs::path(opened) / "VIDEO_TS" / "VIDEO_TS.IFO";
        if (!fs::exists(ifo, ec)) ifo = fs::path(opened) / "VIDEO_TS.IFO";
        if (!fs::exists(ifo, ec))
            return " holds no VIDEO_TS folder with a VIDEO_TS.IFO, and no BDMV folder";
        std::FILE* file = std::fopen(ifo.c_str(), "rb");
        if (!file)
            return ": " + ifo.filename().string() + " cannot be opened: " + std::strerror(errno);
        std::fclose(file);
    } else if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
    } else {
        return ": " + std::string(std::strerror(errno));
    }
    if (const int32_t handle = MyDVDOpen(path.c_str())) {
        MyDVDClose(handle);
        return {};
    }
    if (status.type() != fs::file_type::directory)
        if (std::string kind = ImageKindProblem(opened); !kind.empty()) return kind;
    ReaderPtr reader(DVDOpen2(nullptr, &kLogger, opened.c_str()));
    if (!reader) return " is not a DVD: no VIDEO_TS was found on it";
    return ": its VIDEO_TS.IFO and the backup VIDEO_TS.BUP are both damaged";
}

int32_t MyDVDOpen(const char* path) {
    if (!path) return 0;
    std::shared_ptr<DvdDisc> disc = DvdDisc::Open(path);
    if (!disc) return 0;
    std::lock_guard lock(g_handles_mutex);
    while (g_next_handle == 0 || g_handles.count(g_next_handle)) ++g_next_handle;
    const int32_t handle = g_next_handle++;
    g_handles[handle] = std::move(disc);
    return handle;
}

void MyDVDGetInfo(int32_t handle, TitleTable* info) {
    if (!info) return;
    std::memset(info, 0, sizeof(*info));
    if (auto disc = Find(handle)) {
        std::lock_guard lock(disc->mutex);
        disc->GetInfo(info);
    }
}

int MyDVDSetArea(int32_t handle, int title, int chapter) {
    auto disc = Find(handle);
    if (!disc) return -1;
    std::lock_guard lock(disc->mutex);
    return disc->SetArea(title, chapter);
}

int MyDvdSetStopPos(int32_t handle, int title, int chapter) {
    auto disc = Find(handle);
    if (!disc) return -1;
    std::lock_guard lock(disc->mutex);
    return disc->SetStopPos(title, chapter);
}

int64_t MyDVDSeek(int32_t handle, int64_t offset, int origin) {
    auto disc = Find(handle);
    if (!disc || origin != 0) return -1;
    std::lock_guard lock(disc->mutex);
    return disc->Seek(offset);
}

int MyDVDRead(int32_t handle, uint8_t* buffer, int size) {
    auto disc = Find(handle);
    if (!disc) return -1;
    std::lock_guard lock(disc->mutex);
    return disc->Read(buffer, size);
}

void MyDVDClose(int32_t handle) {
    std::shared_ptr<DvdDisc> disc;
    {
        std::lock_guard lock(g_handles_mutex);
        auto it = g_handles.find(handle);
        if (it == g_handles.end()) return;
        disc = std::move(it->second);
        g_handles.erase(it);
    }
    // The disc closes here, or when a call still running on another thread ends.
}

bool MyDVDGetVideoInfo(int32_t handle, int title, DvdVideoInfo* video) {
    auto disc = Find(handle);
    if (!disc) return false;
    std::lock_guard lock(disc->mutex);
    return disc->VideoInfo(title, video);
}

bool MyDVDGetAudioInfo(int32_t handle, int title, DvdAudioInfo* audio) {
    auto disc = Find(handle);
    if (!disc) return false;
    std::lock_guard lock(disc->mutex);
    return disc->AudioInfo(title, audio);
}

bool MyDVDGetPalette(int32_t handle, int title, uint32_t palette[16]) {
    auto disc = Find(handle);
    if (!disc) return false;
    std::lock_guard lock(disc->mutex);
    return disc->Palette(title, palette);
}

std::string MyDvdReadProblem(int32_t handle, int title, int chapter) {
    auto disc = Find(handle);
    if (!disc) return "the disc is not open";
    std::lock_guard lock(disc->mutex);
    return disc->ReadProblem(title, chapter);
}

bool MyDvdStreamPictureSize(int32_t handle, int title, int32_t* width, int32_t* height) {
    auto disc = Find(handle);
    if (!disc) return false;
    std::lock_guard lock(disc->mutex);
    if (disc->SetArea(title, 0) != 0) return false;
    // The first VOBU starts with a sequence header; a few sectors hold it.
    constexpr int kSectors = 64;
    std::vector<uint8_t> bytes;
    uint8_t sector[kDvdSectorBytes];
    for (int i = 0; i < kSectors; ++i) {
        if (disc->Read(sector, kDvdSectorBytes) <= 0) break;
        bytes.insert(bytes.end(), sector, sector + kDvdSectorBytes);
        for (size_t at = bytes.size() >= kDvdSectorBytes + 6 ? bytes.size() - kDvdSectorBytes - 6
                                                             : 0;
             at + 7 <= bytes.size(); ++at) {
            if (bytes[at] != 0 || bytes[at + 1] != 0 || bytes[at + 2] != 1 || bytes[at + 3] != 0xB3)
                continue;
            const int32_t w = (bytes[at + 4] << 4) | (bytes[at + 5] >> 4);
            const int32_t h = ((bytes[at + 5] & 0x0F) << 8) | bytes[at + 6];
            if (w < 16 || h < 16) continue;
            *width = w;
            *height = h;
            return true;
        }
    }
    return false;
}

double MyDvdGetChapterDuration(int32_t handle, int title, int chapter) {
    auto disc = Find(handle);
    if (!disc) return -1;
    std::lock_guard lock(disc->mutex);
    return disc->ChapterMs(title, chapter);
}

bool MyDvdFindTime(int32_t handle, double ms, DvdCellSpan* span) {
    auto disc = Find(handle);
    if (!disc) return false;
    std::lock_guard lock(disc->mutex);
    return disc->FindTime(ms, span);
}

}  // namespace rizuvira::dvd
