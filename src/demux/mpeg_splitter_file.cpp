// SPDX-License-Identifier: GPL-2.0-or-later
#include "demux/mpeg_splitter_file.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace rizuvira::demux {

namespace {

constexpr int64_t kScanBlockBytes = 131072;
constexpr int kScanBlocks = 40;

int64_t AudioScore(const SplitterStream& s) {
    const auto* wfx = s.type.FormatAs<WAVEFORMATEX>();
    if (!wfx) return 0;
    int64_t rank = 0;
    if (s.type.subtype == MEDIASUBTYPE_DVD_LPCM_AUDIO ||
        s.type.subtype == MEDIASUBTYPE_HDMV_LPCM_AUDIO || s.transport_type == 0x83 ||
        s.transport_type == 0x86) {
        rank = 12;
    } else if (s.transport_type == 0x84) {
        rank = 10;
    } else if (s.transport_type == 0x85) {
        rank = 11;
    } else {
        switch (wfx->wFormatTag) {
            case 0x50:
                rank = 5;
                break;
            case 0x55:
                rank = 6;
                break;
            case 0xFF:
                rank = 7;
                break;
            case 0x2000:
                rank = 8;
                break;
            case 0x2001:
                rank = 9;
                break;
            case 0xF521:
                rank = 12;
                break;
            case 0xF522:
                rank = 4;
                break;
            default:
                rank = 0;
                break;
        }
    }
    return rank * 100000000000000000LL + int64_t{wfx->nChannels} * 1000000000000000LL +
           int64_t{wfx->nSamplesPerSec} * 10000000000LL +
           int64_t{wfx->wBitsPerSample} * 10000000LL + int64_t{wfx->nAvgBytesPerSec};
}

bool HasWaveFormat(const SplitterStream& s) {
    return s.type.formattype == FORMAT_WaveFormatEx && s.type.cbFormat >= sizeof(WAVEFORMATEX) &&
           s.type.pbFormat != nullptr;
}

CMediaType SubpictureType(const GUID& subtype) {
    CMediaType type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = subtype;
    type.formattype = FORMAT_None;
    return type;
}

}  // namespace

bool AudioStreamBefore(const SplitterStream& a, const SplitterStream& b) {
    const bool wa = HasWaveFormat(a), wb = HasWaveFormat(b);
    if (wa != wb) return wa;
    const int64_t sa = AudioScore(a), sb = AudioScore(b);
    if (sa != sb) return sa > sb;
    return a.Key() < b.Key();
}

CMpegSplitterFile::CMpegSplitterFile(IAsyncReader* reader, HRESULT* hr,
                                     const dvd::DvdTitleInfo& title, ClipInfoList clip_info)
    : CBaseSplitterFileEx(reader, hr, kCacheBytes),
      title_(title),
      clip_info_(std::move(clip_info)) {
    if (FAILED(*hr)) return;
    ComPtr<IStreamTimeOffset> offset;
    if (SUCCEEDED(ComPtr<IAsyncReader>(reader).As(&offset)) && offset) {
        REFERENCE_TIME value = 0;
        if (SUCCEEDED(offset->GetTimeOffset(&value))) SetTimeOffset(value);
    }
    *hr = Init();
}

