#include "engine/graph_playback.h"

#include "engine/preview_player.h"

namespace rizuvira::engine {

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

bool GraphPlayback::IsRunning() { return GraphStateIs(control_.Get(), State_Running); }
bool GraphPlayback::IsPaused() { return GraphStateIs(control_.Get(), State_Paused); }
bool GraphPlayback::IsStopped() { return GraphStateIs(control_.Get(), State_Stopped); }

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

bool GraphPlayback::ListStreams(StreamInfoList* list) { return FillStreamInfoList(splitter_.Get(), list); }

bool GraphPlayback::EnableStream(int index, bool enable) {
    ComPtr<IAMStreamSelect> select = splitter_ ? splitter_.As<IAMStreamSelect>() : nullptr;
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
