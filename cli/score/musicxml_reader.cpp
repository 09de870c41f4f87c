// Reading MusicXML with pugixml (partwise, or timewise seen as partwise):
// the sounding notes of every part, with ties joined and transposing parts
// moved to concert pitch, and the measures with their concert key and time
// signatures.
#include "musicxml_timewise.hpp"
#include "score.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numeric>
#include <string>
#include <utility>

namespace qzcli {

namespace {

// A position in error messages: "part P1, measure 3".
std::string where(const std::string &part, const std::string &measure)
{
    return "part " + part + ", measure " + measure;
}

// A whole number written as text ("480", " 480 ", "480.0"); false for
// anything else or beyond `hi`.
bool read_count(const pugi::xml_node &n, std::int64_t lo, std::int64_t hi, std::int64_t &out)
{
    const char *text = n.child_value();
    char *end = nullptr;
    const double v = std::strtod(text, &end);
    while (end && (*end == ' ' || *end == '\n' || *end == '\t' || *end == '\r'))
        ++end;
    if (end == text || !end || *end != '\0' || !std::isfinite(v) || v != std::floor(v) ||
        v < static_cast<double>(lo) || v > static_cast<double>(hi))
        return false;
    out = static_cast<std::int64_t>(v);
    return true;
}

bool read_count_text(const char *text, std::int64_t &out)
{
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 1 || v > 64)
        return false;
    out = v;
    return true;
}

bool read_number(const char *text, double &out)
{
    char *end = nullptr;
    out = std::strtod(text, &end);
    while (end && (*end == ' ' || *end == '\n' || *end == '\t' || *end == '\r'))
        ++end;
    return end != text && end && *end == '\0' && std::isfinite(out);
}

int step_semitones(char step)
{
    switch (step) {
    case 'C':
        return 0;
    case 'D':
        return 2;
    case 'E':
        return 4;
    case 'F':
        return 5;
    case 'G':
        return 7;
    case 'A':
        return 9;
    case 'B':
        return 11;
    default:
        return -1;
    }
}

// The common tick: the least common multiple of every <divisions>, so that
// every duration of every part is a whole number of ticks.
bool common_divisions(const pugi::xml_node &root, std::int64_t &lcm, std::string &error)
{
    lcm = 1;
    for (const pugi::xpath_node &x : root.select_nodes("part/measure/attributes/divisions")) {
        std::int64_t d = 0;
        const pugi::xml_node measure = x.node().parent().parent();
        if (!read_count(x.node(), 1, kScoreMaxDivisions, d)) {
            error = where(measure.parent().attribute("id").value(),
                          measure.attribute("number").value()) +
                    ": <divisions> must be a whole number from 1 to " +
                    std::to_string(kScoreMaxDivisions) + ", not '" + x.node().child_value() + "'";
            return false;
        }
        lcm = std::lcm(lcm, d);
        if (lcm > kScoreMaxDivisions) {
            error = where(measure.parent().attribute("id").value(),
                          measure.attribute("number").value()) +
                    ": the parts' <divisions> have no common multiple up to " +
                    std::to_string(kScoreMaxDivisions);
            return false;
        }
    }
    return true;
}

// A <transpose>: written pitch + chromatic + 12 * octave_change sounds;
// `doubled` adds the octave below (above with above="yes").
struct Transpose {
    double chromatic = 0.0;
    int diatonic = 0, octave_change = 0;
    bool has_diatonic = false, doubled = false, double_above = false;
};

// The number of fifths that the interval of `t` moves a key by (a major
// second down: -2), taken from its chromatic steps within the octave, and
// from its diatonic steps where they are given (which tell a diminished
// fifth from an augmented fourth): the k nearest 0 with 7k = chromatic
// (mod 12) and 4k = diatonic (mod 7).
int transpose_fifths(const Transpose &t)
{
    const auto mod = [](long v, long m) { return ((v % m) + m) % m; };
    const long c = std::lround(t.chromatic);
    for (int a = 0; a <= 11; ++a)
        for (const int k : {a, -a})
            if (mod(7L * k - c, 12) == 0 && (!t.has_diatonic || mod(4L * k - t.diatonic, 7) == 0))
                return k;
    return 0; // no key is that interval away (a diatonic that does not match)
}

// A key moved by `shift` fifths, kept within 7 flats to 7 sharps (8
// sharps is 4 flats).
int moved_key(int fifths, int shift)
{
    int k = fifths + shift;
    while (k > 7)
        k -= 12;
    while (k < -7)
        k += 12;
    return k;
}

struct PartReader {
    PartReader(Score &s, std::string &e, std::int64_t t, int p, std::string i)
        : score(s), error(e), tpq(t), part(p), id(std::move(i))
    {
    }
    Score &score;
    std::string &error;
    std::int64_t tpq;
    int part = 0;
    std::string id;
    std::int64_t divisions = 0; // of this part, 0 until given
    // Notes whose tie goes on, by pitch: index into score.notes.
    std::map<double, std::size_t> open_ties;
    // Per measure of this part: its notes' offsets are kept relative to the
    // measure; `lengths` says how far each measure reached.
    std::vector<std::int64_t> lengths;
    std::vector<std::size_t> measure_of; // per note added, its measure index
    // The <transpose> in force for each staff (0: every staff that has none
    // of its own).
    std::map<std::int64_t, Transpose> transposes;
    int written_fifths = 0; // the first part's key as written