HRESULT CMpegSplitterFile::Init() {
    container_ = MpegContainer::kNone;
    MoveTo(0);
    start_offset_ = ReadBits(32) == 0x54467263 ? 1660 : 0;

    // Transport stream: four packets in a row.
    MoveTo(start_offset_);
    int found = 0;
    for (; found < 4; ++found) {
        TransportHeader h;
        if (!Read(h, true)) break;
        MoveTo(h.next_packet);
    }
    if (found == 4) container_ = MpegContainer::kTransportStream;

    if (container_ == MpegContainer::kNone) {
        MoveTo(start_offset_);
        for (found = 0; found < 4; ++found) {
            PvaHeader h;
            if (!Read(h, true)) break;
            MoveTo(Position() + h.length);
        }
        if (found == 4) container_ = MpegContainer::kPvaStream;
    }

    if (container_ == MpegContainer::kNone) {
        MoveTo(start_offset_);
        int codes = 0;
        uint8_t code = 0;
        while (FindStartCode(code, 65536)) {
            ++codes;
            if (code == 0xBA) {
                PackHeader pack;
                if (Read(pack)) {
                    container_ = MpegContainer::kProgramStream;
                    pack_byte_rate_ = static_cast<int32_t>(pack.bit_rate / 8);
                    byte_rate_ = pack_byte_rate_;
                    break;
                }
            } else if ((code >= 0xC0 && code <= 0xEF) || code == 0xBD) {
                PesHeader pes;
                if (Read(pes, code) && ReadBits(24, true) == 0x000001) {
                    container_ = MpegContainer::kPesStream;
                    break;
                }
            }
            if (codes >= 4 && Position() > 65535) break;
        }
    }

    MoveTo(start_offset_);
    data_end_ = FindDataEnd();
    MoveTo(start_offset_);
    if (container_ == MpegContainer::kNone) return InitVideoStream() ? S_OK : E_FAIL;

    first_time_ = INT64_MAX;
    last_time_ = 0;
    first_time_position_ = last_time_position_ = 0;
    pid_times_.clear();
    HRESULT hr = E_FAIL;
    for (int i = 0; i < kScanBlocks; ++i) {
        const int64_t block_start = std::max(start_offset_, i * kScanBlockBytes);
        // A stream shorter than the search ends it with the last block's result.
        if (block_start >= StreamLength()) break;
        hr = ScanRange(block_start, std::min((i + 1) * kScanBlockBytes, StreamLength()));
        if (FAILED(hr)) continue;
        if (first_time_ == INT64_MAX || last_time_position_ - first_time_position_ <= 0 ||
            last_time_ - first_time_ <= 0) {
            hr = E_FAIL;
            continue;
        }
        std::lock_guard lock(mutex_);
        bool all_audio = !streams_[kVideo].empty();
        const int audio_count = std::clamp(title_.audio_count, 0, dvd::kDvdMaxStreams);
        for (int a = 0; all_audio && a < audio_count; ++a) {
            const int32_t id = title_.audio_id[a];
            all_audio = std::any_of(streams_[kAudio].begin(), streams_[kAudio].end(),
                                    [id](const SplitterStream& s) { return s.TrackId() == id; });
        }
        if (all_audio) break;
    }
    if (FAILED(hr) && first_time_ != INT64_MAX) {
        // One stamp only: a single picture (a still, a title card) is a stream
        // all the same, as long as it has pictures to show.
        std::lock_guard lock(mutex_);
        if (!streams_[kVideo].empty()) hr = S_OK;
    }
    if (FAILED(hr)) return hr;
    {
        // Streams met before the tables named their program.
        std::lock_guard lock(mutex_);
        for (auto& list : streams_)
            std::erase_if(
                list, [this](const SplitterStream& s) { return s.pid && InOtherProgram(s.pid); });
    }

    const int subtitle_count = std::clamp(title_.subtitle_count, 0, dvd::kDvdMaxStreams);
    for (int i = 0; i < subtitle_count; ++i) {
        const uint32_t id = static_cast<uint32_t>(title_.subtitle_id[i]) & 0xFFFF;
        SplitterStream s;
        s.stream_id = static_cast<uint8_t>(id >> 8);
        s.substream_id = static_cast<uint8_t>(id);
        s.type = SubpictureType(MEDIASUBTYPE_DVD_SUBPICTURE);
        AddStream(kSubpicture, std::move(s));
    }

    ApplyMeasuredRate();

    std::lock_guard lock(mutex_);
    if (!streams_[kVideo].empty()) {
        if (hdmv_subtitles_seen_) {
            SplitterStream s;
            s.pid = 1;
            s.stream_id = 0xBD;
            s.language = "---";
            s.type.majortype = MEDIATYPE_Subtitle;
            s.type.subtype = MEDIASUBTYPE_HDMVSUB;
            s.type.formattype = FORMAT_SubtitleFormat;
            SubtitleFormat info{};
            std::memcpy(info.iso_language, "---", 3);
            s.type.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof(info));
            AddStream(kSubpicture, std::move(s));
        } else if (streams_[kSubpicture].empty()) {
            // Stands for "no subtitles".
            SplitterStream s;
            s.type = SubpictureType(MEDIASUBTYPE_DVD_SUBPICTURE);
            AddStream(kSubpicture, std::move(s));
        }
    }
    MoveTo(start_offset_);
    return S_OK;
}

