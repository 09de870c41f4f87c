// qz subtone --audio --segments: the sound split at its onsets, each
// segment's stable peaks sent to the box as one chord, one line printed per
// segment, the fundamentals written (-o) and drawn (--plot).
#include "audio.hpp"
#include "cli_common.hpp"
#include "explain_text.hpp"
#include "notes.hpp"
#include "peaks.hpp"
#include "plot.hpp"
#include "segments.hpp"
#include "subtone_audio.hpp"
#include "timed_score.hpp"
#include "values.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <limits>
#include <optional>

namespace qzcli {

namespace {

// Peaks picked of each frame, of which the stable ones make the chord.
constexpr std::size_t kFramePeaks = 24;

std::string seconds_text(double ms)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", ms / 1000.0);
    return buf;
}

} // namespace

int subtone_segments(qzhost::Host &host, qzhost::BoxId box, long mode, bool explain,
                     const SubtoneAudio &opt, std::vector<double> &sent, const std::string &title)
{
    float approx = 0.0f, tolerance = 0.0f;
    const bool traced = explain || opt.alternatives >= 0;
    if (traced && !box_approx(host, box, approx, tolerance))
        return kFailure;
    PeakOptions popt;
    popt.count = std::max(kFramePeaks, static_cast<std::size_t>(opt.spectrum.partials));
    popt.min_amp = std::pow(10.0, opt.spectrum.threshold / 20.0);

    std::vector<t_atom> atoms;
    std::vector<Peak> ordered, picked;
    std::vector<TimedChord> chords;
    std::vector<SubtoneFrame> frames; // --plot: every frame's peaks
    std::vector<PlotSegment> drawn;   // --plot: the segments
    subtone_workspace ws{};
    subtone_explanation explained;
    long failed = 0, segments = 0;
    std::string line;
    auto segment = [&](const Segment &s) {
        ++segments;
        line = seconds_text(s.start_ms);
        line += " - ";
        line += seconds_text(s.end_ms);
        line += " s:";
        if (s.chord.empty()) {
            line += " no stable peak\n";
            std::cout << line;
            return;
        }
        ordered = s.chord; // loudest first
        if (!opt.spectrum.strongest_first)
            std::sort(ordered.begin(), ordered.end(), [&](const Peak &a, const Peak &b) {
                return opt.spectrum.highest_first ? a.freq > b.freq : a.freq < b.freq;
            });
        atoms.resize(ordered.size());
        for (std::size_t i = 0; i < ordered.size(); ++i) {
            const double midi = hz_to_note(ordered[i].freq, opt.a4);
            atom_setfloat(&atoms[i],
                          mode != 0 ? hz_to_note(ordered[i].freq, kA4Hz) : ordered[i].freq);
            line += ' ';
            line += note_name(std::round(midi), 0);
        }
        sent.clear();
        host.send(box, 0, "list", atoms);
        double midi = -std::numeric_limits<double>::infinity(), hz = 0.0;
        if (sent.size() == 1) {
            hz = mode != 0 ? note_to_hz(sent[0], kA4Hz) : sent[0];
            if (std::isfinite(hz) && hz >= 1.0)
                midi = hz_to_note(hz, opt.a4);
        } else {
            ++failed; // the box said why on stderr
        }
        line += " -> ";
        if (std::isfinite(midi))
            line += fundamental_text(midi, hz, opt.digits >= 0 ? opt.digits : 2);
        else
            line += sent.size() == 1 ? "none (" + format_value(sent[0], opt.digits) + ")"
                                     : std::string("none");
        line += '\n';
        std::cout << line;
        if (traced)
            explain_partials(ordered, atoms, mode, approx, tolerance, explain, opt, ws, explained,
                             std::cout);
        if (!opt.out.empty()) {
            TimedChord c;
            c.start_ms = s.start_ms;
            c.end_ms = s.end_ms;
            for (const Peak &p : ordered)
                c.pitches.push_back(hz_to_note(p.freq, kA4Hz));
            std::sort(c.pitches.begin(), c.pitches.end());
            c.f0 = std::isfinite(midi) ? hz_to_note(hz, kA4Hz)
                                       : std::numeric_limits<double>::quiet_NaN();
            chords.push_back(std::move(c));
        }
        if (!opt.plot.empty())
            drawn.push_back(
                {s.start_ms / 1000.0, s.end_ms / 1000.0, s.chord, std::isfinite(midi), hz});
    };

    const auto window = static_cast<double>(opt.spectrum.bufsize); // samples
    std::optional<SegmentBuilder> builder;
    SegmentOptions sopt = opt.segment;
    sopt.partials = static_cast<std::size_t>(opt.spectrum.partials);
    auto frame = [&](const Spectrum &sp) {
        if (!builder)
            builder.emplace(sopt, window / sp.samplerate * 1000.0,
                            static_cast<double>(opt.spectrum.hopsize) / sp.samplerate * 1000.0,
                            onset_lag_ms(opt.onset, opt.spectrum.hopsize, sp.samplerate), segment);
        if (sp.onset_ms >= 0.0)
            builder->onset(sp.onset_ms);
        pick_peaks(sp.mags, sp.bins, sp.samplerate / static_cast<double>(sp.bufsize), popt, picked);
        builder->frame(sp.time, picked);
        if (!opt.plot.empty()) {
            std::vector<Peak> shown(picked);
            std::sort(shown.begin(), shown.end(),
                      [](const Peak &a, const Peak &b) { return a.amp > b.amp; });
            if (shown.size() > static_cast<std::size_t>(opt.spectrum.partials))
                shown.resize(static_cast<std::size_t>(opt.spectrum.partials));
            frames.push_back({sp.time, std::move(shown), false, 0.0});
        }
        return true;
    };
    std::string error;
    double end_ms = 0.0;
    const bool read = read_spectra(opt.file, opt.spectrum.bufsize, opt.spectrum.hopsize, frame,
                                   error, &opt.onset, &end_ms);
    if (read && builder)
        builder->finish(end_ms);
    subtone_workspace_free(&ws);
    std::cout.flush();
    if (!read) {
        std::cerr << "qz subtone: " << error << '\n';
        return kFailure;
    }
    if (segments == 0)
        std::cerr << "qz subtone: no spectral peak above "
                  << qzhost::format_number(opt.spectrum.threshold) << " dB in '" << opt.file
                  << "'\n";
    const std::string work = std::filesystem::path(opt.file).filename().string();
    if (!opt.out.empty() && !write_timed_score(opt.out, chords, opt.octave, work, error)) {
        std::cerr << "qz subtone: " << opt.out << ": " << error << '\n';
        return kFailure;
    }
    if (!opt.plot.empty() && !plot_segments(opt.plot, title, frames, drawn, error)) {
        std::cerr << "qz subtone: " << error << '\n';
        return kFailure;
    }
    return failed > 0 ? kFailure : kOk;
}

} // namespace qzcli
