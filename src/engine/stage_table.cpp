// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/stage_table.h"

#include <new>

#include "decoders/decoder_interfaces.h"
#include "decoders/register.h"
#include "demux/demux_types.h"
#include "demux/mpeg_splitter.h"
#include "dvd/dvd_reader.h"
#include "filters/audio_conv_filter.h"
#include "filters/conv_filter.h"
#include "filters/deinterlace_filter.h"
#include "filters/tee_filter.h"
#include "filters/video_conv_filter.h"
#include "platform/registry.h"
#include "platform/uuids.h"

namespace rizuvira::engine {

namespace {

using enum StreamForm;

// A filter whose CreateInstance(outer, hr) returns it with no reference yet.
template <class Filter>
HRESULT MakeOwn(ComPtr<IBaseFilter>* filter) {
    HRESULT hr = S_OK;
    ComPtr<Filter> made(Filter::CreateInstance(nullptr, &hr));
    if (!made) return FAILED(hr) ? hr : E_OUTOFMEMORY;
    *filter = made;
    return S_OK;
}

HRESULT MakeReader(ComPtr<IBaseFilter>* filter) {
    HRESULT hr = S_OK;
    ComPtr<dvd::CDVDReader> reader(new (std::nothrow) dvd::CDVDReader(nullptr, &hr));
    if (!reader) return E_OUTOFMEMORY;
    if (FAILED(hr)) return hr;
    *filter = reader;
    return S_OK;
}

HRESULT MakeSplitter(ComPtr<IBaseFilter>* filter) {
    return demux::CreateMpegSplitter(nullptr, filter->ReleaseAndGetAddressOf());
}

template <const CLSID& kClsid>
HRESULT MakeRegistered(ComPtr<IBaseFilter>* filter) {
    decoders::RegisterDecoders();
    return CoCreateInstance(kClsid, filter);
}

}  // namespace

const std::vector<Stage>& Stages() {
    // clang-format off
    static const std::vector<Stage> stages = {
        {"DVD Reader", dvd::CLSID_DVDReader, &MakeReader, {}, {kByteStream}},
        {"MPEG Splitter", demux::CLSID_MpegSplitter, &MakeSplitter,
         {kByteStream}, {kMpegVideo, kCodedSound, kSubpicture}},
        {"MPEG Video Decoder", decoders::CLSID_MpegVideoDecoder,
         &MakeRegistered<decoders::CLSID_MpegVideoDecoder>, {kMpegVideo, kSubpicture}, {kPictures}},
        {"MPEG Audio Decoder", decoders::CLSID_MpegAudioDecoder,
         &MakeRegistered<decoders::CLSID_MpegAudioDecoder>, {kCodedSound}, {kSound}},
        {"Deinterlacer", filters::CLSID_Deinterlacer, &MakeOwn<filters::CDeinterlaceFilter>,
         {kPictures}, {kPictures}},
        {"Video Converter", filters::CLSID_MyVideoConver, &MakeOwn<filters::CMyVideoConveFilter>,
         {kPictures}, {kPictures}},
        {"Audio Converter", filters::CLSID_MyAudioConver, &MakeOwn<filters::CMyAudioConveFilter>,
         {kSound}, {kSound}},
        {"Tee", filters::CLSID_MyTee, &MakeOwn<filters::CMyTeeFilter>,
         {kPictures}, {kPictures, kPictures}},
        // One sound track, no subtitles: "Audio In", "Video In" and "Video Pre".
        {"Converter Sink", filters::CLSID_ConvFilter, &MakeOwn<filters::CConvFilter>,
         {kSound, kPictures}, {kPictures}},
        {"Video Renderer", CLSID_VideoMixingRenderer, &MakeRegistered<CLSID_VideoMixingRenderer>,
         {kPictures}, {}},
        {"Audio Renderer", CLSID_DSoundRender, &MakeRegistered<CLSID_DSoundRender>,
         {kSound}, {}},
    };
    // clang-format on
    return stages;
}

HRESULT MakeStage(const CLSID& clsid, ComPtr<IBaseFilter>* filter) {
    if (!filter) return E_POINTER;
    filter->Reset();
    for (const Stage& stage : Stages())
        if (stage.clsid == clsid) return stage.make(filter);
    return E_INVALIDARG;
}

}  // namespace rizuvira::engine