bool CMpegSplitterFile::InitVideoStream() {
    uint8_t code = 0;
    if (!FindStartCode(code, 64) || code != 0xB3) return false;
    MoveTo(Position() - 4);
    SplitterStream s;
    s.stream_id = 0xE0;
    MpegVideoHeader video;
    if (!Read(video, std::min<int64_t>(BytesLeft(), 4096), &s.type)) return false;
    container_ = MpegContainer::kVideoStream;
    first_time_ = INT64_MAX;
    last_time_ = 0;
    pid_times_.clear();
    // The sequence header's rate is a ceiling; it is the only guess there is.
    byte_rate_ = static_cast<int32_t>(std::min<uint32_t>(video.bit_rate / 8, INT32_MAX));
    AddStream(kVideo, std::move(s));
    MoveTo(start_offset_);
    return true;
}

HRESULT CMpegSplitterFile::ScanRange(int64_t start, int64_t stop) {
    MoveTo(start);
    auto limit = [&] { return std::min(stop, StreamLength()); };
    if (container_ == MpegContainer::kProgramStream || container_ == MpegContainer::kPesStream) {
        while (Position() < limit()) {
            const int64_t before = Position();
            uint8_t code = 0;
            if (!FindStartCode(code, 65536)) {
                if (Position() == before) break;  // a read error: nothing more to scan
                continue;
            }
            if (code == 0xBA) {
                PackHeader pack;
                Read(pack);
            } else if (code == 0xBB) {
                SystemHeader sys;
                Read(sys);
            } else if (code == 0xBE || code == 0xBF) {
                // Padding and navigation data carry no stream headers.
                const int64_t length = static_cast<int64_t>(ReadBits(16));
                MoveTo(Position() + length);
            } else if (code >= 0xBD && code <= 0xEF) {
                PesHeader pes;
                if (!Read(pes, code)) continue;
                if (pes.mpeg_version == 2 && pes.scrambling) return DEMUX_E_SCRAMBLED;
                const int64_t payload = Position();
                if (pes.has_pts) UpdateTime(0, pes.pts_100ns, payload);
                ClassifyPayload(0, code, pes.length);
                if (pes.length) MoveTo(payload + pes.length);
            }
        }
    } else if (container_ == MpegContainer::kTransportStream) {
        while (Position() < limit()) {
            const int64_t before = Position();
            TransportHeader h;
            if (!Read(h, true)) {
                MoveTo(before + std::max(TransportPacketSize(), 1));
                continue;
            }
            const int64_t payload = Position();
            if (h.has_payload && h.unit_start) {
                ReadProgramTables(h);
                MoveTo(payload);
            }
            if (h.has_payload && h.pid >= 16 && h.pid < 8191 && payload < h.payload_end) {
                uint8_t code = 0;
                if (h.unit_start && ReadBits(24, true) == 0x000001) {
                    ReadBits(24);
                    code = static_cast<uint8_t>(ReadBits(8));
                    PesHeader pes;
                    if (Read(pes, code)) {
                        if (pes.mpeg_version == 2 && pes.scrambling) return DEMUX_E_SCRAMBLED;
                        if (pes.has_pts) UpdateTime(h.pid, pes.pts_100ns, Position());
                    } else {
                        code = 0;
                        MoveTo(payload);
                    }
                }
                if (Position() < h.payload_end)
                    ClassifyPayload(h.pid, code, h.payload_end - Position());
            }
            MoveTo(h.next_packet);
        }
    } else if (container_ == MpegContainer::kPvaStream) {
        while (Position() < limit()) {
            const int64_t before = Position();
            PvaHeader h;
            if (!Read(h, true)) {
                if (Position() == before) MoveTo(before + 65536);
                break;
            }
            if (h.has_pts) UpdateTime(0, h.pts_100ns, Position());
            const int64_t payload = Position();
            if (h.stream_id == 1)
                ClassifyPayload(1, 0xE0, h.length);
            else if (h.stream_id == 2)
                ClassifyPayload(2, 0xC0, h.length);
            MoveTo(payload + h.length);
        }
    }
    CombineTimes();
    return S_OK;
}

