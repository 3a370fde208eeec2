// SPDX-License-Identifier: GPL-2.0-or-later
#include "filters/text_raster.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <memory>

namespace rizuvira::filters {

namespace {

struct FcPatternFree {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using FcPatternPtr = std::unique_ptr<FcPattern, FcPatternFree>;

struct FtLibraryFree {
    void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
using FtLibraryPtr = std::unique_ptr<FT_LibraryRec_, FtLibraryFree>;

struct FtFaceFree {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using FtFacePtr = std::unique_ptr<FT_FaceRec_, FtFaceFree>;

std::u32string DecodeUtf16(std::u16string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            out.push_back(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                          (static_cast<char32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            out.push_back(0xFFFD);  // a lone surrogate
        } else {
            out.push_back(unit);
        }
    }
    return out;
}

struct FontFile {
    std::string path;
    int index = 0;
};

std::optional<FontFile> FindFont(const std::string& family, int size_px) {
    FcPatternPtr pattern(FcPatternCreate());
    if (!pattern) return std::nullopt;
    if (!family.empty())
        FcPatternAddString(pattern.get(), FC_FAMILY,
                           reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddDouble(pattern.get(), FC_PIXEL_SIZE, size_px);
    FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
    if (!FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern)) return std::nullopt;
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    FcPatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match || result != FcResultMatch) return std::nullopt;
    FcChar8* file = nullptr;
    if (FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch || !file)
        return std::nullopt;
    FontFile font;
    font.path = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(match.get(), FC_INDEX, 0, &font.index);
    return font;
}

}  // namespace

std::optional<RgbRaster> RenderText(std::u16string_view text, const std::string& family,
                                    int size_px, uint32_t colour, std::size_t max_bytes) {
    const std::u32string code_points = DecodeUtf16(text);
    if (code_points.empty() || size_px < 1 || size_px > 1000) return std::nullopt;
    const std::optional<FontFile> font = FindFont(family, size_px);
    if (!font) return std::nullopt;

    FT_Library raw_library = nullptr;
    if (FT_Init_FreeType(&raw_library) != 0) return std::nullopt;
    const FtLibraryPtr library(raw_library);
    FT_Face raw_face = nullptr;
    if (FT_New_Face(library.get(), font->path.c_str(), font->index, &raw_face) != 0)
        return std::nullopt;
    const FtFacePtr face(raw_face);
    if (FT_Set_Pixel_Sizes(face.get(), 0, static_cast<FT_UInt>(size_px)) != 0) return std::nullopt;

    // Extent: advances along the line, the font's ascent plus descent across it.
    FT_Pos advance_26_6 = 0;
    for (const char32_t code_point : code_points) {
        if (FT_Load_Char(face.get(), code_point, FT_LOAD_DEFAULT) != 0) continue;
        advance_26_6 += face->glyph->advance.x;
    }
    const FT_Size_Metrics& metrics = face->size->metrics;
    const int ascent = static_cast<int>((metrics.ascender + 63) >> 6);
    const int descent = static_cast<int>((-metrics.descender + 63) >> 6);
    RgbRaster raster;
    raster.width = static_cast<int>((advance_26_6 + 63) >> 6);
    raster.height = ascent + descent;
    if (raster.width <= 0 || raster.height <= 0) return std::nullopt;
    const std::size_t bytes = static_cast<std::size_t>(raster.width) * raster.height * 3;
    if (bytes > max_bytes) return std::nullopt;
    raster.rgb.assign(bytes, 0xFF);

    const int red = static_cast<int>(colour & 0xFF);
    const int green = static_cast<int>((colour >> 8) & 0xFF);
    const int blue = static_cast<int>((colour >> 16) & 0xFF);
    FT_Pos pen_26_6 = 0;
    for (const char32_t code_point : code_points) {
        if (FT_Load_Char(face.get(), code_point, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot glyph = face->glyph;
        const FT_Bitmap& bitmap = glyph->bitmap;
        const int left = static_cast<int>(pen_26_6 >> 6) + glyph->bitmap_left;
        const int top = ascent - glyph->bitmap_top;
        pen_26_6 += glyph->advance.x;
        if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) continue;
        for (int row = 0; row < static_cast<int>(bitmap.rows); ++row) {
            const int y = top + row;
            if (y < 0 || y >= raster.height) continue;
            const unsigned char* coverage =
                bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
            for (int column = 0; column < static_cast<int>(bitmap.width); ++column) {
                const int x = left + column;
                const int cover = coverage[column];
                if (x < 0 || x >= raster.width || cover == 0) continue;
                uint8_t* pixel = &raster.rgb[(static_cast<std::size_t>(y) * raster.width + x) * 3];
                pixel[0] = static_cast<uint8_t>(pixel[0] + (red - pixel[0]) * cover / 255);
                pixel[1] = static_cast<uint8_t>(pixel[1] + (green - pixel[1]) * cover / 255);
                pixel[2] = static_cast<uint8_t>(pixel[2] + (blue - pixel[2]) * cover / 255);
            }
        }
    }
    return raster;
}

}  // namespace rizuvira::filters
