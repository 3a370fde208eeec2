// SPDX-License-Identifier: GPL-2.0-or-later
#include "demux/stream_texts.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "demux/splitter_file_ex.h"
#include "dvd/language_names.h"

namespace rizuvira::demux {

namespace {

std::string Format(const char* format, auto... args) {
    char text[128];
    std::snprintf(text, sizeof(text), format, args...);
    return text;
}

std::string FourCC(DWORD code) {
    std::string text;
    // Only printable ASCII: the code comes from the file, and every text shown is UTF-8.
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>((code >> (8 * i)) & 0xFF);
        text += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text;
}

std::string ClipLanguageName(const ClipStreamEntry* clip) {
    return clip ? dvd::LanguageName3(ClipLanguage(*clip)) : "";
}

template <class T>
const T* Block(const AM_MEDIA_TYPE& type) {
    return type.pbFormat && type.cbFormat >= sizeof(T) ? reinterpret_cast<const T*>(type.pbFormat)
                                                       : nullptr;
}

void DescribeVideo(const AM_MEDIA_TYPE& type, const ClipStreamEntry* clip,
                   std::vector<std::string>& parts) {
    if (std::string language = ClipLanguageName(clip); !language.empty()) parts.push_back(language);

    const BITMAPINFOHEADER* bmi = nullptr;
    REFERENCE_TIME period = 0;
    DWORD bit_rate = 0;
    bool avc = false;
    if (type.formattype == FORMAT_MPEGVideo) {
        parts.emplace_back("MPEG");
    } else if (type.formattype == FORMAT_MPEG2_VIDEO) {
        if (const auto* vi = Block<MPEG2VIDEOINFO>(type)) {
            const DWORD code = vi->hdr.bmiHeader.biCompression;
            avc = code == MakeFourCC('A', 'V', 'C', '1');
            parts.push_back(avc ? "AVC (H.264)" : code ? FourCC(code) : "MPEG2");
        } else {
            parts.emplace_back("MPEG2");
        }
    } else if (type.formattype == FORMAT_VideoInfo2) {
        if (const auto* vi = Block<VIDEOINFOHEADER2>(type)) {
            const DWORD code = vi->bmiHeader.biCompression;
            if (code == MakeFourCC('W', 'V', 'C', '1'))
                parts.emplace_back("VC-1");
            else if (code)
                parts.push_back(FourCC(code));
        }
    } else if (type.subtype == MEDIASUBTYPE_DVD_SUBPICTURE) {
        parts.emplace_back("DVD Sub Picture");
    } else if (type.subtype == MEDIASUBTYPE_SVCD_SUBPICTURE) {
        parts.emplace_back("SVCD Sub Picture");
    } else if (type.subtype == MEDIASUBTYPE_CVD_SUBPICTURE) {
        parts.emplace_back("CVD Sub Picture");
    }

    if (type.formattype == FORMAT_MPEG2_VIDEO) {
        if (const auto* vi = Block<MPEG2VIDEOINFO>(type)) {
            static const char* const kProfiles[] = {"",
                                                    "Simple Profile",
                                                    "Main Profile",
                                                    "SNR Scalable Profile",
                                                    "Spatially Scalable Profile",
                                                    "High Profile"};
            const DWORD profile = vi->dwProfile;
            if (profile >= 1 && profile <= 5) {
                parts.emplace_back(kProfiles[profile]);
            } else if (profile != 0) {
                const char* name = nullptr;
                if (avc) {
                    switch (profile) {
                        case 44:
                            name = "CAVLC Profile";
                            break;
                        case 66:
                            name = "Baseline Profile";
                            break;
                        case 77:
                            name = "Main Profile";
                            break;
                        case 88:
                            name = "Extended Profile";
                            break;
                        case 100:
                            name = "High Profile";
                            break;
                        case 110:
                            name = "High 10 Profile";
                            break;
                        case 122:
                            name = "High 4:2:2 Profile";
                            break;
                        case 144:
                            name = "High 4:4:4 Profile";
                            break;
                        default:
                            break;
                    }
                }
                parts.push_back(name ? std::string(name)
                                     : Format("Profile %d", static_cast<int>(profile)));
            }
            static const char* const kLevels[] = {"", "Low Level", "Main Level", "High1440 Level",
                                                  "High Level"};
            const DWORD level = vi->dwLevel;
            if (level >= 1 && level <= 4)
                parts.emplace_back(kLevels[level]);
            else if (level != 0)
                parts.push_back(avc ? Format("Level %1.1f", level / 10.0)
                                    : Format("Level %d", static_cast<int>(level)));
            bmi = &vi->hdr.bmiHeader;
            period = vi->hdr.AvgTimePerFrame;
            bit_rate = vi->hdr.dwBitRate;
        }
    } else if (type.formattype == FORMAT_VideoInfo2) {
        if (const auto* vi = Block<VIDEOINFOHEADER2>(type)) {
            bmi = &vi->bmiHeader;
            period = vi->AvgTimePerFrame;
            bit_rate = vi->dwBitRate;
        }
    } else if (type.formattype == FORMAT_MPEGVideo || type.formattype == FORMAT_VideoInfo) {
        if (const auto* vi = Block<VIDEOINFOHEADER>(type)) {
            bmi = &vi->bmiHeader;
            period = vi->AvgTimePerFrame;
            bit_rate = vi->dwBitRate;
        }
    }
    if (bmi && bmi->biWidth && bmi->biHeight)
        parts.push_back(
            Format("%dx%d", static_cast<int>(bmi->biWidth), static_cast<int>(bmi->biHeight)));
    if (period) parts.push_back(Format("%.3f fps", 10000000.0 / static_cast<double>(period)));
    if (bit_rate) parts.push_back(BitRateText(bit_rate));
}

void DescribeAudio(const AM_MEDIA_TYPE& type, const ClipStreamEntry* clip,
                   const std::optional<std::string>& type_name, std::vector<std::string>& parts) {
    if (std::string language = ClipLanguageName(clip); !language.empty()) parts.push_back(language);
    if (type.formattype != FORMAT_WaveFormatEx) return;
    const auto* wfx = Block<WAVEFORMATEX>(type);
    if (!wfx) return;
    if (type.subtype == MEDIASUBTYPE_DVD_LPCM_AUDIO) {
        parts.emplace_back("DVD LPCM");
    } else if (type.subtype == MEDIASUBTYPE_HDMV_LPCM_AUDIO) {
        parts.emplace_back("HDMV LPCM");
    } else {
        switch (wfx->wFormatTag) {
            case WAVE_FORMAT_DTS:
                parts.push_back(type_name.value_or("DTS"));
                break;
            case WAVE_FORMAT_DOLBY_AC3:
                parts.push_back(type_name.value_or("Dolby Digital"));
                break;
            case kWaveFormatPs2Pcm:
                parts.emplace_back("PS2 PCM");
                break;
            case kWaveFormatPs2Adpcm:
                parts.emplace_back("PS2 ADPCM");
                break;
            case WAVE_FORMAT_MPEG: {
                int layer = 0;
                if (const auto* m = Block<MPEG1WAVEFORMAT>(type)) {
                    for (int bit = 0; bit < 16; ++bit) {
                        if (m->fwHeadLayer & (1 << bit)) {
                            layer = bit + 1;
                            break;
                        }
                    }
                }
                parts.push_back(Format("MPEG1 - Layer %d", layer));
                break;
            }
            case WAVE_FORMAT_MPEGLAYER3:
                parts.emplace_back("MP3");
                break;
            case WAVE_FORMAT_AAC:
                parts.emplace_back("AAC");
                break;
            default:
                break;
        }
    }
    if (clip && clip->sample_rate_code == 12)
        parts.emplace_back("192(48) kHz");
    else if (clip && clip->sample_rate_code == 14)
        parts.emplace_back("96(48) kHz");
    else if (wfx->nSamplesPerSec)
        parts.push_back(Format("%.1f kHz", wfx->nSamplesPerSec / 1000.0));
    if (wfx->nChannels) parts.push_back(Format("%d chn", wfx->nChannels));
    if (wfx->wBitsPerSample) parts.push_back(Format("%d bit", wfx->wBitsPerSample));
    if (wfx->nAvgBytesPerSec) parts.push_back(BitRateText(wfx->nAvgBytesPerSec * 8.0));
}

void DescribeSubtitle(const AM_MEDIA_TYPE& type, const ClipStreamEntry* clip,
                      const std::optional<std::string>& type_name,
                      std::vector<std::string>& parts) {
    if (type_name) parts.push_back(*type_name);
    std::vector<std::string> front;
    if (type.cbFormat == sizeof(SubtitleFormat) && type.pbFormat) {
        SubtitleFormat info;
        std::memcpy(&info, type.pbFormat, sizeof(info));
        std::string language =
            dvd::LanguageName3(std::string_view(info.iso_language, strnlen(info.iso_language, 4)));
        if (!language.empty()) front.push_back(language);
        // The track name is UTF-16; keep what is plain ASCII.
        std::string name;
        for (uint16_t c : info.track_name) {
            if (c == 0) break;
            name += c < 0x80 ? static_cast<char>(c) : '?';
        }
        if (!name.empty()) front.push_back(name);
    } else if (std::string language = ClipLanguageName(clip); !language.empty()) {
        front.push_back(language);
    }
    parts.insert(parts.begin(), front.begin(), front.end());
}

}  // namespace

const char* StreamKindName(int kind) {
    switch (kind) {
        case 0:
            return "Video";
        case 1:
            return "Audio";
        case 2:
            return "Subtitle";
        default:
            return "";
    }
}

std::optional<std::string> StreamTypeName(int stream_type) {
    switch (stream_type) {
        case 0x01:
        case 0x03:
            return "MPEG-1";
        case 0x02:
        case 0x04:
            return "MPEG-2";
        case 0x1B:
            return "H264";
        case 0x80:
            return "LPCM";
        case 0x81:
            return "Dolby Digital";
        case 0x82:
            return "DTS";
        case 0x83:
            return "Dolby TrueHD";
        case 0x84:
            return "Dolby Digital Plus";
        case 0x85:
            return "DTS-HD High Resolution Audio";
        case 0x86:
            return "DTS-HD Master Audio";
        case 0x90:
            return "Presentation Graphics Stream";
        case 0x91:
            return "Interactive Graphics Stream";
        case 0x92:
            return "Subtitle";
        case 0xA1:
            return "Secondary Dolby Digital Plus";
        case 0xA2:
            return "Secondary DTS-HD High Resolution Audio";
        case 0xEA:
            return "VC-1";
        default:
            return std::nullopt;
    }
}

std::string BitRateText(double bits_per_second) {
    if (bits_per_second > 20000000) return Format("%.2f mbit/s", bits_per_second / 1000000);
    return Format("%.1f kbit/s", bits_per_second / 1000);
}

std::string DescribeStream(const AM_MEDIA_TYPE& type, const ClipStreamEntry* clip,
                           int stream_type) {
    const int effective_type = clip ? clip->coding_type : stream_type;
    const std::optional<std::string> type_name = StreamTypeName(effective_type);
    std::vector<std::string> parts;
    const char* kind = "";
    if (type.majortype == MEDIATYPE_Video) {
        kind = "Video";
        DescribeVideo(type, clip, parts);
    } else if (type.majortype == MEDIATYPE_Audio) {
        kind = "Audio";
        DescribeAudio(type, clip, type_name, parts);
    } else if (type.majortype == MEDIATYPE_Subtitle) {
        kind = "Subtitle";
        DescribeSubtitle(type, clip, type_name, parts);
    }
    if (parts.empty()) return {};
    std::string text = std::string(kind) + " - ";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) text += ", ";
        text += parts[i];
    }
    return text;
}

