// A score as qz subtone --score reads it: the sounding notes of every part
// (or MIDI track) on one time line, with the measures (MusicXML) or the
// tempo map (MIDI) that turn a time into a position.
#ifndef QZ_CLI_SCORE_HPP
#define QZ_CLI_SCORE_HPP

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qzcli {

// Limits that keep memory and time bounded whatever the file holds; a file
// beyond one is an input error.
inline constexpr std::size_t kScoreMaxBytes = 64u << 20;    // file (and .mxl entry) size
inline constexpr std::size_t kScoreMaxParts = 256;          // parts or MIDI tracks
inline constexpr std::size_t kScoreMaxMeasures = 100000;    // measures of one part
inline constexpr std::size_t kScoreMaxNotes = 200000;       // sounding notes, all parts
inline constexpr std::size_t kScoreMaxEvents = 4000000;     // MIDI events, all tracks
inline constexpr std::size_t kScoreMaxChordPitches = 128;   // distinct pitches of one chord
inline constexpr std::int64_t kScoreMaxDivisions = 1 << 20; // common divisions of a MusicXML file
inline constexpr std::int64_t kScoreMaxNoteQuarters = 4096; // one duration, in quarter notes

// One note from its start to its end, in the score's ticks. A tied note is
// one note. pitch: MIDI number plus alteration or pitch bend, in semitones.
struct ScoreNote {
    std::int64_t start = 0, end = 0;
    double pitch = 0.0;
    int part = 0;          // index into Score::parts
    double velocity = 0.0; // MIDI velocity, or MusicXML's dynamics attribute (percent)
};

// A measure of a MusicXML score (all parts share them).
struct ScoreMeasure {
    std::int64_t start = 0, length = 0; // ticks
    std::string number;                 // its number attribute
    bool key_change = false, time_change = false;
    int fifths = 0; // key signature in force: > 0 sharps, < 0 flats
    int beats = 4, beat_type = 4;
    std::string time_symbol; // <time symbol="common|cut|...">, "" when none
};

struct Score {
    bool midi = false;
    // MusicXML: ticks per quarter note (the least common multiple of every
    // <divisions>). MIDI: the header's division (ticks per quarter), or 0
    // for SMPTE time.
    std::int64_t ticks_per_quarter = 1;
    std::vector<std::string> parts; // part-name, or MIDI track name ("" when none)
    std::vector<ScoreNote> notes;
    std::vector<ScoreMeasure> measures; // MusicXML only: concert keys, times

    // The tempo map: MIDI's tempo events, MusicXML's <sound tempo>.
    struct Tempo {
        std::int64_t tick = 0;
        double us_per_quarter = 500000.0;
        double seconds = 0.0; // from the start to `tick`
    };
    std::vector<Tempo> tempo; // sorted by tick
    struct Key {
        std::int64_t tick = 0;
        int fifths = 0; // > 0 sharps, < 0 flats
    };
    std::vector<Key> keys;          // key signature meta events, sorted by tick
    double smpte_ticks_per_s = 0.0; // SMPTE division: ticks per second
    int format = 0;
    std::size_t midi_end = 0; // bytes of the header and the tracks read (what follows is not kept)
    unsigned used_channels = 0; // bit c: channel c (0-15) has a channel event
};

// Reads a score from the bytes of a file: a Standard MIDI File (they start
// with "MThd"), a compressed MusicXML file (.mxl, a zip archive) or a
// MusicXML file (partwise or timewise; UTF-8 or UTF-16). false with `error`
// "POSITION: WHAT" otherwise.
bool read_score(std::string_view bytes, Score &score, std::string &error);

// The readers read_score picks from.
bool read_musicxml(std::string_view xml, Score &score, std::string &error);
bool read_mxl(std::string_view zip, std::string &xml, std::string &error);
bool read_midi(std::string_view bytes, Score &score, std::string &error);

// Seconds from the start to `tick` of a MIDI score, through its tempo map.
double midi_seconds(const Score &score, std::int64_t tick);

} // namespace qzcli

#endif // QZ_CLI_SCORE_HPP