bool CMpegSplitterFile::HasIdentity(StreamKind kind, const SplitterStream& s) const {
    std::lock_guard lock(mutex_);
    return std::any_of(streams_[kind].begin(), streams_[kind].end(),
                       [&](const SplitterStream& o) { return o.SameIdentity(s); });
}

uint8_t CMpegSplitterFile::TransportTypeOf(uint16_t pid) const {
    if (pid == 0) return 0;
    std::lock_guard lock(mutex_);
    for (const auto& [pmt, program] : programs_)
        for (const auto& e : program.streams)
            if (e.pid == pid && e.type) return e.type;
    return 0;
}

const char* CMpegSplitterFile::OtherVideoCoding(uint16_t pid, int64_t length) {
    switch (container_ == MpegContainer::kTransportStream ? TransportTypeOf(pid) : 0) {
        case 0x10:
            return "MPEG-4 Part 2";
        case 0x21:
            return "JPEG 2000";
        case 0x24:
            return "H.265 (HEVC)";
        case 0x33:
            return "H.266 (VVC)";
        case 0x42:
            return "AVS";
        case 0xD1:
            return "Dirac";
        default:
            break;
    }
    // MPEG-4 Part 2 opens with a visual object sequence (0xB0) or a video
    // object layer (0x20..0x2F); its pictures start with 0xB6. Neither 0xB0
    // nor 0xB6 is an MPEG-1/2 start code, and MPEG-1/2 starts with 0xB3.
    uint8_t code = 0;
    if (!FindStartCode(code, std::min<int64_t>(length, 4096))) return nullptr;
    if (code == 0xB0 || code == 0xB6) return "MPEG-4 Part 2";
    if (code >= 0x20 && code <= 0x2F) {
        // A slice of MPEG-1/2 has the same codes, but never comes first
        // with a video object layer's fixed first bits behind it: a random
        // access flag and an object type of 1 (simple) to 0x12.
        const uint32_t bits = static_cast<uint32_t>(ReadBits(16, true));
        const uint32_t object_type = (bits >> 7) & 0xFF;
        if (object_type >= 1 && object_type <= 0x12) return "MPEG-4 Part 2";
    }
    return nullptr;
}

