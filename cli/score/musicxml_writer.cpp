// The part "Virtual fundamental" added to a MusicXML score: a clef for its
// range, one note per chord of two pitches or more for as long as the chord lasts, split at
// barlines and into written note values with ties, rests where no chord or no fundamental is.
#include "musicxml_timewise.hpp"
#include "notes.hpp"
#include "score_rhythm.hpp"
#include "score_writers.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace qzcli {

std::string fundamental_part_name(int octave)
{
    std::string name = "Virtual fundamental";
    if (octave != 0)
        name += std::string(" (") + (octave > 0 ? "+" : "") + std::to_string(octave) +
                (octave == 1 || octave == -1 ? " octave)" : " octaves)");
    return name;
}

namespace {

// A written pitch: step, alter and octave, spelled for the key (sharps in
// sharp keys and C major, flats in flat keys), quarter tones as alter
// +-0.5 or +-1.5.
struct Spelled {
    char step = 'C';
    double alter = 0.0;
    int octave = 4;
    const char *accidental = nullptr; // for quarter tones only
};

Spelled spell(double quarter_midi, int fifths)
{
    // quarter_midi is a multiple of 0.5.
    static const char kSharpSteps[] = "CCDDEFFGGAAB";
    static const int kSharpAlter[] = {0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0};
    static const char kFlatSteps[] = "CDDEEFGGAABB";
    static const int kFlatAlter[] = {0, -1, 0, -1, 0, 0, -1, 0, -1, 0, -1, 0};
    const bool flats = fifths < 0;
    const bool quarter = quarter_midi != std::floor(quarter_midi);
    // A quarter tone is written from the semitone below (sharp keys) or
    // above (flat keys).
    const double base = quarter ? (flats ? quarter_midi + 0.5 : quarter_midi - 0.5) : quarter_midi;
    const int b = static_cast<int>(base);
    const int pc = ((b % 12) + 12) % 12;
    Spelled s;
    s.step = flats ? kFlatSteps[pc] : kSharpSteps[pc];
    s.alter = flats ? kFlatAlter[pc] : kSharpAlter[pc];
    // The octave of the written step (no B# or Cb: the tables spell C and
    // B naturally). `b` is 0 or more (the writer rests below MIDI 0).
    s.octave = b / 12 - 1;
    if (quarter) {
        s.alter += flats ? -0.5 : 0.5;
        static const struct {
            double alter;
            const char *name;
        } kQuarter[] = {{0.5, "quarter-sharp"},
                        {1.5, "three-quarters-sharp"},
                        {-0.5, "quarter-flat"},
                        {-1.5, "three-quarters-flat"}};
        for (const auto &q : kQuarter)
            if (q.alter == s.alter)
                s.accidental = q.name;
    }
    return s;
}

std::string number_text(double v, int decimals)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// The pitch written for a chord (MIDI, to the nearest quarter tone, moved
// by --octave), or NaN for a rest: no chord, no fundamental, a pitch beyond
// octaves 0 to 9, or a moment of one sounding pitch, whose fundamental is
// that pitch itself, already written in its own part.
double written_pitch(const ScoreChord *c, int octave)
{
    if (!c || !std::isfinite(c->f0) || c->pitches.size() < 2)
        return NAN;
    const double written = std::round((c->f0 + 12.0 * octave) * 2.0) / 2.0;
    return written < 12.0 || written >= 131.5 ? NAN : written; // C0 is MIDI 12, B9 is 131
}

// A clef for the written fundamentals: the one with most of them on its
// staff or within a major third of it, the bass clef on a tie (then an
// octave bass clef, the treble clef, two octaves down, an octave up).
struct Clef {
    const char *sign;
    int line, octave_change;
    double low, high; // MIDI pitches of the bottom and top lines
};

Clef choose_clef(const std::vector<ScoreChord> &chords, int octave)
{
    static const Clef kClefs[] = {{"F", 4, 0, 43, 57},  // bass: G2 to A3
                                  {"F", 4, -1, 31, 45}, // bass an octave down
                                  {"G", 2, 0, 64, 77},  // treble: E4 to F5
                                  {"F", 4, -2, 19, 33}, // bass two octaves down
                                  {"G", 2, 1, 76, 89}}; // treble an octave up
    const Clef *best = &kClefs[0];
    std::size_t best_count = 0;
    for (const Clef &k : kClefs) {
        std::size_t count = 0;
        for (const ScoreChord &c : chords) {
            const double w = written_pitch(&c, octave);
            count += std::isfinite(w) && w >= k.low - 4.0 && w <= k.high + 4.0 ? 1 : 0;
        }
        if (count > best_count) {
            best = &k;
            best_count = count;
        }
    }
    return *best;
}

struct Writer {
    const Score &score;
    const SubtoneScore &opt;
    std::vector<Value> values;