    bool fail(const std::string &measure, const std::string &what)
    {
        error = where(id, measure) + ": " + what;
        return false;
    }

    // A duration in ticks from the <duration> child of `n`.
    bool duration(const pugi::xml_node &n, const std::string &m, std::int64_t &ticks)
    {
        const pugi::xml_node d = n.child("duration");
        if (!d)
            return fail(m, std::string("<") + n.name() + "> without <duration>");
        if (divisions == 0)
            return fail(m, "a <duration> before any <divisions>");
        std::int64_t v = 0;
        if (!read_count(d, 0, kScoreMaxNoteQuarters * divisions, v))
            return fail(m, std::string("<duration> '") + d.child_value() +
                               "' is no whole number of divisions from 0 to " +
                               std::to_string(kScoreMaxNoteQuarters) + " quarter notes");
        ticks = v * (tpq / divisions);
        return true;
    }

    bool read_transpose(const pugi::xml_node &t, const std::string &m)
    {
        Transpose tr;
        std::int64_t v = 0;
        if (t.child("chromatic") && (!read_number(t.child_value("chromatic"), tr.chromatic) ||
                                     std::fabs(tr.chromatic) > 24.0))
            return fail(m, std::string("<transpose>: <chromatic> must be a number from -24 to 24, "
                                       "not '") +
                               t.child_value("chromatic") + "'");
        if (const pugi::xml_node d = t.child("diatonic")) {
            if (!read_count(d, -24, 24, v))
                return fail(m, std::string("<transpose>: <diatonic> must be a whole number from "
                                           "-24 to 24, not '") +
                                   d.child_value() + "'");
            tr.diatonic = static_cast<int>(v);
            tr.has_diatonic = true;
        }
        if (const pugi::xml_node o = t.child("octave-change")) {
            if (!read_count(o, -4, 4, v))
                return fail(m, std::string("<transpose>: <octave-change> must be a whole number "
                                           "from -4 to 4, not '") +
                                   o.child_value() + "'");
            tr.octave_change = static_cast<int>(v);
        }
        if (const pugi::xml_node d = t.child("double")) {
            tr.doubled = true;
            tr.double_above = std::string(d.attribute("above").value()) == "yes";
        }
        std::int64_t staff = 0;
        if (t.attribute("number") && !read_count_text(t.attribute("number").value(), staff))
            staff = 0;
        transposes[staff] = tr;
        return true;
    }