uint32_t CMpegSplitterFile::ClassifyPayload(uint16_t pid, uint8_t stream_id, int64_t length) {
    if (container_ == MpegContainer::kTransportStream && InOtherProgram(pid)) return pid;
    if (container_ == MpegContainer::kTransportStream) {
        std::lock_guard lock(mutex_);
        if (stream_id) {
            pid_stream_ids_[pid] = stream_id;
        } else if (auto it = pid_stream_ids_.find(pid); it != pid_stream_ids_.end()) {
            stream_id = it->second;
        }
    }
    const int64_t start = Position();
    length = std::clamp<int64_t>(length, 0, BytesLeft());
    auto left = [&] { return std::max<int64_t>(start + length - Position(), 0); };

    SplitterStream s;
    s.pid = pid;
    s.stream_id = stream_id;
    int kind = -1;

    if (stream_id >= 0xE0 && stream_id <= 0xEF) {
        const char* other_coding = OtherVideoCoding(pid, length);
        MoveTo(start);
        if (other_coding != nullptr) {
            std::lock_guard lock(mutex_);
            if (other_video_coding_.empty()) other_video_coding_ = other_coding;
        } else if (!HasIdentity(kVideo, s)) {
            MpegVideoHeader video;
            // A group of VOPs in MPEG-4 video has a sequence header's code.
            if (Read(video, length, &s.type) && video.width >= 16 && video.height >= 16) {
                kind = kVideo;
            } else {
                MoveTo(start);
                H264Header avc;
                if (Read(avc, length, &s.type)) kind = kVideo;
            }
            MoveTo(start);
        }
    } else if (stream_id >= 0xC0 && stream_id <= 0xDF) {
        if (!HasIdentity(kAudio, s)) {
            MpegAudioHeader mpa;
            if (Read(mpa, length, &s.type)) {
                kind = kAudio;
            } else {
                MoveTo(start);
                AacHeader aac;
                if (Read(aac, length, &s.type)) kind = kAudio;
            }
            MoveTo(start);
        }
    } else if ((stream_id == 0xBD || stream_id == 0xFD) && pid == 0) {
        if (length >= 1) {
            const uint8_t b = static_cast<uint8_t>(ReadBits(8, true));
            const uint16_t w = length >= 2 ? static_cast<uint16_t>(ReadBits(16, true)) : 0;
            const uint32_t d = length >= 4 ? static_cast<uint32_t>(ReadBits(32, true)) : 0;
            if ((b >= 0x80 && b <= 0x87) || w == 0x0B77) {
                if (b >= 0x80 && b <= 0x87) {
                    s.substream_id = static_cast<uint8_t>(ReadBits(8));
                    ReadBits(24);
                } else {
                    s.substream_id = 0x80;
                }
                if (!HasIdentity(kAudio, s)) {
                    const int64_t at = Position();
                    Ac3Header ac3;
                    if (Read(ac3, left(), &s.type)) kind = kAudio;
                    MoveTo(at);
                }
            } else if ((b >= 0x88 && b <= 0x8F) || d == 0x7FFE8001) {
                if (b >= 0x88 && b <= 0x8F) {
                    s.substream_id = static_cast<uint8_t>(ReadBits(8));
                    ReadBits(24);
                } else {
                    s.substream_id = 0x88;
                }
                if (!HasIdentity(kAudio, s)) {
                    const int64_t at = Position();
                    DtsHeader dts;
                    if (Read(dts, left(), &s.type)) kind = kAudio;
                    MoveTo(at);
                }
            } else if (b >= 0xA0 && b <= 0xA7) {
                s.substream_id = static_cast<uint8_t>(ReadBits(8));
                ReadBits(24);
                DvdLpcmHeader lpcm;
                CMediaType type;
                if (Read(lpcm, &type) && !HasIdentity(kAudio, s)) {
                    s.type = std::move(type);
                    kind = kAudio;
                }
            } else if (b >= 0x20 && b <= 0x3F) {
                s.substream_id = static_cast<uint8_t>(ReadBits(8));
                if (!HasIdentity(kSubpicture, s)) {
                    s.type = SubpictureType(MEDIASUBTYPE_DVD_SUBPICTURE);
                    kind = kSubpicture;
                }
            } else if (b >= 0x70 && b <= 0x7F) {
                s.substream_id = static_cast<uint8_t>(ReadBits(8));
                s.type = SubpictureType(MEDIASUBTYPE_SVCD_SUBPICTURE);
                kind = kSubpicture;
            } else if (b <= 0x0F) {
                s.substream_id = static_cast<uint8_t>(ReadBits(8));
                s.type = SubpictureType(MEDIASUBTYPE_CVD_SUBPICTURE);
                kind = kSubpicture;
            } else if (w == 0xFFA0 || w == 0xFFA1 || w == 0xFF90) {
                s.substream_id = static_cast<uint8_t>(ReadBits(8));
                const uint32_t high = static_cast<uint32_t>(ReadBits(8));
                s.pid = static_cast<uint16_t>((high << 8) | ReadBits(16));
                const int64_t at = Position();
                if (w != 0xFF90) {
                    Ps2AudioHeader ps2;
                    if (!HasIdentity(kAudio, s) && Read(ps2, &s.type)) kind = kAudio;
                } else {
                    const uint16_t next = static_cast<uint16_t>(ReadBits(16, true));
                    if (next == 0x0B77) {
                        Ac3Header ac3;
                        if (!HasIdentity(kAudio, s) && Read(ac3, left(), &s.type)) kind = kAudio;
                    } else if (next == 0) {
                        s.type.majortype = MEDIATYPE_Subtitle;
                        s.type.subtype = MEDIASUBTYPE_PS2_SUB;
                        s.type.formattype = FORMAT_None;
                        kind = kSubpicture;
                    }
                }
                MoveTo(at);
            }
        }
    } else if (stream_id == 0xBD || stream_id == 0xFD) {
        if (!HasIdentity(kAudio, s) && !HasIdentity(kVideo, s)) {
            Ac3Header ac3;
            DtsHeader dts;
            Vc1Header vc1;
            if (Read(ac3, length, &s.type)) {
                kind = kAudio;
            } else if (MoveTo(start), Read(dts, length, &s.type)) {
                kind = kAudio;
            } else if (MoveTo(start), Read(vc1, length, &s.type)) {
                kind = kVideo;
            }
            MoveTo(start);
            const uint8_t transport_type = TransportTypeOf(pid);
            if (kind < 0 && transport_type == 0x80) {
                HdmvLpcmHeader lpcm;
                if (Read(lpcm, &s.type)) kind = kAudio;
                MoveTo(start);
            }
            if (kind < 0 && transport_type == 0x90) {
                SubtitleFormat info{};
                const ClipStreamEntry* clip = FindClipStream(clip_info_, pid);
                const std::string language = clip ? ClipLanguage(*clip) : std::string();
                std::memcpy(info.iso_language, language.c_str(),
                            std::min<size_t>(language.size(), 3));
                s.language = language;
                s.type = CMediaType();
                s.type.majortype = MEDIATYPE_Subtitle;
                s.type.subtype = MEDIASUBTYPE_HDMVSUB;
                s.type.formattype = FORMAT_SubtitleFormat;
                s.type.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof(info));
                kind = kSubpicture;
                hdmv_subtitles_seen_ = true;
            }
        }
    }

    if (kind >= 0) {
        const ClipStreamEntry* clip = container_ == MpegContainer::kTransportStream
                                          ? FindClipStream(clip_info_, s.pid)
                                          : nullptr;
        s.transport_type = clip ? static_cast<uint8_t>(clip->coding_type) : TransportTypeOf(s.pid);
        if (clip && s.language.empty()) s.language = ClipLanguage(*clip);
        std::lock_guard lock(mutex_);
        if (!HasIdentity(static_cast<StreamKind>(kind), s)) {
            if (s.pid) {
                for (const auto& list : streams_)
                    for (const auto& o : list)
                        if (o.SameIdentity(s)) return o.Key();
            }
            AddStream(static_cast<StreamKind>(kind), s);
        }
    }
    return s.Key();
}

