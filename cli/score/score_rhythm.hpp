// Written rhythm for the part qz adds to a MusicXML score: a stretch of
// ticks as note values (whole to 32nd, plain or dotted) joined by ties,
// and beats whose notes fall where no such value reaches as tuplets.
#ifndef QZ_CLI_SCORE_RHYTHM_HPP
#define QZ_CLI_SCORE_RHYTHM_HPP

#include <cstdint>
#include <vector>

namespace qzcli {

// A written note value: its type and dots, `ticks` long.
struct Value {
    const char *type;
    int dots;
    std::int64_t ticks;
};

// The note values (whole to 32nd, plain and dotted) that are a whole number
// of ticks at `tpq` ticks a quarter, longest first.
std::vector<Value> note_values(std::int64_t tpq);

// One written note: `ticks` long as it sounds, written as `type` with
// `dots` (type null: no written value fits; it keeps its duration), in an
// `actual`:`normal` tuplet (0: none) that it starts or ends.
struct Piece {
    std::int64_t ticks = 0;
    const char *type = nullptr;
    int dots = 0;
    int actual = 0, normal = 0;
    bool tuplet_start = false, tuplet_stop = false;
};

// A beat written as a tuplet: `actual` notes of `unit` ticks in the time of
// `normal` written notes of the type `unit_type` (an index into
// "whole", "half", ... "128th").
struct TupletBeat {
    std::int64_t start = 0, end = 0, unit = 0;
    int actual = 0, normal = 0, unit_type = 0;
};

// The beats of the measure [start, end) (beats of `beat_type`, as the time
// signature's lower number) in which a time of `cuts` (where a note or rest
// begins) lies where no written value from the beat's start reaches: each
// is divided into the fewest equal parts n that hold all its cuts (n not a
// power of two; 3 for triplets, 5 for quintuplets, 9 for triplets within
// triplets), written as n in the time of the largest power of two below n.
// A beat that no n up to 32 divides is left out (its notes keep their
// durations).
std::vector<TupletBeat> tuplet_beats(std::int64_t start, std::int64_t end, std::int64_t tpq,
                                     int beat_type, const std::vector<std::int64_t> &cuts,
                                     const std::vector<Value> &values);

// [from, to) as written notes, longest first: inside a tuplet beat as its
// units, elsewhere as `values` (a remainder that none reaches keeps its
// duration as one more piece).
std::vector<Piece> rhythm_pieces(std::int64_t from, std::int64_t to,
                                 const std::vector<TupletBeat> &tuplets,
                                 const std::vector<Value> &values);

} // namespace qzcli

#endif // QZ_CLI_SCORE_RHYTHM_HPP
