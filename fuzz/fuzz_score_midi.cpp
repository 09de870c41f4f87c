// Fuzzes the MIDI file reader of `qz subtone --score`, the chords made from
// what it read, and the writer of the fundamental track. Nothing may trip a
// sanitizer, hang or exceed the reader's limits; a failed read says where
// ("byte N: WHAT"); notes have a length and a finite pitch off channel 10;
// the written file reads back with one track more and the same notes in the
// input's tracks.
#include "fuzz_host.hpp"
#include "score.hpp"
#include "score_chords.hpp"
#include "score_writers.hpp"

#include <cmath>
#include <string>

using qzfuzz::fail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    std::string error;
    qzcli::Score score;
    if (!qzcli::read_midi(bytes, score, error)) {
        if (error.rfind("byte ", 0) != 0)
            fail("error without its place: %s", error.c_str());
        return 0;
    }
    if (score.parts.size() > qzcli::kScoreMaxParts || score.notes.size() > qzcli::kScoreMaxNotes)
        fail("%zu tracks, %zu notes", score.parts.size(), score.notes.size());
    // A key (0..127) bent by at most the widest range RPN 0 can set, 127
    // semitones and 127 cents.
    constexpr double kWidest = 127.0 + 127.0 / 100.0;
    for (const qzcli::ScoreNote &n : score.notes)
        if (n.end <= n.start || !std::isfinite(n.pitch) || n.pitch < -kWidest ||
            n.pitch > 127.0 + kWidest)
            fail("note [%lld, %lld) pitch %g", static_cast<long long>(n.start),
                 static_cast<long long>(n.end), n.pitch);
    if (!std::isfinite(
            qzcli::midi_seconds(score, score.notes.empty() ? 0 : score.notes.back().end)))
        fail("a time that is no number");
    std::vector<bool> all;
    std::vector<qzcli::ScoreChord> chords;
    if (!qzcli::select_parts(score, "", all, error) ||
        !qzcli::score_chords(score, all, 0.02, chords, error))
        return 0;
    for (qzcli::ScoreChord &c : chords)
        c.f0 = c.pitches[0] - 12.25; // between two keys: a bend
    qzcli::SubtoneScore opt;
    std::string out;
    if (!qzcli::write_score_midi(bytes, score, chords, opt, out, error))
        return 0; // no free channel
    qzcli::Score again;
    if (!qzcli::read_midi(out, again, error))
        fail("the written file does not read back: %s", error.c_str());
    if (again.parts.size() != score.parts.size() + 1)
        fail("written: %zu tracks, read: %zu", score.parts.size() + 1, again.parts.size());
    std::size_t old = 0;
    for (const qzcli::ScoreNote &n : again.notes)
        old += n.part + 1 < static_cast<int>(again.parts.size());
    if (old != score.notes.size())
        fail("%zu notes before writing, %zu after in the input's tracks", score.notes.size(), old);
    return 0;
}