void CMpegSplitterFile::AddStream(StreamKind kind, SplitterStream stream) {
    std::lock_guard lock(mutex_);
    auto& list = streams_[kind];
    if (std::any_of(list.begin(), list.end(),
                    [&](const SplitterStream& o) { return o.SameIdentity(stream); }))
        return;
    auto before = [kind](const SplitterStream& a, const SplitterStream& b) {
        return kind == kAudio ? AudioStreamBefore(a, b) : a.Key() < b.Key();
    };
    list.insert(std::upper_bound(list.begin(), list.end(), stream, before), std::move(stream));
}

std::vector<SplitterStream> CMpegSplitterFile::Streams(StreamKind kind) const {
    std::lock_guard lock(mutex_);
    return streams_[kind];
}

size_t CMpegSplitterFile::StreamCount() const {
    std::lock_guard lock(mutex_);
    return streams_[0].size() + streams_[1].size() + streams_[2].size();
}

bool CMpegSplitterFile::ProgramOfPid(uint16_t pid, uint16_t* program) const {
    std::lock_guard lock(mutex_);
    for (const auto& [pmt, p] : programs_) {
        for (const auto& e : p.streams) {
            if (e.pid == pid && e.type) {
                if (program) *program = pmt;
                return true;
            }
        }
    }
    return false;
}

