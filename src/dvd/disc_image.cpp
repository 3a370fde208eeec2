// SPDX-License-Identifier: GPL-2.0-or-later
#include "dvd/disc_image.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/dvd_udf.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string_view>
#include <vector>

namespace rizuvira::dvd {
namespace {

constexpr int64_t kSector = 2048;
constexpr int kFirstDescriptor = 16;  // the volume descriptors start at sector 16
constexpr int kDescriptorsLooked = 32;
constexpr uint32_t kRootSectorsRead = 16;

using Sector = std::array<uint8_t, kSector>;

bool ReadSector(std::ifstream& in, int64_t number, Sector* sector) {
    in.clear();
    in.seekg(number * kSector);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(sector->data()), kSector));
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

struct ImageFacts {
    bool iso9660 = false;
    bool udf = false;   // NSR02 or NSR03: a UDF file system
    bool udf2 = false;  // NSR03: UDF 2.00 or later, as Blu-ray discs have
    bool iso_bdmv = false;
    uint32_t root_sector = 0;  // of the ISO 9660 root folder
    uint32_t root_bytes = 0;
};

// The volume recognition sequence: ISO 9660 descriptors ("CD001") and the
// UDF ones ("BEA01", "NSR02"/"NSR03", "TEA01").
ImageFacts ReadDescriptors(std::ifstream& in) {
    ImageFacts facts;
    Sector sector{};
    for (int i = 0; i < kDescriptorsLooked; ++i) {
        if (!ReadSector(in, kFirstDescriptor + i, &sector)) break;
        const std::string_view id(reinterpret_cast<const char*>(sector.data()) + 1, 5);
        if (id == "CD001") {
            facts.iso9660 = true;
            if (sector[0] == 1 && facts.root_sector == 0) {  // the primary descriptor
                facts.root_sector = Le32(&sector[156 + 2]);
                facts.root_bytes = Le32(&sector[156 + 10]);
            }
        } else if (id == "NSR02" || id == "NSR03") {
            facts.udf = true;
            facts.udf2 = facts.udf2 || id == "NSR03";
        } else if (id != "BEA01" && id != "TEA01" && id != "BOOT2" && id != "CDW02") {
            break;  // the end of the sequence
        }
    }
    return facts;
}

// Whether the ISO 9660 root folder holds a BDMV folder.
bool IsoRootHasBdmv(std::ifstream& in, const ImageFacts& facts) {
    if (facts.root_sector == 0) return false;
    const uint32_t sectors = std::min<uint32_t>(
        (facts.root_bytes + static_cast<uint32_t>(kSector) - 1) / kSector, kRootSectorsRead);
    Sector sector{};
    for (uint32_t s = 0; s < sectors; ++s) {
        if (!ReadSector(in, int64_t{facts.root_sector} + s, &sector)) return false;
        for (size_t at = 0; at + 33 < sector.size();) {
            const uint8_t length = sector[at];
            if (length < 34 || at + length > sector.size())
                break;  // the rest of the sector is empty
            const uint8_t name_length = sector[at + 32];
            if (at + 33 + name_length <= sector.size() && (sector[at + 25] & 0x02) != 0 &&
                SameName(
                    std::string_view(reinterpret_cast<const char*>(&sector[at + 33]), name_length),
                    "BDMV"))
                return true;
            at += length;
        }
    }
    return false;
}

void Quiet(void*, dvd_logger_level_t, const char*, va_list) {}

// The files libdvdread's UDF reader finds in the image.
struct UdfFiles {
    bool video_ts = false;
    bool bdmv = false;
};

UdfFiles FindUdfFiles(const std::string& path) {
    static const dvd_logger_cb kQuiet = {Quiet};
    struct Closer {
        void operator()(dvd_reader_t* reader) const { DVDClose(reader); }
    };
    std::unique_ptr<dvd_reader_t, Closer> reader(DVDOpen2(nullptr, &kQuiet, path.c_str()));
    UdfFiles files;
    if (!reader) return files;
    uint32_t size = 0;
    files.video_ts = UDFFindFile(reader.get(), "/VIDEO_TS/VIDEO_TS.IFO", &size) != 0;
    files.bdmv = UDFFindFile(reader.get(), "/BDMV/index.bdmv", &size) != 0 ||
                 UDFFindFile(reader.get(), "/BDMV/INDEX.BDMV", &size) != 0;
    return files;
}

}  // namespace

std::string ImageKindProblem(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    const ImageFacts facts = ReadDescriptors(in);
    if (!facts.iso9660 && !facts.udf) return {};
    const UdfFiles udf = facts.udf ? FindUdfFiles(path) : UdfFiles{};
    if (udf.video_ts) return {};
    if (udf.bdmv || IsoRootHasBdmv(in, facts) || facts.udf2)
        return " is a Blu-ray image, not a DVD: mount it and open its BDMV folder instead";
    if (!facts.udf)
        return " is an image without a DVD-Video file system: it has no UDF part, through which "
               "DVD-Video is read (genisoimage -dvd-video writes one)";
    return " is not a DVD-Video image: its UDF file system holds no VIDEO_TS/VIDEO_TS.IFO";
}

}  // namespace rizuvira::dvd
