#include "audio_commands.hpp"

#include "audio.hpp"

#include <iostream>

namespace qzcli {

bool pitchtally_audio_text(const PitchTallyAudio &opt, std::string &text)
{
    std::vector<TrackEvent> events;
    std::string error;
    if (!track_sound(opt.file, opt.track, events, error)) {
        std::cerr << "qz pitchtally: " << error << '\n';
        return false;
    }
    if (events.empty())
        std::cerr << "qz pitchtally: no pitch found in '" << opt.file << "'\n";
    text.clear();
    for (const TrackEvent &e : events) {
        text += qzhost::format_number(e.time);
        text += ' ';
        text += qzhost::format_number(e.pitch);
        text += ' ';
        text += qzhost::format_number(e.amp);
        text += '\n';
    }
    return true;
}

} // namespace qzcli
