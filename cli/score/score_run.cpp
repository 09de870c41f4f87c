// The score side of qz subtone --score: reading the file as MIDI, .mxl or
// MusicXML, its chords, and writing it back with the fundamentals (-o) or
// drawing them (--plot). The subtone command sends the chords to the box.
#include "score_run.hpp"

#include "cli_common.hpp"
#include "notes.hpp"
#include "plot.hpp"
#include "score_writers.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <numeric>

namespace qzcli {

namespace {

// The order of a chord's pitches in the list the box gets (the search
// starts from the first).
void order_chord(ScoreChord &c, bool highest_first, bool strongest_first)
{
    if (highest_first) {
        std::reverse(c.pitches.begin(), c.pitches.end());
        std::reverse(c.velocities.begin(), c.velocities.end());
    } else if (strongest_first) {
        std::vector<std::size_t> idx(c.pitches.size());
        std::iota(idx.begin(), idx.end(), 0);
        std::stable_sort(idx.begin(), idx.end(), [&c](std::size_t a, std::size_t b) {
            return c.velocities[a] > c.velocities[b];
        });
        std::vector<double> p, v;
        for (std::size_t i : idx) {
            p.push_back(c.pitches[i]);
            v.push_back(c.velocities[i]);
        }
        c.pitches = std::move(p);
        c.velocities = std::move(v);
    }
}

bool write_file(const std::string &path, const std::string &bytes)
{
    std::string error;
    if (!write_bytes(path, bytes, error)) {
        std::cerr << "qz subtone: " << error << '\n';
        return false;
    }
    return true;
}

// The file's bytes ("-": standard input), at most one more than a score
// may have, so that a larger file is refused without being held.
bool read_score_file(const std::string &path, std::string &bytes)
{
    std::ifstream f;
    if (path != "-") {
        // A missing file, a directory or one that cannot be read: said as
        // every other command says it.
        if (std::string error; !check_readable(path, error)) {
            std::cerr << "qz subtone: " << error << '\n';
            return false;
        }
        f.open(path, std::ios::binary);
    }
    std::istream &in = path == "-" ? std::cin : f;
    char buf[65536];
    while (in && bytes.size() <= kScoreMaxBytes) {
        in.read(buf, sizeof buf);
        bytes.append(buf, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        std::cerr << "qz subtone: cannot read '" << path << "'\n";
        return false;
    }
    return true;
}

// XML starts with '<' once a byte-order mark and white space are passed:
// in UTF-8 (with or without its mark) or in UTF-16, little- or big-endian,
// with its mark or with a declaration ("<?" in two-byte units), which the
// XML reader tells apart the same way.
bool looks_like_xml(std::string_view bytes)
{
    std::size_t unit = 1, low = 0; // code unit size, offset of its ASCII byte
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    } else if (bytes.substr(0, 2) == "\xFF\xFE" ||
               bytes.substr(0, 4) == std::string_view("<\0?\0", 4)) {
        unit = 2;
        bytes.remove_prefix(bytes[0] == '<' ? 0 : 2);
    } else if (bytes.substr(0, 2) == "\xFE\xFF" ||
               bytes.substr(0, 4) == std::string_view("\0<\0?", 4)) {
        unit = 2;
        low = 1;
        bytes.remove_prefix(bytes[0] == '\0' ? 0 : 2);
    }
    for (std::size_t i = 0; i + unit <= bytes.size(); i += unit) {
        if (unit == 2 && bytes[i + 1 - low] != '\0')
            return false; // not ASCII: no white space, no '<'
        const char c = bytes[i + low];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return c == '<';
    }
    return false;
}

} // namespace

bool write_bytes(const std::string &path, const std::string &bytes, std::string &error)
{
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.close();
    if (!f) {
        error = "cannot write '" + path + "'";
        return false;
    }
    return true;
}

int read_score_run(const SubtoneScore &so, bool highest_first, bool strongest_first, ScoreRun &run)
{
    const std::string &file = so.file;
    std::string &bytes = run.bytes, &xml = run.xml, error;
    if (!read_score_file(file, bytes))
        return kFailure;
    Score &score = run.score;
    run.is_midi = bytes.substr(0, 4) == "MThd";
    const bool is_midi = run.is_midi;
    bool ok = false;
    if (bytes.size() > kScoreMaxBytes)
        error = "byte 0: larger than " + std::to_string(kScoreMaxBytes) + " bytes";
    else if (is_midi)
        ok = read_midi(bytes, score, error);
    else if (bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4))
        ok = read_mxl(bytes, xml, error) && read_musicxml(xml, score, error);
    else if (!looks_like_xml(bytes))
        error = "byte 0: neither MusicXML, compressed MusicXML (.mxl) nor a Standard MIDI File";
    else {
        xml = std::move(bytes);
        ok = read_musicxml(xml, score, error);
    }
    if (!ok) {
        std::cerr << "qz subtone: " << file << ": " << error << '\n';
        return kFailure;
    }
    // Options that only the other kind of score uses are usage errors, as
    // they would be on the command line alone.
    const bool out_midi = has_extension(so.out, ".mid") || has_extension(so.out, ".midi");
    if (!so.out.empty() && is_midi && !out_midi)
        return usage_error("subtone", "-o " + so.out +
                                          ": a MIDI score is written as OUT.mid (it has no "
                                          "notation to write as MusicXML)");
    if (so.merge_given && !is_midi)
        return usage_error("subtone", "--merge applies to MIDI files; the times of a MusicXML "
                                      "score are exact");
    std::vector<bool> selected;
    std::vector<ScoreChord> &chords = run.chords;
    if (!select_parts(score, so.parts, selected, error) ||
        !score_chords(score, selected, is_midi ? so.merge_ms / 1000.0 : 0.0, chords, error)) {
        std::cerr << "qz subtone: " << file << ": " << error << '\n';
        return kFailure;
    }
    for (ScoreChord &c : chords)
        order_chord(c, highest_first, strongest_first);
    return kOk;
}

