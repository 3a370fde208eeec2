// SPDX-License-Identifier: GPL-2.0-or-later
#include "decoders/subpicture_overlay.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>

namespace rizuvira::decoders {

namespace {

constexpr int64_t kOpenEnd = std::numeric_limits<int64_t>::max();

uint8_t Clamp8(double value) {
    return static_cast<uint8_t>(std::clamp(static_cast<int>(value + 0.5), 0, 255));
}

}  // namespace

uint32_t SubpictureOverlay::YCrCbToRgb(uint32_t ycrcb) {
    const double y = 1.164 * (static_cast<int>((ycrcb >> 16) & 0xFF) - 16);
    const double cr = static_cast<int>((ycrcb >> 8) & 0xFF) - 128;
    const double cb = static_cast<int>(ycrcb & 0xFF) - 128;
    const uint32_t r = Clamp8(y + 1.596 * cr);
    const uint32_t g = Clamp8(y - 0.813 * cr - 0.391 * cb);
    const uint32_t b = Clamp8(y + 2.018 * cb);
    return r << 16 | g << 8 | b;
}

void SubpictureOverlay::SetPalette(const uint32_t palette_ycrcb[16]) {
    std::lock_guard lock(mutex_);
    std::copy(palette_ycrcb, palette_ycrcb + 16, palette_.begin());
    have_palette_ = true;
    reopen_ = true;
}

HRESULT SubpictureOverlay::OpenLocked() {
    context_.reset();
    parser_.reset();
    const AVCodec* codec =
        avcodec_find_decoder(graphics_ ? AV_CODEC_ID_HDMV_PGS_SUBTITLE : AV_CODEC_ID_DVD_SUBTITLE);
    if (!codec) return E_FAIL;
    core::av::CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) return E_OUTOFMEMORY;
    context->pkt_timebase = AVRational{1, static_cast<int>(UNITS)};
    if (have_palette_ && !graphics_) {
        std::string text;
        for (uint32_t entry : palette_) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%06x", YCrCbToRgb(entry));
            if (!text.empty()) text += ',';
            text += hex;
        }
        av_opt_set(context->priv_data, "palette", text.c_str(), 0);
    }
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return E_FAIL;
    // Graphics segments come whole, one PES each; subpictures are split across packets.
    if (!graphics_) parser_.reset(av_parser_init(AV_CODEC_ID_DVD_SUBTITLE));
    context_ = std::move(context);
    reopen_ = false;
    return S_OK;
}

void SubpictureOverlay::SetGraphics(bool graphics) {
    std::lock_guard lock(mutex_);
    if (graphics == graphics_) return;
    graphics_ = graphics;
    entries_.clear();
    graphics_bytes_.clear();
    graphics_pts_ = AV_NOPTS_VALUE;
    reopen_ = true;
}

void SubpictureOverlay::DecodeSegmentsLocked(AVPacket* packet) {
    std::size_t at = 0;
    while (graphics_bytes_.size() - at >= 3) {
        const std::size_t length =
            3 + (std::size_t{graphics_bytes_[at + 1]} << 8 | graphics_bytes_[at + 2]);
        if (graphics_bytes_.size() - at < length) break;
        if (av_new_packet(packet, static_cast<int>(length)) < 0) break;
        std::copy(graphics_bytes_.begin() + static_cast<std::ptrdiff_t>(at),
                  graphics_bytes_.begin() + static_cast<std::ptrdiff_t>(at + length), packet->data);
        packet->pts = graphics_pts_;
        Subtitle subtitle;
        int got = 0;
        const int result = avcodec_decode_subtitle2(context_.get(), subtitle.get(), &got, packet);
        av_packet_unref(packet);
        if (result >= 0 && got) AddSubtitleLocked(*subtitle.get(), graphics_pts_);
        at += length;
    }
    graphics_bytes_.erase(graphics_bytes_.begin(),
                          graphics_bytes_.begin() + static_cast<std::ptrdiff_t>(at));
}

