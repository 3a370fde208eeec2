// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/preview_source.h"

#include <memory>

#include "decoders/decoder_interfaces.h"
#include "demux/demux_types.h"
#include "demux/mpeg_splitter.h"
#include "dvd/dvd_access.h"
#include "dvd/dvd_reader.h"
#include "engine/stage_table.h"
#include "platform/async_reader.h"

namespace rizuvira::engine {

bool PreviewSource::Fail(const char* message) {
    if (messages_) messages_->ShowMessage(message);
    return false;
}

bool PreviewSource::AddFilters(IGraphBuilder* graph) {
    graph_ = graph;
    if (FAILED(MakeStage(demux::CLSID_MpegSplitter, &splitter_)) ||
        FAILED(graph_->AddFilter(splitter_.Get(), "Splitter")))
        return Fail("CLSID_MpegSplitter error");
    if (FAILED(MakeStage(decoders::CLSID_MpegVideoDecoder, &decoder_)) ||
        FAILED(graph_->AddFilter(decoder_.Get(), "Decoder")))
        return Fail("CLSID_MpegDecoder error");
    return true;
}

bool PreviewSource::OpenDisc(int32_t dvd_handle) {
    dvd_handle_ = dvd_handle;
    ComPtr<IBaseFilter> reader;
    if (FAILED(MakeStage(dvd::CLSID_DVDReader, &reader)) ||
        FAILED(graph_->AddFilter(reader.Get(), "Reader")))
        return Fail("CLSID_DVDSource error");
    reader_ = reader;
    ComPtr<dvd::IMyDVDReader> dvd = reader_.As<dvd::IMyDVDReader>();
    if (!dvd) return Fail("IID_IMyDVDReader error");
    if (FAILED(dvd->SetDvdHandle(dvd_handle))) return Fail("SetDvdReader error");
    return true;
}

bool PreviewSource::OpenFile(const std::filesystem::path& file, int64_t length_ms) {
    ComPtr<IFileSourceFilter> source = splitter_.As<IFileSourceFilter>();
    if (!source || FAILED(source->Load(file.string(), nullptr)))
        return Fail("load source file error");
    file_length_ms_ = length_ms;
    return true;
}

void PreviewSource::GiveTitleRecord(int title) {
    ComPtr<demux::IMyMpegSplitter> control = splitter_.As<demux::IMyMpegSplitter>();
    if (!reader_ || !control || title < 0 || title >= dvd::kDvdMaxTitles) return;
    auto info = std::make_unique<dvd::TitleTable>();
    dvd::MyDVDGetInfo(dvd_handle_, info.get());
    control->SetTitleInfo(&info->titles[title]);
}

bool PreviewSource::SelectArea(int title, int chapter) {
    if (!reader_) {
        // A plain file: one title, its streams as the splitter loaded it.
        if (!splitter_ || title != 0) return false;
        duration_ms_ = file_length_ms_;
    } else {
        ComPtr<dvd::IMyDVDReader> dvd = reader_.As<dvd::IMyDVDReader>();
        if (!dvd) return false;
        dvd->SetArea(title, chapter);
        duration_ms_ = 0;
        dvd->GetDuration(&duration_ms_);
        uint32_t palette[16];
        if (dvd::MyDVDGetPalette(dvd_handle_, title, palette))
            if (ComPtr<decoders::IMySubpictureControl> sub =
                    decoder_.As<decoders::IMySubpictureControl>())
                sub->SetPalette(palette);

        ComPtr<IPin> out = GetFilterPin(reader_.Get(), PINDIR_OUTPUT, 0);
        if (!out) return Fail("get source output pin error");
        ComPtr<IPin> in = GetFilterPin(splitter_.Get(), PINDIR_INPUT, 0);
        if (!in) return Fail("get splitter input pin error");
        graph_->Disconnect(out.Get());
        graph_->Disconnect(in.Get());
        if (FAILED(graph_->ConnectDirect(out.Get(), in.Get(), nullptr))) return false;
    }
    // Once the input is joined, the splitter reports this duration at once.
    ComPtr<demux::IMyMpegSplitter> range = splitter_.As<demux::IMyMpegSplitter>();
    if (duration_ms_ > 0 && range) range->SetRange(0, duration_ms_, duration_ms_);
    return true;
}

bool PreviewSource::ConnectDecoder() {
    if (ComPtr<IPin> video = demux::SplitterOutput(splitter_.Get(), demux::kVideo)) {
        ComPtr<IPin> decoder_in = GetFilterPin(decoder_.Get(), PINDIR_INPUT, 0);
        if (!decoder_in || FAILED(graph_->ConnectDirect(video.Get(), decoder_in.Get(), nullptr)))
            return Fail("connect splitter and decoder error(video)");
    }
    if (ComPtr<IPin> subpicture = demux::SplitterOutput(splitter_.Get(), demux::kSubpicture))
        if (ComPtr<IPin> decoder_sub = GetFilterPin(decoder_.Get(), PINDIR_INPUT, 1))
            graph_->ConnectDirect(subpicture.Get(), decoder_sub.Get(), nullptr);
    return true;
}

ComPtr<IPin> PreviewSource::SoundPin() const {
    return demux::SplitterOutput(splitter_.Get(), demux::kAudio);
}

void PreviewSource::Release() {
    decoder_ = nullptr;
    splitter_ = nullptr;
    reader_ = nullptr;
    graph_ = nullptr;
    dvd_handle_ = 0;
    file_length_ms_ = 0;
    duration_ms_ = 0;
}

}  // namespace rizuvira::engine
