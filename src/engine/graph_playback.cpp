// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/graph_playback.h"

#include "engine/preview_player.h"

namespace rizuvira::engine {

GraphPlayback::GraphPlayback(core::MessageSink* messages)
    : messages_(messages), source_(messages) {}

bool GraphPlayback::Fail(const std::string& message) {
    if (messages_) messages_->ShowMessage(message);
    return false;
}

bool GraphPlayback::CreateGraph(std::function<void()> notify) {
    ComPtr<IUnknown> graph;
    if (FAILED(CreateFilterGraph(graph.ReleaseAndGetAddressOf())) ||
        !(graph_ = graph.As<IGraphBuilder>()))
        return Fail("CoCreateInstance error");
    control_ = graph.As<IMediaControl>();
    events_ = graph.As<IMediaEventEx>();
    seeking_ = graph.As<IMediaSeeking>();
    if (events_ && notify) events_->SetNotifyCallback(std::move(notify));
    if (seeking_) seeking_->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
    if (!control_ || !events_ || !seeking_) return Fail("IID_IMediaSeeking error");
    return true;
}

void GraphPlayback::StopGraph() {
    if (control_) control_->Stop();
    if (events_) events_->SetNotifyCallback({});
}

void GraphPlayback::ReleaseGraph() {
    if (graph_) {
        std::vector<ComPtr<IBaseFilter>> filters;
        if (SUCCEEDED(graph_->EnumFilters(&filters)))
            for (const ComPtr<IBaseFilter>& filter : filters) graph_->RemoveFilter(filter.Get());
    }
    source_.Release();
    seeking_ = nullptr;
    events_ = nullptr;
    control_ = nullptr;
    graph_ = nullptr;
}

int GraphPlayback::Play() {
    if (control_ && !IsRunning()) control_->Run();
    return 1;
}
int GraphPlayback::Pause() {
    if (control_ && !IsPaused()) control_->Pause();
    return 1;
}
int GraphPlayback::Stop() {
    if (control_ && !IsStopped()) control_->Stop();
    return 1;
}

bool GraphPlayback::IsRunning() {
    return GraphStateIs(control_.Get(), State_Running);
}
bool GraphPlayback::IsPaused() {
    return GraphStateIs(control_.Get(), State_Paused);
}
bool GraphPlayback::IsStopped() {
    return GraphStateIs(control_.Get(), State_Stopped);
}

bool GraphPlayback::GetPlayDuration(double* seconds) {
    LONGLONG duration = 0;
    if (!seconds || !seeking_ || FAILED(seeking_->GetDuration(&duration))) return false;
    *seconds = static_cast<double>(duration) / 1e7;
    return true;
}

bool GraphPlayback::GetPlayPosition(double* seconds) {
    LONGLONG position = 0;
    if (!seconds || !seeking_ || FAILED(seeking_->GetCurrentPosition(&position))) return false;
    *seconds = static_cast<double>(position) / 1e7;
    return true;
}

bool GraphPlayback::SeekTo(double seconds) {
    if (!seeking_) return false;
    LONGLONG current = static_cast<LONGLONG>(seconds * 1e7);
    return SUCCEEDED(seeking_->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr,
                                            AM_SEEKING_NoPositioning));
}

bool GraphPlayback::ListStreams(StreamInfoList* list) {
    return FillStreamInfoList(source_.splitter(), list);
}

bool GraphPlayback::EnableStream(int index, bool enable) {
    ComPtr<IAMStreamSelect> select;
    if (source_.splitter()) QueryInterfaceAs(source_.splitter(), &select);
    return select && SUCCEEDED(select->Enable(index, enable ? AMSTREAMSELECTENABLE_ENABLE : 0));
}

bool TakeEventsUntilComplete(IMediaEventEx* events) {
    if (events == nullptr) return false;
    LONG code = 0;
    LONG_PTR first = 0, second = 0;
    bool complete = false;
    while (SUCCEEDED(events->GetEvent(&code, &first, &second, 0))) {
        events->FreeEventParams(code, first, second);
        if (code == EC_COMPLETE) complete = true;
    }
    return complete;
}

}  // namespace rizuvira::engine