HRESULT SubpictureOverlay::AddPacket(const uint8_t* data, std::size_t size, int64_t pts_100ns) {
    std::lock_guard lock(mutex_);
    if (reopen_ || !context_) {
        const HRESULT hr = OpenLocked();
        if (FAILED(hr)) return hr;
    }
    core::av::PacketPtr packet(av_packet_alloc());
    if (!packet) return E_OUTOFMEMORY;
    if (graphics_) {
        // A timed piece starts a PES, so a new run of segments; a piece left over from before
        // was cut off and is dropped. A piece without time continues the PES before it (none
        // after a flush: it is dropped).
        if (pts_100ns != AV_NOPTS_VALUE) {
            graphics_bytes_.clear();
            graphics_pts_ = pts_100ns;
        } else if (graphics_pts_ == AV_NOPTS_VALUE) {
            return S_OK;
        }
        graphics_bytes_.insert(graphics_bytes_.end(), data, data + size);
        DecodeSegmentsLocked(packet.get());
        return S_OK;
    }
    while (size > 0) {
        uint8_t* out = nullptr;
        int out_size = 0;
        int used = static_cast<int>(size);
        int64_t unit_pts = pts_100ns;
        if (parser_) {
            used = av_parser_parse2(parser_.get(), context_.get(), &out, &out_size, data,
                                    static_cast<int>(size), pts_100ns, AV_NOPTS_VALUE, 0);
            if (used < 0) return S_OK;
            unit_pts = parser_->pts;
        } else {
            out = const_cast<uint8_t*>(data);
            out_size = used;
        }
        data += used;
        size -= static_cast<std::size_t>(used);
        pts_100ns = AV_NOPTS_VALUE;
        if (out_size > 0) {
            // The decoder reads whole commands; give it a padded copy.
            if (av_new_packet(packet.get(), out_size) < 0) return E_OUTOFMEMORY;
            std::copy(out, out + out_size, packet->data);
            packet->pts = unit_pts;
            Subtitle subtitle;
            int got = 0;
            const int result =
                avcodec_decode_subtitle2(context_.get(), subtitle.get(), &got, packet.get());
            av_packet_unref(packet.get());
            if (result >= 0 && got) AddSubtitleLocked(*subtitle.get(), unit_pts);
        }
        if (used == 0 && out_size == 0) break;
    }
    return S_OK;
}

void SubpictureOverlay::AddSubtitleLocked(const AVSubtitle& subtitle, int64_t pts_100ns) {
    // A subpicture without a time follows the one before it.
    if (pts_100ns == AV_NOPTS_VALUE) pts_100ns = entries_.empty() ? 0 : entries_.back().start_100ns;
    Entry entry;
    entry.start_100ns = pts_100ns + int64_t{subtitle.start_display_time} * 10'000;
    const uint32_t end_ms = subtitle.end_display_time;
    entry.stop_100ns =
        (end_ms == 0 || end_ms == UINT32_MAX || end_ms <= subtitle.start_display_time)
            ? kOpenEnd
            : pts_100ns + int64_t{end_ms} * 10'000;
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        const AVSubtitleRect* r = subtitle.rects[i];
        if (r->type != SUBTITLE_BITMAP || r->w <= 0 || r->h <= 0 || !r->data[0] || !r->data[1])
            continue;
        // The decoder's palette holds 0xAARRGGBB words; turn the (at most 256) used colours
        // into limited-range BT.601 Y, Cb, Cr once.
        std::array<Pixel, 256> colours{};
        const auto* argb = reinterpret_cast<const uint32_t*>(r->data[1]);
        const int count = std::clamp(r->nb_colors, 0, 256);
        for (int c = 0; c < count; ++c) {
            const double red = (argb[c] >> 16) & 0xFF;
            const double green = (argb[c] >> 8) & 0xFF;
            const double blue = argb[c] & 0xFF;
            colours[static_cast<std::size_t>(c)] = {
                Clamp8(16 + 0.257 * red + 0.504 * green + 0.098 * blue),
                Clamp8(128 - 0.148 * red - 0.291 * green + 0.439 * blue),
                Clamp8(128 + 0.439 * red - 0.368 * green - 0.071 * blue),
                static_cast<uint8_t>(argb[c] >> 24)};
        }
        Rect rect;
        rect.x = r->x;
        rect.y = r->y;
        rect.width = r->w;
        rect.height = r->h;
        rect.pixels.resize(static_cast<std::size_t>(r->w) * static_cast<std::size_t>(r->h));
        for (int row = 0; row < r->h; ++row) {
            const uint8_t* index = r->data[0] + static_cast<std::ptrdiff_t>(row) * r->linesize[0];
            for (int x = 0; x < r->w; ++x)
                rect.pixels[static_cast<std::size_t>(row) * static_cast<std::size_t>(r->w) +
                            static_cast<std::size_t>(x)] = colours[index[x]];
        }
        entry.rects.push_back(std::move(rect));
    }
    // A new subtitle ends every open one before it.
    for (Entry& older : entries_)
        if (older.stop_100ns == kOpenEnd && older.start_100ns <= entry.start_100ns)
            older.stop_100ns = entry.start_100ns;
    if (entry.rects.empty()) return;  // a "hide" command: nothing to show
    auto at = std::upper_bound(entries_.begin(), entries_.end(), entry.start_100ns,
                               [](int64_t t, const Entry& e) { return t < e.start_100ns; });
    entries_.insert(at, std::move(entry));
}

