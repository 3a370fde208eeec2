#include "engine/item_run.h"

#include "demux/demux_types.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace rizuvira::engine {

ItemRunResult RunItem(ConversionGraph& graph, const ItemRunRequest& request) {
    std::mutex mutex;
    std::condition_variable event_queued;
    bool pending = false;
    auto notify = [&] {
        std::lock_guard lock(mutex);
        pending = true;
        event_queued.notify_one();
    };
    graph.SetSubtitlesWanted(request.subtitle_key != -1);
    if (!graph.Build(request.dvd_handle, request.title, request.chapter, request.item, notify)) {
        const bool encrypted = graph.last_build_encrypted();
        graph.Teardown();
        return encrypted ? ItemRunResult::kEncrypted : ItemRunResult::kFailed;
    }
    graph.SelectStreams(request.audio_key, request.subtitle_key);
    graph.Run();

    ItemRunResult result = ItemRunResult::kDone;
    for (bool ended = false; !ended;) {
        {
            std::unique_lock lock(mutex);
            event_queued.wait_for(lock, std::chrono::milliseconds(200), [&] { return pending; });
            pending = false;
        }
        LONG code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        while (graph.Events()->GetEvent(&code, &param1, &param2, 0) == S_OK) {
            graph.Events()->FreeEventParams(code, param1, param2);
            if (code == EC_COMPLETE) ended = true;
            if (code == EC_ERRORABORT || code == EC_USERABORT) {
                ended = true;
                result = ItemRunResult::kFailed;
                if (code == EC_ERRORABORT && static_cast<HRESULT>(param1) == demux::DEMUX_E_SCRAMBLED) {
                    result = ItemRunResult::kEncrypted;
                    if (request.messages) request.messages->ShowMessage(kEncryptedDiscMessage);
                }
            }
        }
        if (request.cancel && request.cancel->load()) {
            result = ItemRunResult::kCancelled;
            break;
        }
        if (request.progress) {
            double seconds = 0;
            if (graph.GetPositionSeconds(&seconds)) request.progress(seconds);
        }
    }
    graph.Stop();
    graph.Teardown();
    return result;
}

}  // namespace rizuvira::engine
