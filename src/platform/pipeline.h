// SPDX-License-Identifier: GPL-2.0-or-later
// The pipeline library in one include.
//
// What is where:
//   win_types.h, guid.h, uuids.h    scalar names, HRESULT codes, GUIDs and the media/format ids
//   com.h, registry.h               IUnknown, ComPtr, CUnknown; class ids -> factories
//   media_type.h, format_types.h    AM_MEDIA_TYPE / CMediaType and the format blocks
//   interfaces.h, seeking.h         samples, allocators, pins, filters, clocks, events,
//                                   IMediaSeeking, IAMStreamSelect
//   media_sample.h                  CMediaSample, CMemAllocator
//   base_filter.h, base_pin.h,      CBaseFilter, CBasePin, CBaseInputPin, CBaseOutputPin
//   input_pin.h, output_pin.h
//   transform_filter.h              CTransformFilter ("XForm In" -> "XForm Out")
//   output_queue.h, am_thread.h     COutputQueue, CAMThread
//   pos_pass_thru.h                 CPosPassThru (seeking passed upstream)
//   reference_clock.h               CBaseReferenceClock, CSystemClock
//   async_io.h, async_reader.h,     the pull model: CAsyncStream, CAsyncIo, IAsyncReader,
//   file_stream.h                   CAsyncReader, CAsyncOutputPin; CFileStream, CAsyncFileSource
//   filter_graph.h                  the graph manager (IGraphBuilder, IMediaControl, events)
//   sync.h                          CCritSec, CAutoLock, CAMEvent
//
// Threads, once for all: the application thread builds graphs and changes their state; each
// source or queue has a streaming thread that pushes samples downstream (Receive, EndOfStream)
// and must never take a filter lock that a state change holds while it waits for that thread.
// State changes run downstream first, so a blocked Receive downstream returns before its
// upstream stops; Stop decommits allocators, which releases threads waiting for buffers.
// Flushes travel downstream on the thread that seeks. Events go to the graph from any thread.
#pragma once

#include "platform/am_thread.h"
#include "platform/async_io.h"
#include "platform/async_reader.h"
#include "platform/base_filter.h"
#include "platform/base_pin.h"
#include "platform/com.h"
#include "platform/file_stream.h"
#include "platform/filter_graph.h"
#include "platform/format_types.h"
#include "platform/guid.h"
#include "platform/input_pin.h"
#include "platform/interfaces.h"
#include "platform/media_sample.h"
#include "platform/media_type.h"
#include "platform/output_pin.h"
#include "platform/output_queue.h"
#include "platform/pos_pass_thru.h"
#include "platform/reference_clock.h"
#include "platform/registry.h"
#include "platform/seeking.h"
#include "platform/sync.h"
#include "platform/transform_filter.h"
#include "platform/uuids.h"
#include "platform/win_types.h"

namespace rizuvira::platform {}  // namespace rizuvira::platform