    const Transpose *transpose_of(std::int64_t staff) const
    {
        auto it = transposes.find(staff);
        if (it == transposes.end())
            it = transposes.find(0);
        return it == transposes.end() ? nullptr : &it->second;
    }

    bool attributes(const pugi::xml_node &a, std::size_t index, const std::string &m)
    {
        if (const pugi::xml_node d = a.child("divisions")) {
            if (!read_count(d, 1, kScoreMaxDivisions, divisions))
                return fail(m, "bad <divisions>");
        }
        bool transposed = false;
        for (const pugi::xml_node t : a.children("transpose")) {
            if (!read_transpose(t, m))
                return false;
            transposed = true;
        }
        if (part != 0)
            return true; // the measures' keys and times are the first part's
        // The key is the first part's, at concert pitch: its written key
        // moved by the interval of its first staff's transposition.
        ScoreMeasure &sm = score.measures[index];
        std::int64_t f = written_fifths;
        const pugi::xml_node k = a.child("key").child("fifths");
        if ((k && read_count(k, -7, 7, f)) || transposed) {
            written_fifths = static_cast<int>(f);
            const Transpose *t = transpose_of(1);
            sm.fifths = t ? moved_key(written_fifths, transpose_fifths(*t)) : written_fifths;
            sm.key_change = true;
        }
        if (const pugi::xml_node t = a.child("time")) {
            std::int64_t beats = 0, type = 0;
            if (read_count(t.child("beats"), 1, 128, beats) &&
                read_count(t.child("beat-type"), 1, 128, type)) {
                sm.beats = static_cast<int>(beats);
                sm.beat_type = static_cast<int>(type);
                sm.time_change = true;
                sm.time_symbol = t.attribute("symbol").value();
            }
        }
        return true;
    }

    bool note(const pugi::xml_node &n, std::size_t index, const std::string &m,
              std::int64_t &cursor, std::int64_t &chord_start)
    {
        if (n.child("grace"))
            return true; // no time, no chord
        std::int64_t d = 0;
        if (!duration(n, m, d))
            return false;
        std::int64_t start = cursor;
        if (n.child("chord"))
            start = chord_start;
        else {
            chord_start = cursor;
            cursor += d;
        }
        if (n.child("rest") || n.child("unpitched") || n.child("cue") || !n.child("pitch") ||
            d == 0)
            return true;
        const pugi::xml_node p = n.child("pitch");
        const std::string step = p.child_value("step");
        std::int64_t octave = 0;
        double alter = 0.0;
        if (step.size() != 1 || step_semitones(step[0]) < 0)
            return fail(m, "<step> must be one of A to G, not '" + step + "'");
        if (!read_count(p.child("octave"), 0, 9, octave))
            return fail(m, std::string("<octave> must be 0 to 9, not '") + p.child_value("octave") +
                               "'");
        if (p.child("alter") &&
            (!read_number(p.child_value("alter"), alter) || std::fabs(alter) > 4.0))
            return fail(m, std::string("<alter> must be a number from -4 to 4, not '") +
                               p.child_value("alter") + "'");
        double pitch = static_cast<double>((octave + 1) * 12 + step_semitones(step[0])) + alter;
        // At concert pitch: the transposition of the note's staff.
        std::int64_t staff = 1;
        if (n.child("staff") && !read_count(n.child("staff"), 1, 64, staff))
            staff = 1;
        const Transpose *t = transpose_of(staff);
        if (t)
            pitch += t->chromatic + 12.0 * t->octave_change;
        if (!add_note(n, index, pitch, start, d))
            return fail(m, "more than " + std::to_string(kScoreMaxNotes) + " notes");
        if (t && t->doubled &&
            !add_note(n, index, pitch + (t->double_above ? 12.0 : -12.0), start, d))
            return fail(m, "more than " + std::to_string(kScoreMaxNotes) + " notes");
        return true;
    }