    void note(pugi::xml_node m, const ScoreChord *c, const Piece &piece, bool tie_before,
              bool tie_after, bool first_piece, int fifths, bool whole_measure)
    {
        const std::int64_t ticks = piece.ticks;
        pugi::xml_node n = m.append_child("note");
        const double written = written_pitch(c, opt.octave);
        const bool rest = !std::isfinite(written);
        Spelled s;
        if (rest) {
            pugi::xml_node r = n.append_child("rest");
            if (whole_measure)
                r.append_attribute("measure") = "yes";
        } else {
            s = spell(written, fifths);
            pugi::xml_node p = n.append_child("pitch");
            p.append_child("step").text().set(std::string(1, s.step).c_str());
            if (s.alter != 0.0)
                p.append_child("alter").text().set(
                    number_text(s.alter, s.alter == std::floor(s.alter) ? 0 : 1).c_str());
            p.append_child("octave").text().set(s.octave);
        }
        n.append_child("duration").text().set(static_cast<long long>(ticks));
        if (!rest && tie_before)
            n.append_child("tie").append_attribute("type") = "stop";
        if (!rest && tie_after)
            n.append_child("tie").append_attribute("type") = "start";
        n.append_child("voice").text().set("1");
        if (!(rest && whole_measure)) {
            n.append_child("type").text().set(piece.type ? piece.type : values.back().type);
            for (int i = 0; i < (piece.type ? piece.dots : values.back().dots); ++i)
                n.append_child("dot");
        }
        if (!rest && s.accidental)
            n.append_child("accidental").text().set(s.accidental);
        if (piece.actual > 0) {
            pugi::xml_node tm = n.append_child("time-modification");
            tm.append_child("actual-notes").text().set(piece.actual);
            tm.append_child("normal-notes").text().set(piece.normal);
        }
        const bool ties = !rest && (tie_before || tie_after);
        if (ties || piece.tuplet_start || piece.tuplet_stop) {
            pugi::xml_node no = n.append_child("notations");
            if (ties && tie_before)
                no.append_child("tied").append_attribute("type") = "stop";
            if (ties && tie_after)
                no.append_child("tied").append_attribute("type") = "start";
            if (piece.tuplet_start) {
                pugi::xml_node t = no.append_child("tuplet");
                t.append_attribute("type") = "start";
                t.append_attribute("bracket") = "yes";
            }
            if (piece.tuplet_stop)
                no.append_child("tuplet").append_attribute("type") = "stop";
        }
        if (!rest && first_piece && opt.lyrics != ScoreLyrics::none) {
            pugi::xml_node l = n.append_child("lyric");
            l.append_attribute("number") = "1";
            l.append_child("syllabic").text().set("single");
            std::string text;
            if (opt.lyrics == ScoreLyrics::hz) {
                // The fundamental's own frequency, whatever --octave writes.
                text = number_text(note_to_hz(c->f0, kA4Hz), 1);
            } else {
                // From the written note to the search's result before the
                // box rounds it to the grid (the midpoint of its last
                // interval), moved by --octave as the note is.
                const double shown = hz_to_note(c->midpoint_hz, kA4Hz) + 12.0 * opt.octave;
                text = number_text((shown - written) * 100.0, 0);
                if (text == "-0")
                    text = "0";
                if (text[0] != '-')
                    text.insert(text.begin(), '+');
            }
            l.append_child("text").text().set(text.c_str());
        }
    }
};

} // namespace

