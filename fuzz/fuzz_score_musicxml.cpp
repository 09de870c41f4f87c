// Fuzzes the MusicXML reader of `qz subtone --score` (and the .mxl reader
// when the input is a zip archive), the chords made from what it read, and
// the writer of the fundamental part. Nothing may trip a sanitizer, hang or
// exceed the reader's limits; a failed read says where ("POSITION: WHAT");
// the chords are in time order, apart, each of distinct rising pitches; the
// written score reads back with one part more and the same chords in the
// input's parts, and the score written as MIDI reads back.
#include "fuzz_host.hpp"
#include "score.hpp"
#include "score_chords.hpp"
#include "score_writers.hpp"

#include <cmath>
#include <string>

namespace {

using qzfuzz::fail;

void check_chords(const std::vector<qzcli::ScoreChord> &chords)
{
    for (std::size_t i = 0; i < chords.size(); ++i) {
        const qzcli::ScoreChord &c = chords[i];
        if (c.end <= c.start || (i > 0 && chords[i - 1].end > c.start))
            fail("chord %zu spans [%lld, %lld) after one ending at %lld", i,
                 static_cast<long long>(c.start), static_cast<long long>(c.end),
                 static_cast<long long>(i > 0 ? chords[i - 1].end : 0));
        if (c.pitches.empty() || c.pitches.size() > qzcli::kScoreMaxChordPitches)
            fail("chord %zu has %zu pitches", i, c.pitches.size());
        for (std::size_t k = 0; k < c.pitches.size(); ++k)
            if (!std::isfinite(c.pitches[k]) || (k > 0 && !(c.pitches[k - 1] < c.pitches[k])))
                fail("chord %zu: pitches not distinct and rising", i);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    std::string xml(bytes), error;
    qzcli::Score score;
    bool ok = false;
    if (bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4))
        ok = qzcli::read_mxl(bytes, xml, error) && qzcli::read_musicxml(xml, score, error);
    else
        ok = qzcli::read_musicxml(xml, score, error);
    if (!ok) {
        if (error.find(": ") == std::string::npos)
            fail("error without its place: %s", error.c_str());
        return 0;
    }
    if (score.parts.empty() || score.parts.size() > qzcli::kScoreMaxParts ||
        score.notes.size() > qzcli::kScoreMaxNotes)
        fail("%zu parts, %zu notes", score.parts.size(), score.notes.size());
    std::vector<bool> all;
    std::vector<qzcli::ScoreChord> chords;
    if (!qzcli::select_parts(score, "", all, error) ||
        !qzcli::score_chords(score, all, 0.0, chords, error))
        return 0; // a chord of too many pitches
    check_chords(chords);
    // A fundamental for every chord: its lowest pitch two octaves down (the
    // box is not needed to exercise the spelling and the note values).
    for (qzcli::ScoreChord &c : chords)
        c.f0 = c.pitches[0] - 24.0;
    if (chords.size() > 2000 || score.measures.size() > 2000)
        return 0; // writing is linear; keep each input quick
    qzcli::SubtoneScore opt;
    opt.lyrics = size % 2 ? qzcli::ScoreLyrics::hz : qzcli::ScoreLyrics::cents;
    std::string out;
    if (!qzcli::write_score_musicxml(xml, score, chords, opt, out, error))
        return 0; // no <part-list>
    qzcli::Score again;
    if (!qzcli::read_musicxml(out, again, error))
        fail("the written score does not read back: %s", error.c_str());
    if (again.parts.size() != score.parts.size() + 1)
        fail("written: %zu parts, read: %zu", score.parts.size() + 1, again.parts.size());
    std::vector<bool> old_parts(again.parts.size(), true);
    old_parts.back() = false;
    std::vector<qzcli::ScoreChord> chords_again;
    if (!qzcli::score_chords(again, old_parts, 0.0, chords_again, error))
        fail("the written score's chords: %s", error.c_str());
    // The input's parts keep their chords (the measures may now be longer
    // when a part's measure was shorter than the others': the times are
    // compared in quarter notes only when no measure grew).
    if (chords_again.size() != chords.size())
        fail("%zu chords before writing, %zu after", chords.size(), chords_again.size());
    // The score as a MIDI file reads back as one: a tempo track, one track
    // a part, and the fundamentals' track.
    std::string smf;
    if (score.parts.size() + 2 <= qzcli::kScoreMaxParts &&
        qzcli::write_musicxml_midi(score, chords, opt, smf, error)) {
        qzcli::Score midi;
        if (!qzcli::read_midi(smf, midi, error))
            fail("the MIDI file written does not read back: %s", error.c_str());
        if (midi.parts.size() != score.parts.size() + 2)
            fail("MIDI written with %zu tracks, read: %zu", score.parts.size() + 2,
                 midi.parts.size());
    }
    return 0;
}