    // One sounding pitch of `n`, or the tie it goes on; false beyond the
    // notes' limit.
    bool add_note(const pugi::xml_node &n, std::size_t index, double pitch, std::int64_t start,
                  std::int64_t d)
    {
        bool tie_start = false, tie_stop = false;
        for (const pugi::xml_node t : n.children("tie")) {
            const std::string type = t.attribute("type").value();
            tie_start = tie_start || type == "start";
            tie_stop = tie_stop || type == "stop";
        }
        // The offsets stay relative to the measure until every measure's
        // length is known; the tie's bookkeeping needs absolute times, so it
        // uses this part's running measure start.
        const std::int64_t abs_start = measure_start + start;
        if (tie_stop) {
            const auto it = open_ties.find(pitch);
            if (it != open_ties.end()) {
                ScoreNote &prev = score.notes[it->second];
                if (prev.end == abs_start) {
                    prev.end = abs_start + d;
                    if (!tie_start)
                        open_ties.erase(it);
                    return true;
                }
            }
        }
        if (score.notes.size() >= kScoreMaxNotes)
            return false;
        score.notes.push_back(
            {abs_start, abs_start + d, pitch, part, n.attribute("dynamics").as_double(90.0)});
        measure_of.push_back(index);
        if (tie_start)
            open_ties[pitch] = score.notes.size() - 1;
        return true;
    }

    std::int64_t measure_start = 0; // this part's own running start
    struct TempoMark {
        std::size_t measure;
        std::int64_t offset; // from the measure's start
        double bpm;          // quarter notes a minute
    };
    std::vector<TempoMark> tempos; // <sound tempo="..."> of this part

    bool read(const pugi::xml_node &part_node)
    {
        std::size_t index = 0;
        for (const pugi::xml_node measure : part_node.children("measure")) {
            const std::string m = measure.attribute("number").value();
            if (index >= kScoreMaxMeasures)
                return fail(m, "more than " + std::to_string(kScoreMaxMeasures) + " measures");
            if (score.measures.size() <= index) {
                score.measures.emplace_back();
                score.measures.back().number = m;
            }
            std::int64_t cursor = 0, chord_start = 0, reach = 0;
            for (const pugi::xml_node c : measure.children()) {
                const std::string name = c.name();
                if (name == "attributes") {
                    if (!attributes(c, index, m))
                        return false;
                } else if (name == "direction" || name == "sound") {
                    const pugi::xml_node snd = name == "sound" ? c : c.child("sound");
                    double bpm = 0.0;
                    if (snd.attribute("tempo") &&
                        read_number(snd.attribute("tempo").value(), bpm) && bpm > 0.0 &&
                        bpm <= 10000.0 && tempos.size() < kScoreMaxMeasures)
                        tempos.push_back({index, cursor, bpm});
                } else if (name == "note") {
                    if (!note(c, index, m, cursor, chord_start))
                        return false;
                } else if (name == "backup") {
                    std::int64_t d = 0;
                    if (!duration(c, m, d))
                        return false;
                    if (d > cursor)
                        return fail(m, "<backup> goes back before the measure's start");
                    cursor -= d;
                    chord_start = cursor;
                } else if (name == "forward") {
                    std::int64_t d = 0;
                    if (!duration(c, m, d))
                        return false;
                    cursor += d;
                    chord_start = cursor;
                }
                reach = std::max(reach, cursor);
            }
            lengths.push_back(reach);
            measure_start += reach;
            ++index;
        }
        return true;
    }
};

} // namespace

