#include "app/conversion_options.h"

namespace rizuvira::app {

void ApplyConversionOptions(const ConversionOptions& options, DiscSession* session) {
    session->SetPictureCleanup(options.cleanup);
    session->ChooseSoftSubtitles(options.soft_subtitles);
    std::vector<TrackChoice> further;
    for (size_t i = 1; i < options.sound_tracks.size(); ++i) {
        TrackChoice choice;
        choice.position = options.sound_tracks[i];
        further.push_back(choice);
    }
    TrackChoice first;
    if (!options.sound_tracks.empty())
        first.position = options.sound_tracks.front();
    else if (session->has_disc())
        first.id = session->catalogue().current_audio_id();  // as a click in the list chose it
    session->ChooseAudio(first);
    session->ChooseFurtherAudio(std::move(further));
}

}  // namespace rizuvira::app