uint16_t CMpegSplitterFile::SelectedProgram() const {
    auto is_video = [](uint8_t type) {
        return type == 0x01 || type == 0x02 || type == 0x10 || type == 0x1B || type == 0x24 ||
               type == 0x42 || type == 0xEA;
    };
    std::lock_guard lock(mutex_);
    uint16_t first = 0;
    for (const uint16_t pmt : program_order_) {
        const auto it = programs_.find(pmt);
        if (it == programs_.end()) continue;
        for (const auto& e : it->second.streams) {
            if (!e.type) continue;
            if (is_video(e.type)) return pmt;
            if (!first) first = pmt;
        }
    }
    return first;
}

bool CMpegSplitterFile::InOtherProgram(uint16_t pid) const {
    if (pid == 0) return false;
    const uint16_t selected = SelectedProgram();
    if (selected == 0) return false;
    uint16_t program = 0;
    std::lock_guard lock(mutex_);
    for (const auto& e : programs_.at(selected).streams)
        if (e.type && e.pid == pid) return false;
    return ProgramOfPid(pid, &program);
}

std::vector<uint16_t> CMpegSplitterFile::ProgramPids(uint16_t program) const {
    std::lock_guard lock(mutex_);
    std::vector<uint16_t> pids;
    if (auto it = programs_.find(program); it != programs_.end())
        for (const auto& e : it->second.streams)
            if (e.type) pids.push_back(e.pid);
    return pids;
}

void CMpegSplitterFile::ReadProgramTables(const TransportHeader& h) {
    if (!h.has_payload || !h.unit_start) return;
    std::lock_guard lock(mutex_);
    if (h.pid == 0) {
        PsiSection section;
        if (!Read(section) || section.table_id != 0) return;
        int entries = (static_cast<int>(section.section_length) - 9) / 4;
        entries = std::min<int64_t>(entries, (h.payload_end - Position()) / 4);
        std::set<uint16_t> listed;
        program_order_.clear();
        for (int i = 0; i < entries; ++i) {
            const uint16_t number = static_cast<uint16_t>(ReadBits(16));
            ReadBits(3);
            const uint16_t pmt = static_cast<uint16_t>(ReadBits(13));
            if (number == 0) continue;
            programs_[pmt].number = number;
            if (listed.insert(pmt).second) program_order_.push_back(pmt);
        }
        for (auto it = programs_.begin(); it != programs_.end();) {
            it = listed.count(it->first) ? std::next(it) : programs_.erase(it);
        }
        return;
    }
    auto it = programs_.find(h.pid);
    if (it == programs_.end()) return;
    PsiSection section;
    if (!Read(section) || section.table_id != 2) return;
    auto& program = it->second;
    program.streams.fill({});
    ReadBits(3);
    ReadBits(13);  // PCR PID
    ReadBits(4);
    const int info_length = static_cast<int>(ReadBits(12));
    MoveTo(Position() + info_length);
    int64_t left = static_cast<int64_t>(section.section_length) - 9 - info_length;
    for (size_t n = 0; n < program.streams.size() && left > 4 && Position() + 5 <= h.payload_end;
         ++n) {
        program.streams[n].type = static_cast<uint8_t>(ReadBits(8));
        ReadBits(3);
        program.streams[n].pid = static_cast<uint16_t>(ReadBits(13));
        ReadBits(4);
        const int es_info_length = static_cast<int>(ReadBits(12));
        const int64_t descriptors_end =
            std::min<int64_t>(Position() + es_info_length, h.payload_end);
        while (Position() + 2 <= descriptors_end) {
            const auto tag = static_cast<uint8_t>(ReadBits(8));
            const auto length = static_cast<uint8_t>(ReadBits(8));
            if (tag == 0x59) dvb_subtitles_listed_ = true;  // subtitling descriptor
            MoveTo(Position() + length);
        }
        MoveTo(descriptors_end);
        left -= 5 + es_info_length;
    }
}

}  // namespace rizuvira::demux
