// SPDX-License-Identifier: GPL-2.0-or-later
#include "decoders/sample_pictures.h"

extern "C" {
#include <libavutil/mem.h>
}

#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

#include "decoders/subpicture_overlay.h"

namespace rizuvira::decoders {

namespace {
constexpr std::uintptr_t kPlaneAlign = 64;
}  // namespace

struct SamplePictures::State {
    CBaseOutputPin* pin = nullptr;
    int width = 0;
    int height = 0;
    mutable std::mutex mutex;
    std::vector<std::pair<const uint8_t*, IMediaSample*>> lent;  // buffer start → its sample
};

struct SamplePictures::Loan {
    std::shared_ptr<State> state;
    IMediaSample* sample;  // null for plain memory
};

bool SamplePictures::Suits(AVCodecID codec, int width, int height) {
    return (codec == AV_CODEC_ID_MPEG1VIDEO || codec == AV_CODEC_ID_MPEG2VIDEO) && width > 0 &&
           height > 0 && width % 16 == 0 && height % 32 == 0;
}

void SamplePictures::Attach(AVCodecContext* context, CBaseOutputPin* pin, int width, int height) {
    state_ = std::make_shared<State>();
    state_->pin = pin;
    state_->width = width;
    state_->height = height;
    context->opaque = this;
    context->get_buffer2 = &SamplePictures::GetBuffer;
}

IMediaSample* SamplePictures::SampleOf(const AVFrame* frame) const {
    if (!state_ || !frame->buf[0]) return nullptr;
    const uint8_t* start = frame->buf[0]->data;
    std::lock_guard lock(state_->mutex);
    for (const auto& [buffer, sample] : state_->lent)
        if (buffer == start) return sample;
    return nullptr;
}

int SamplePictures::GetBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
    auto* self = static_cast<SamplePictures*>(context->opaque);
    const std::shared_ptr<State>& state = self->state_;
    const int width = state->width, height = state->height;
    if (frame->format != AV_PIX_FMT_YUV420P || frame->width != width || frame->height != height)
        return avcodec_default_get_buffer2(context, frame, flags);

    const std::size_t bytes = Yv12Bytes(width, height);
    const std::size_t wanted = bytes + AV_INPUT_BUFFER_PADDING_SIZE;
    IMediaSample* sample = nullptr;
    uint8_t* start = nullptr;
    if (state->pin &&
        SUCCEEDED(state->pin->GetDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT))) {
        BYTE* data = nullptr;
        if (SUCCEEDED(sample->GetPointer(&data)) && data &&
            static_cast<std::size_t>(sample->GetSize()) >= wanted &&
            reinterpret_cast<std::uintptr_t>(data) % kPlaneAlign == 0) {
            start = data;
        } else {
            sample->Release();
            sample = nullptr;
        }
    }
    if (!start) {
        start = static_cast<uint8_t*>(av_malloc(wanted));
        if (!start) return AVERROR(ENOMEM);
    }
    auto* loan = new (std::nothrow) Loan{state, sample};
    AVBufferRef* buffer =
        loan ? av_buffer_create(start, bytes, &SamplePictures::GiveBack, loan, 0) : nullptr;
    if (!buffer) {
        delete loan;
        if (sample)
            sample->Release();
        else
            av_free(start);
        return AVERROR(ENOMEM);
    }
    if (sample) {
        std::lock_guard lock(state->mutex);
        state->lent.emplace_back(start, sample);
    }
    const std::size_t luma = static_cast<std::size_t>(width) * height;
    const std::size_t chroma = luma / 4;
    frame->buf[0] = buffer;
    frame->data[0] = start;
    frame->data[2] = start + luma;           // Cr
    frame->data[1] = start + luma + chroma;  // Cb
    frame->linesize[0] = width;
    frame->linesize[1] = frame->linesize[2] = width / 2;
    frame->extended_data = frame->data;
    return 0;
}

void SamplePictures::GiveBack(void* opaque, uint8_t* data) {
    std::unique_ptr<Loan> loan(static_cast<Loan*>(opaque));
    if (!loan->sample) {
        av_free(data);
        return;
    }
    {
        std::lock_guard lock(loan->state->mutex);
        auto& lent = loan->state->lent;
        for (auto it = lent.begin(); it != lent.end(); ++it) {
            if (it->first == data) {
                lent.erase(it);
                break;
            }
        }
    }
    loan->sample->Release();
}

}  // namespace rizuvira::decoders
