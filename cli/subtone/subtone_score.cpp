// qz subtone --score: the chords that the score reader delivers, each sent
// to one qz.subtone box in midi mode, printed as a table or handed back to
// the score writer (-o).
#include "subtone_score.hpp"

#include "audio_options.hpp"
#include "cli_common.hpp"
#include "explain_text.hpp"
#include "notes.hpp"
#include "score_run.hpp"
#include "subtone_session.hpp"

#include <cmath>
#include <iostream>
#include <sstream>

namespace qzcli {

int subtone_score(qzhost::Host &host, const SubtoneOptions &opt, const SubtoneScore &so,
                  const SubtoneAudio &audio, const std::string &title)
{
    ScoreRun run;
    if (const int status =
            read_score_run(so, audio.spectrum.highest_first, audio.spectrum.strongest_first, run);
        status != kOk)
        return status;
    SubtoneOptions o = opt;
    o.units.midi = true;
    o.echo = false;
    o.names = false;
    o.midpoint = so.lyrics == ScoreLyrics::cents || so.grid != ScoreGrid::approx;
    const double steps = so.grid == ScoreGrid::semitone ? 1.0 : 2.0; // per semitone
    std::ostringstream box_out; // the session's own lines: the result, then --explain's
    SubtoneSession session(host, o, box_out, std::cerr);
    if (!session.ok())
        return kFailure;
    int status = kOk;
    std::string table;
    for (ScoreChord &sc : run.chords) {
        // Black keys are named with flats in flat keys, here and in the
        // session's --explain and --alternatives lines.
        const Spelling spelling =
            score_fifths(run.score, sc.start) < 0 ? Spelling::flats : Spelling::sharps;
        Chord c;
        c.spelling = spelling;
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
        if (so.grid != ScoreGrid::approx && sc.midpoint_hz > 0.0 && std::isfinite(sc.midpoint_hz))
            sc.f0 = std::round(hz_to_note(sc.midpoint_hz, kA4Hz) * steps) / steps;
        if (!so.out.empty())
            continue;
        table += score_position(run.score, sc.start);
        table += ':';
        for (double p : sc.pitches) {
            table += ' ';
            table += note_name(p, 0, spelling);
        }
        table += " -> ";
        if (std::isfinite(sc.f0)) {
            table += fundamental_text(sc.f0, note_to_hz(sc.f0, kA4Hz), opt.digits, spelling);
        } else {
            table += "none (";
            table += format_value(sc.f0, opt.digits);
            table += ')';
        }
        table += '\n';
        if (opt.explain || opt.alternatives >= 0) { // the session's lines after the result
            const std::string lines = box_out.str();
            const std::size_t nl = lines.find('\n');
            if (nl != std::string::npos)
                table += lines.substr(nl + 1);
        }
        std::cout << table;
        table.clear();
    }
    std::cout.flush();
    if (!so.out.empty() && !write_score_run(so, run))
        return kFailure;
    if (!audio.plot.empty() && !plot_score_run(audio.plot, title, run))
        return kFailure;
    return status;
}

} // namespace qzcli