void SubpictureOverlay::Draw(const Yv12View& picture, int64_t time_100ns) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.stop_100ns <= time_100ns; });
    for (const Entry& entry : entries_) {
        if (entry.start_100ns > time_100ns) break;
        for (const Rect& rect : entry.rects) {
            const int x0 = std::max(rect.x, 0);
            const int y0 = std::max(rect.y, 0);
            const int x1 = std::min(rect.x + rect.width, picture.width);
            const int y1 = std::min(rect.y + rect.height, picture.height);
            auto pixel = [&](int x, int y) -> const Pixel& {
                return rect.pixels[static_cast<std::size_t>(y - rect.y) *
                                       static_cast<std::size_t>(rect.width) +
                                   static_cast<std::size_t>(x - rect.x)];
            };
            for (int y = y0; y < y1; ++y) {
                uint8_t* luma = picture.y + static_cast<std::ptrdiff_t>(y) * picture.y_stride;
                for (int x = x0; x < x1; ++x) {
                    const Pixel& p = pixel(x, y);
                    if (p.alpha == 0) continue;
                    luma[x] = static_cast<uint8_t>(
                        (luma[x] * (255 - p.alpha) + p.y * p.alpha + 127) / 255);
                }
            }
            // Chroma: each sample covers 2x2 pixels; blend with their mean weight.
            for (int cy = y0 / 2; cy < (y1 + 1) / 2 && cy < picture.height / 2; ++cy) {
                uint8_t* v = picture.v + static_cast<std::ptrdiff_t>(cy) * picture.uv_stride;
                uint8_t* u = picture.u + static_cast<std::ptrdiff_t>(cy) * picture.uv_stride;
                for (int cx = x0 / 2; cx < (x1 + 1) / 2 && cx < picture.width / 2; ++cx) {
                    int alpha_sum = 0, u_sum = 0, v_sum = 0;
                    for (int dy = 0; dy < 2; ++dy) {
                        for (int dx = 0; dx < 2; ++dx) {
                            const int x = cx * 2 + dx, y = cy * 2 + dy;
                            if (x < x0 || x >= x1 || y < y0 || y >= y1) continue;
                            const Pixel& p = pixel(x, y);
                            alpha_sum += p.alpha;
                            u_sum += p.u * p.alpha;
                            v_sum += p.v * p.alpha;
                        }
                    }
                    if (alpha_sum == 0) continue;
                    const int total = 4 * 255;
                    u[cx] = static_cast<uint8_t>((u[cx] * (total - alpha_sum) + u_sum + total / 2) /
                                                 total);
                    v[cx] = static_cast<uint8_t>((v[cx] * (total - alpha_sum) + v_sum + total / 2) /
                                                 total);
                }
            }
        }
    }
}

void SubpictureOverlay::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    graphics_bytes_.clear();
    graphics_pts_ = AV_NOPTS_VALUE;
    if (context_) avcodec_flush_buffers(context_.get());
    if (parser_) parser_.reset(av_parser_init(AV_CODEC_ID_DVD_SUBTITLE));
}

}  // namespace rizuvira::decoders
