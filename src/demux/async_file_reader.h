// SPDX-License-Identifier: GPL-2.0-or-later
// CAsyncFileReader: a plain file as a pull-model byte source, so the splitter can read .vob,
// .mpg, .ts and .m2ts files by name (IFileSourceFilter.Load), and a Blu-ray title by its
// playlist path (CPlaylistSource). It wraps the platform's file
// source filter and hands out the IAsyncReader of its output pin; whoever holds that reader
// keeps the source alive (a pin's references are its filter's).
// Threads: Open on the application thread; the reader is then used as any IAsyncReader.
#pragma once

#include <string>

#include "platform/async_reader.h"

namespace rizuvira::demux {

class CAsyncFileReader {
public:
    // E_FAIL when the file cannot be opened.
    HRESULT Open(const std::string& path);
    IAsyncReader* Reader() const { return reader_.Get(); }
    ComPtr<IUnknown> Owner() const { return owner_; }

private:
    ComPtr<IUnknown> owner_;
    ComPtr<IAsyncReader> reader_;
};

}  // namespace rizuvira::demux