bool write_score_run(const SubtoneScore &so, const ScoreRun &run)
{
    const Score &score = run.score;
    const std::vector<ScoreChord> &chords = run.chords;
    const bool is_midi = run.is_midi;
    const bool out_midi = has_extension(so.out, ".mid") || has_extension(so.out, ".midi");
    const bool out_mxl = has_extension(so.out, ".mxl");
    std::string error;
    if (so.out.empty())
        return true;
    {
        std::string written;
        const bool w = is_midi ? write_score_midi(run.bytes, score, chords, so, written, error)
                       : out_midi
                           ? write_musicxml_midi(score, chords, so, written, error)
                           : write_score_musicxml(run.xml, score, chords, so, written, error);
        if (!w || (out_mxl && !write_mxl_file(so.out, written, error))) {
            std::cerr << "qz subtone: " << so.out << ": " << error << '\n';
            return false;
        }
        if (!out_mxl && !write_file(so.out, written))
            return false;
    }
    return true;
}

bool plot_score_run(const std::string &path, const std::string &title, const ScoreRun &run)
{
    const Score &score = run.score;
    const std::vector<ScoreChord> &chords = run.chords;
    // Time across: seconds (MIDI) or quarter notes (MusicXML).
    auto x = [&score](std::int64_t t) {
        return score.midi ? midi_seconds(score, t)
                          : static_cast<double>(t) / static_cast<double>(score.ticks_per_quarter);
    };
    std::vector<RollChord> roll;
    roll.reserve(chords.size());
    for (const ScoreChord &c : chords)
        roll.push_back({x(c.start), x(c.end), c.pitches, c.f0});
    std::string error;
    if (!plot_score(path, title, score.midi ? "time (s)" : "time (quarter notes)", roll, error)) {
        std::cerr << "qz subtone: --plot: " << error << '\n';
        return false;
    }
    return true;
}

} // namespace qzcli