bool read_musicxml(std::string_view xml, Score &score, std::string &error)
{
    score = Score{};
    pugi::xml_document doc;
    const pugi::xml_parse_result r =
        doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
    if (!r) {
        error = "byte " + std::to_string(r.offset) + ": malformed XML: " + r.description();
        return false;
    }
    pugi::xml_node root = doc.document_element();
    pugi::xml_document partwise;
    if (std::string(root.name()) == "score-timewise") {
        partwise_from_timewise(root, partwise);
        root = partwise.document_element();
    }
    if (std::string(root.name()) != "score-partwise") {
        error = std::string("<") + root.name() +
                ">: no MusicXML score (<score-partwise> or <score-timewise>)";
        return false;
    }
    std::int64_t tpq = 1;
    if (!common_divisions(root, tpq, error))
        return false;
    score.ticks_per_quarter = tpq;
    std::map<std::string, std::string> names;
    for (const pugi::xml_node sp : root.child("part-list").children("score-part"))
        names[sp.attribute("id").value()] = sp.child_value("part-name");

    // Each part's notes are kept with their measure; the measures' lengths
    // are the longest of the parts', so that every part's measure i starts
    // at the same time.
    std::vector<std::vector<std::int64_t>> lengths;
    std::vector<std::int64_t> own_starts; // per note: its part's own start of its measure
    std::vector<std::size_t> measure_of;
    std::vector<PartReader::TempoMark> marks;
    for (const pugi::xml_node part : root.children("part")) {
        if (score.parts.size() >= kScoreMaxParts) {
            error = std::string("part ") + part.attribute("id").value() + ": more than " +
                    std::to_string(kScoreMaxParts) + " parts";
            return false;
        }
        const std::string id = part.attribute("id").value();
        const auto name = names.find(id);
        score.parts.push_back(name != names.end() ? name->second : id);
        const std::size_t first = score.notes.size();
        PartReader pr(score, error, tpq, static_cast<int>(score.parts.size() - 1), id);
        if (!pr.read(part))
            return false;
        // Relative to the part's own measure starts.
        std::vector<std::int64_t> starts(pr.lengths.size() + 1, 0);
        for (std::size_t i = 0; i < pr.lengths.size(); ++i)
            starts[i + 1] = starts[i] + pr.lengths[i];
        for (std::size_t i = first; i < score.notes.size(); ++i) {
            own_starts.push_back(starts[pr.measure_of[i - first]]);
            measure_of.push_back(pr.measure_of[i - first]);
        }
        lengths.push_back(std::move(pr.lengths));
        marks.insert(marks.end(), pr.tempos.begin(), pr.tempos.end());
    }
    if (score.parts.empty()) {
        error = "<score-partwise>: no <part>";
        return false;
    }
    for (std::size_t i = 0; i < score.measures.size(); ++i) {
        std::int64_t len = 0;
        for (const auto &l : lengths)
            if (i < l.size())
                len = std::max(len, l[i]);
        score.measures[i].length = len;
        score.measures[i].start =
            i == 0 ? 0 : score.measures[i - 1].start + score.measures[i - 1].length;
    }
    // The key and time in force in every measure.
    for (std::size_t i = 1; i < score.measures.size(); ++i) {
        ScoreMeasure &m = score.measures[i];
        const ScoreMeasure &p = score.measures[i - 1];
        if (!m.key_change)
            m.fifths = p.fifths;
        if (!m.time_change) {
            m.beats = p.beats;
            m.beat_type = p.beat_type;
            m.time_symbol = p.time_symbol;
        }
    }
    // The tempo marks of all parts on the common time line, in order (at one
    // time the last part's); the seconds are left to whoever plays it.
    for (const PartReader::TempoMark &t : marks)
        score.tempo.push_back({score.measures[t.measure].start + t.offset, 60e6 / t.bpm, 0.0});
    std::stable_sort(score.tempo.begin(), score.tempo.end(),
                     [](const Score::Tempo &a, const Score::Tempo &b) { return a.tick < b.tick; });
    for (std::size_t i = 0; i < score.notes.size(); ++i) {
        const std::int64_t shift = score.measures[measure_of[i]].start - own_starts[i];
        score.notes[i].start += shift;
        score.notes[i].end += shift;
    }
    return true;
}

} // namespace qzcli
