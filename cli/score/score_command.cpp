// qz subtone --score: the chords of a score through one qz.subtone box, as
// a table or written back into the score.
#include "audio_options.hpp"
#include "cli_common.hpp"
#include "notes.hpp"
#include "plot.hpp"
#include "score.hpp"
#include "score_chords.hpp"
#include "score_options.hpp"
#include "score_writers.hpp"
#include "subtone_session.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <numeric>
#include <sstream>

namespace qzcli {

namespace {

// The order of a chord's pitches in the list the box gets (the search
// starts from the first).
void order_chord(ScoreChord &c, const SpectrumOptions &sp)
{
    if (sp.highest_first) {
        std::reverse(c.pitches.begin(), c.pitches.end());
        std::reverse(c.velocities.begin(), c.velocities.end());
    } else if (sp.strongest_first) {
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

std::string hz_text(double midi)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", note_to_hz(midi, kA4Hz));
    return buf;
}

bool write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.close();
    if (!f) {
        std::cerr << "qz subtone: cannot write '" << path << "'\n";
        return false;
    }
    return true;
}

bool plot_chords(const std::string &path, const std::string &title, const Score &score,
                 const std::vector<ScoreChord> &chords)
{
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

int subtone_score(qzhost::Host &host, const SubtoneOptions &opt, const SubtoneScore &so,
                  const SubtoneAudio &audio, const std::string &title)
{
    const std::string &file = so.file;
    std::string bytes;
    if (!read_score_file(file, bytes))
        return kFailure;
    Score score;
    std::string xml, error;
    const bool is_midi = bytes.substr(0, 4) == "MThd";
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
    const bool out_mxl = has_extension(so.out, ".mxl");
    if (!so.out.empty() && is_midi && !out_midi)
        return usage_error("subtone", "-o " + so.out +
                                          ": a MIDI score is written as OUT.mid (it has no "
                                          "notation to write as MusicXML)");
    if (so.merge_given && !is_midi)
        return usage_error("subtone", "--merge applies to MIDI files; the times of a MusicXML "
                                      "score are exact");
    std::vector<bool> selected;
    std::vector<ScoreChord> chords;
    if (!select_parts(score, so.parts, selected, error) ||
        !score_chords(score, selected, is_midi ? so.merge_ms / 1000.0 : 0.0, chords, error)) {
        std::cerr << "qz subtone: " << file << ": " << error << '\n';
        return kFailure;
    }

    SubtoneOptions o = opt;
    o.units.midi = true;
    o.echo = false;
    o.names = false;
    o.midpoint = so.lyrics == ScoreLyrics::cents;
    std::ostringstream box_out; // the session's own lines: the result, then --explain's
    SubtoneSession session(host, o, box_out, std::cerr);
    if (!session.ok())
        return kFailure;
    int status = kOk;
    std::string table;
    for (ScoreChord &sc : chords) {
        order_chord(sc, audio.spectrum);
        Chord c;
        for (double p : sc.pitches) {
            t_atom a;
            atom_setfloat(&a, p);
            c.atoms.push_back(a);
            c.tokens.push_back(qzhost::format_number(p));
        }
        box_out.str("");
        if (!session.chord(c) && session.sent().size() != 1)
            status = kFailure; // the box said why (a search over its budget)
        if (session.sent().size() == 1)
            sc.f0 = session.sent()[0];
        sc.midpoint_hz = session.midpoint_hz();
        if (!so.out.empty())
            continue;
        table += score_position(score, sc.start);
        table += ':';
        const int fifths = score_fifths(score, sc.start);
        for (double p : sc.pitches) {
            table += ' ';
            table += key_note_name(p, fifths);
        }
        table += " -> ";
        if (std::isfinite(sc.f0)) {
            table += key_note_name(sc.f0, fifths);
            table += " (";
            table += format_value(sc.f0, opt.digits);
            table += ", ";
            table += hz_text(sc.f0);
            table += " Hz)";
        } else {
            table += "none (";
            table += format_value(sc.f0, opt.digits);
            table += ')';
        }
        table += '\n';
        if (opt.explain) {
            const std::string lines = box_out.str();
            const std::size_t nl = lines.find('\n');
            if (nl != std::string::npos)
                table += lines.substr(nl + 1);
        }
        std::cout << table;
        table.clear();
    }
    std::cout.flush();
    if (!so.out.empty()) {
        std::string written;
        const bool w = is_midi    ? write_score_midi(bytes, score, chords, so, written, error)
                       : out_midi ? write_musicxml_midi(score, chords, so, written, error)
                                  : write_score_musicxml(xml, score, chords, so, written, error);
        if (!w || (out_mxl && !write_mxl_file(so.out, written, error))) {
            std::cerr << "qz subtone: " << so.out << ": " << error << '\n';
            return kFailure;
        }
        if (!out_mxl && !write_file(so.out, written))
            return kFailure;
    }
    if (!audio.plot.empty() && !plot_chords(audio.plot, title, score, chords))
        return kFailure;
    return status;
}

} // namespace qzcli