bool write_score_musicxml(std::string_view xml, const Score &score,
                          const std::vector<ScoreChord> &chords, const SubtoneScore &opt,
                          std::string &out, std::string &error)
{
    pugi::xml_document doc;
    const unsigned flags = (pugi::parse_full | pugi::parse_ws_pcdata) & ~pugi::parse_eol;
    if (!doc.load_buffer(xml.data(), xml.size(), flags)) {
        error = "cannot read the score again";
        return false;
    }
    // The output is UTF-8 whatever the input's encoding: its declaration
    // says so.
    for (pugi::xml_node d = doc.first_child(); d; d = d.next_sibling())
        if (d.type() == pugi::node_declaration && d.attribute("encoding"))
            d.attribute("encoding") = "UTF-8";
    pugi::xml_node root = doc.document_element();
    const bool timewise = std::string(root.name()) == "score-timewise";
    pugi::xml_node list = root.child("part-list");
    if (!list) {
        error = "the score has no <part-list>";
        return false;
    }
    std::string id = "QZVF";
    const std::vector<std::string> timewise_ids =
        timewise ? timewise_part_ids(root) : std::vector<std::string>{};
    for (int i = 1; root.find_child_by_attribute("part", "id", id.c_str()) ||
                    list.find_child_by_attribute("score-part", "id", id.c_str()) ||
                    std::find(timewise_ids.begin(), timewise_ids.end(), id) != timewise_ids.end();
         ++i)
        id = "QZVF" + std::to_string(i);
    pugi::xml_node sp = list.append_child("score-part");
    sp.append_attribute("id") = id.c_str();
    sp.append_child("part-name").text().set(fundamental_part_name(opt.octave).c_str());

    // At the end of the score (nothing follows the parts in a partwise
    // score), so that the text around the input's parts stays as it was.
    pugi::xml_node part = root.append_child("part");
    part.append_attribute("id") = id.c_str();

    Writer w{score, opt, note_values(score.ticks_per_quarter)};
    const Clef cl = choose_clef(chords, opt.octave);
    // The time line as chords and the gaps between them.
    std::size_t ci = 0;
    int piece_of_chord = 0;                 // pieces written of the chord that sounds
    const ScoreChord *last_chord = nullptr; // the chord of the last segment
    for (std::size_t mi = 0; mi < score.measures.size(); ++mi) {
        const ScoreMeasure &m = score.measures[mi];
        pugi::xml_node mx = part.append_child("measure");
        mx.append_attribute("number") = m.number.c_str();
        if (mi == 0 || m.key_change || m.time_change) {
            pugi::xml_node a = mx.append_child("attributes");
            if (mi == 0)
                a.append_child("divisions")
                    .text()
                    .set(static_cast<long long>(score.ticks_per_quarter));
            if (mi == 0 || m.key_change)
                a.append_child("key").append_child("fifths").text().set(m.fifths);
            if (mi == 0 || m.time_change) {
                pugi::xml_node t = a.append_child("time");
                t.append_child("beats").text().set(m.beats);
                t.append_child("beat-type").text().set(m.beat_type);
                if (!m.time_symbol.empty())
                    t.append_attribute("symbol") = m.time_symbol.c_str();
            }
            if (mi == 0) {
                pugi::xml_node clef = a.append_child("clef");
                clef.append_child("sign").text().set(cl.sign);
                clef.append_child("line").text().set(cl.line);
                if (cl.octave_change != 0)
                    clef.append_child("clef-octave-change").text().set(cl.octave_change);
            }
        }
        // The measure as chords and the gaps between them.
        struct Segment {
            const ScoreChord *chord; // null: no chord
            std::int64_t start, end;
        };
        std::vector<Segment> segments;
        const std::int64_t end = m.start + m.length;
        for (std::int64_t t = m.start; t < end;) {
            while (ci < chords.size() && chords[ci].end <= t)
                ++ci;
            const ScoreChord *c = nullptr;
            std::int64_t seg_end = end;
            if (ci < chords.size() && chords[ci].start <= t) {
                c = &chords[ci];
                seg_end = std::min(end, c->end);
            } else if (ci < chords.size()) {
                seg_end = std::min(end, chords[ci].start);
            }
            segments.push_back({c, t, seg_end});
            t = seg_end;
        }
        std::vector<std::int64_t> cuts;
        cuts.reserve(segments.size());
        for (const Segment &sg : segments)
            cuts.push_back(sg.start);
        const std::vector<TupletBeat> tuplets =
            tuplet_beats(m.start, end, score.ticks_per_quarter, m.beat_type, cuts, w.values);
        for (const Segment &sg : segments) {
            const ScoreChord *c = sg.chord;
            if (c != last_chord) {
                last_chord = c;
                piece_of_chord = 0;
            }
            const bool sounding = std::isfinite(written_pitch(c, opt.octave));
            const bool whole = !sounding && sg.start == m.start && sg.end == end;
            const std::vector<Piece> pieces =
                whole ? std::vector<Piece>{{end - sg.start, nullptr, 0}}
                      : rhythm_pieces(sg.start, sg.end, tuplets, w.values);
            for (std::size_t i = 0; i < pieces.size(); ++i) {
                const bool before = sounding && (i > 0 || piece_of_chord > 0);
                const bool after = sounding && (i + 1 < pieces.size() || (c && c->end > sg.end));
                w.note(mx, c, pieces[i], before, after, sounding && piece_of_chord == 0 && i == 0,
                       m.fifths, whole);
            }
            if (c)
                piece_of_chord += static_cast<int>(pieces.size());
        }
    }
    if (timewise) {
        // Each measure of the new part goes into the timewise measure of its
        // place, as the last of its parts.
        pugi::xml_node tm = root.child("measure");
        for (pugi::xml_node pm = part.first_child(); pm && tm;
             pm = pm.next_sibling(), tm = tm.next_sibling("measure")) {
            pugi::xml_node p = tm.append_child("part");
            p.append_attribute("id") = id.c_str();
            while (pugi::xml_node c = pm.first_child())
                p.append_move(c);
        }
        root.remove_child(part);
    }
    std::ostringstream s;
    doc.save(s, "  ", pugi::format_raw, pugi::encoding_utf8);
    out = s.str();
    return true;
}

} // namespace qzcli