std::string StreamTag(int pid, int stream_id, int substream_id) {
    return Format("(%04x,%02x,%02x)", static_cast<unsigned>(pid), static_cast<unsigned>(stream_id),
                  static_cast<unsigned>(substream_id));
}

int32_t TrackIdFromName(const std::string& name) {
    // The tag comes last; a language or format word before it may hold brackets of its own.
    for (size_t open = name.rfind('('); open != std::string::npos;
         open = open == 0 ? std::string::npos : name.rfind('(', open - 1)) {
        unsigned pid = 0, stream_id = 0, substream = 0;
        if (std::sscanf(name.c_str() + open, "(%04x,%02x,%02x)", &pid, &stream_id, &substream) == 3)
            return TrackId(static_cast<uint16_t>(pid), static_cast<uint8_t>(stream_id),
                           static_cast<uint8_t>(substream));
    }
    return -1;
}

int StreamPidFromName(const std::string& name) {
    for (size_t open = name.rfind('('); open != std::string::npos;
         open = open == 0 ? std::string::npos : name.rfind('(', open - 1)) {
        unsigned pid = 0, stream_id = 0, substream = 0;
        if (std::sscanf(name.c_str() + open, "(%04x,%02x,%02x)", &pid, &stream_id, &substream) == 3)
            return static_cast<int>(pid & 0x1FFF);
    }
    return -1;
}

}  // namespace rizuvira::demux
