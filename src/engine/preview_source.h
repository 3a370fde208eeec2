// SPDX-License-Identifier: GPL-2.0-or-later
// PreviewSource: the source end that both preview graphs (the main window's player and the
// editor's graph) build, from the disc or plain file to the video decoder:
//
//   "Reader" (the DVD reader; a plain file has none, the splitter reads it itself)
//     → "Splitter" → "Decoder" (the video decoder: video on input 0, subpictures on input 1)
//
// The splitter's sound pin and the decoder's output are the graph's to join, each graph its
// own way. A failed step shows its fixed text through the MessageSink and returns false.
//
// Threads: the owner's (the application thread). The object holds one reference on the graph
// and on each filter it made; Release lets go of them.
#pragma once

#include <cstdint>
#include <filesystem>

#include "core/messages.h"
#include "platform/filter_graph.h"

namespace rizuvira::engine {

class PreviewSource {
public:
    // `messages` (may be null) must outlive this object.
    explicit PreviewSource(core::MessageSink* messages) : messages_(messages) {}

    // Adds "Splitter" and "Decoder" to `graph`.
    bool AddFilters(IGraphBuilder* graph);
    // Adds "Reader", reading the open disc `dvd_handle` (kept open by the caller).
    bool OpenDisc(int32_t dvd_handle);
    // Has the splitter read `file` itself, a plain file of one title lasting `length_ms`.
    bool OpenFile(const std::filesystem::path& file, int64_t length_ms);

    // Hands the splitter the disc's record of `title`, whose stream ids guide its search for
    // streams when its input connects. Before SelectArea; a disc only.
    void GiveTitleRecord(int title);
    // Plays `title` and `chapter` (−1: the whole title) of the disc, or title 0 of a plain
    // file: reads the area's duration, hands the decoder the title's subtitle colours, joins
    // the reader to the splitter and sets the splitter's range to the whole area. False for
    // another title of a plain file, or when the reader and the splitter do not join.
    bool SelectArea(int title, int chapter);
    // Joins the splitter's video pin to the decoder's input 0 and its subpicture pin, when the
    // source has one, to input 1 (a refused subpicture pin is left unjoined).
    bool ConnectDecoder();
    // The splitter's sound pin; null when the source has no sound.
    ComPtr<IPin> SoundPin() const;

    // Lets go of the graph and the filters.
    void Release();

    IBaseFilter* splitter() const { return splitter_.Get(); }
    IBaseFilter* decoder() const { return decoder_.Get(); }
    // Of the selected area; 0 before SelectArea or when unknown.
    int64_t duration_ms() const { return duration_ms_; }

private:
    bool Fail(const char* message);

    core::MessageSink* const messages_;
    ComPtr<IGraphBuilder> graph_;
    ComPtr<IBaseFilter> reader_;  // null for a plain file
    ComPtr<IBaseFilter> splitter_;
    ComPtr<IBaseFilter> decoder_;
    int32_t dvd_handle_ = 0;
    int64_t file_length_ms_ = 0;
    int64_t duration_ms_ = 0;
};

}  // namespace rizuvira::engine
