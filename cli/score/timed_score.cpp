#include "timed_score.hpp"

#include "cli_common.hpp"
#include "score.hpp"
#include "score_chords.hpp"
#include "score_options.hpp"
#include "score_writers.hpp"
#include "smf_bytes.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

namespace qzcli {

namespace {

constexpr std::int64_t kMidiTicksPerQuarter = 1000; // at 60 beats a minute: a tick a ms
constexpr std::int64_t kXmlTicksPerQuarter = 8;     // 32nd notes
constexpr double kXmlMsPerTick = 1000.0 / static_cast<double>(kXmlTicksPerQuarter);
constexpr std::int64_t kXmlMeasure = 4 * kXmlTicksPerQuarter; // 4/4

std::vector<ScoreChord> to_ticks(const std::vector<TimedChord> &chords, double ms_per_tick)
{
    std::vector<ScoreChord> out;
    std::int64_t last = 0;
    for (const TimedChord &c : chords) {
        ScoreChord s;
        s.start = std::max<std::int64_t>(last, std::llround(c.start_ms / ms_per_tick));
        s.end = std::llround(c.end_ms / ms_per_tick);
        if (s.end <= s.start)
            continue; // shorter than the grid
        s.pitches = c.pitches;
        s.velocities.assign(c.pitches.size(), 80.0);
        s.f0 = std::isfinite(c.f0) ? c.f0 : -std::numeric_limits<double>::infinity();
        last = s.end;
        out.push_back(std::move(s));
    }
    return out;
}

// A MIDI file of one track holding the tempo and the time signature.
std::string conductor_midi()
{
    Track t;
    t.event(0, {0xff, 0x51, 0x03, 0x0f, 0x42, 0x40}); // 1,000,000 us a quarter
    t.event(0, {0xff, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08});
    t.event(0, {0xff, 0x2f, 0x00});
    std::string m = "MThd";
    put_be(m, 6, 4);
    put_be(m, 0, 2);
    put_be(m, 1, 2);
    put_be(m, static_cast<std::uint32_t>(kMidiTicksPerQuarter), 2);
    m += "MTrk";
    put_be(m, static_cast<std::uint32_t>(t.data.size()), 4);
    m += t.data;
    return m;
}

bool write_midi(const std::vector<TimedChord> &chords, const SubtoneScore &opt, std::string &out,
                std::string &error)
{
    const std::string base = conductor_midi();
    Score score;
    if (!read_midi(base, score, error))
        return false;
    return write_score_midi(base, score, to_ticks(chords, 1.0), opt, out, error);
}

bool write_musicxml(const std::vector<TimedChord> &chords, const SubtoneScore &opt,
                    const std::string &title, std::string &out, std::string &error)
{
    const std::vector<ScoreChord> ticks = to_ticks(chords, kXmlMsPerTick);
    Score score;
    score.ticks_per_quarter = kXmlTicksPerQuarter;
    const std::int64_t end = ticks.empty() ? 1 : ticks.back().end;
    const std::int64_t measures = std::max<std::int64_t>(1, (end + kXmlMeasure - 1) / kXmlMeasure);
    for (std::int64_t i = 0; i < measures; ++i) {
        ScoreMeasure m;
        m.start = i * kXmlMeasure;
        m.length = kXmlMeasure;
        m.number = std::to_string(i + 1);
        score.measures.push_back(m);
    }
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    doc.append_child(pugi::node_doctype)
        .set_value("score-partwise PUBLIC \"-//Recordare//DTD MusicXML 3.1 Partwise//EN\" "
                   "\"http://www.musicxml.org/dtds/partwise.dtd\"");
    pugi::xml_node root = doc.append_child("score-partwise");
    root.append_attribute("version") = "3.1";
    root.append_child("work").append_child("work-title").text().set(title.c_str());
    root.append_child("identification")
        .append_child("encoding")
        .append_child("software")
        .text()
        .set("qz");
    root.append_child("part-list");
    std::ostringstream base;
    doc.save(base, "", pugi::format_raw, pugi::encoding_utf8);
    std::string written;
    if (!write_score_musicxml(base.str(), score, ticks, opt, written, error))
        return false;
    // The tempo, as a metronome mark and a sound, at the start of the part.
    pugi::xml_document w;
    if (!w.load_string(written.c_str())) {
        error = "cannot read the written score again";
        return false;
    }
    pugi::xml_node first = w.document_element().child("part").child("measure");
    pugi::xml_node attributes = first.child("attributes");
    pugi::xml_node dir = attributes ? first.insert_child_after("direction", attributes)
                                    : first.prepend_child("direction");
    dir.append_attribute("placement") = "above";
    pugi::xml_node metronome = dir.append_child("direction-type").append_child("metronome");
    metronome.append_child("beat-unit").text().set("quarter");
    metronome.append_child("per-minute").text().set(60);
    dir.append_child("sound").append_attribute("tempo") = 60;
    std::ostringstream s;
    w.save(s, "  ", pugi::format_default, pugi::encoding_utf8);
    out = s.str();
    return true;
}

} // namespace

bool write_timed_score(const std::string &path, const std::vector<TimedChord> &chords, int octave,
                       const std::string &title, std::string &error)
{
    SubtoneScore opt;
    opt.octave = octave;
    opt.out = path;
    std::string written;
    if (has_extension(path, ".mid") || has_extension(path, ".midi"))
        return write_midi(chords, opt, written, error) && write_bytes(path, written, error);
    if (!write_musicxml(chords, opt, title, written, error))
        return false;
    if (has_extension(path, ".mxl"))
        return write_mxl_file(path, written, error);
    return write_bytes(path, written, error);
}

} // namespace qzcli
