// qz subtone --audio: the peaks of each frame of a sound file, which the
// sound reader delivers, sent to the box as one list, with the results
// printed and drawn.
#include "subtone_audio.hpp"

#include "audio.hpp"
#include "chords.hpp"
#include "cli_common.hpp"
#include "explain_text.hpp"
#include "notes.hpp"
#include "peaks.hpp"
#include "plot.hpp"
#include "subtone.h"
#include "subtone_alternatives.h"
#include "subtone_explain.h"
#include "subtone_search.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>

namespace qzcli {

namespace {

std::string db_text(double amp)
{
    char buf[32];
    const double db = amp > 0.0 ? 20.0 * std::log10(amp) : -std::numeric_limits<double>::infinity();
    std::snprintf(buf, sizeof buf, "%.1f dB", db);
    return buf;
}

} // namespace

void explain_partials(const std::vector<Peak> &peaks, const std::vector<t_atom> &atoms, long mode,
                      float approx, float tolerance, bool explain, const SubtoneAudio &opt,
                      subtone_workspace &ws, subtone_explanation &e, std::ostream &out)
{
    const std::vector<float> p = box_partials(atoms, mode);
    const auto k = static_cast<std::int32_t>(p.size());
    const subtone_fast_status st = subtone_explain(ws, p.data(), k, mode, approx, tolerance, e);
    const bool ok = st == SUBTONE_FAST_OK && e.accepted;
    if (explain) {
        subtone_test_fragility(ws, p.data(), k, approx, tolerance, e);
        for (std::size_t i = 0; i < p.size(); ++i) {
            out << "  partial " << (i + 1) << ": "
                << format_value(static_cast<double>(p[i]), opt.digits) << " Hz, "
                << db_text(peaks[i].amp);
            if (ok)
                out << harmonic_text(e.partials[i], opt.digits);
            out << '\n';
        }
        if (!ok)
            out << "  no fundamental of 1 Hz or more fits\n";
        else
            print_fragility(out, e);
    }
    if (opt.alternatives >= 0 && ok) {
        subtone_alternatives a;
        subtone_find_alternatives(p.data(), k, tolerance, e, opt.floor_hz,
                                  static_cast<std::int32_t>(opt.alternatives), a);
        print_alternatives(out, a, opt.floor_hz, opt.a4, opt.digits);
    }
}

bool box_approx(qzhost::Host &host, qzhost::BoxId box, float &approx, float &tolerance)
{
    std::vector<t_atom> stored;
    if (!host.attr_get(box, "approx", stored) || stored.empty()) {
        std::cerr << "qz subtone: internal error: cannot read the box's approximation\n";
        return false;
    }
    approx = static_cast<float>(atom_getfloat(&stored[0]));
    tolerance = tolerance_from_midi(approx);
    return true;
}

int subtone_audio(qzhost::Host &host, qzhost::BoxId box, long mode, bool explain,
                  const SubtoneAudio &opt, std::vector<double> &sent, const std::string &title)
{
    if (opt.segments)
        return subtone_segments(host, box, mode, explain, opt, sent, title);
    float approx = 0.0f, tolerance = 0.0f;
    const bool traced = explain || opt.alternatives >= 0;
    if (traced && !box_approx(host, box, approx, tolerance))
        return kFailure;
    PeakOptions popt;
    popt.count = static_cast<std::size_t>(opt.spectrum.partials);
    popt.min_amp = std::pow(10.0, opt.spectrum.threshold / 20.0);
    popt.strongest_first = opt.spectrum.strongest_first;

    std::vector<Peak> peaks;
    std::vector<t_atom> atoms;
    std::vector<SubtoneFrame> frames;
    subtone_workspace ws{};
    subtone_explanation explained;
    std::string out;
    long silent = 0, failed = 0, analysed = 0;
    auto frame = [&](const Spectrum &s) {
        ++analysed;
        pick_peaks(s.mags, s.bins, s.samplerate / static_cast<double>(s.bufsize), popt, peaks);
        if (opt.spectrum.highest_first)
            std::reverse(peaks.begin(), peaks.end()); // picked lowest first
        if (peaks.empty()) {
            ++silent;
            return true;
        }
        atoms.resize(peaks.size());
        for (std::size_t i = 0; i < peaks.size(); ++i)
            atom_setfloat(&atoms[i], mode != 0 ? hz_to_note(peaks[i].freq, kA4Hz) : peaks[i].freq);
        sent.clear();
        host.send(box, 0, "list", atoms);
        if (sent.size() != 1) {
            ++failed; // the box said why on stderr
            return true;
        }
        const double f0 = sent[0];
        out += format_value(s.time, opt.digits);
        out += ' ';
        out += pitch_text(f0, mode != 0, opt.a4, opt.names, opt.digits);
        out += '\n';
        if (traced) {
            std::cout << out;
            out.clear();
            explain_partials(peaks, atoms, mode, approx, tolerance, explain, opt, ws, explained,
                             std::cout);
        }
        if (!opt.plot.empty()) {
            const double hz = mode != 0 ? note_to_hz(f0, kA4Hz) : f0;
            frames.push_back({s.time, peaks, std::isfinite(hz) && hz >= 1.0, hz});
        }
        if (out.size() > 1 << 16) {
            std::cout << out;
            out.clear();
        }
        return true;
    };
    std::string error;
    const bool read =
        read_spectra(opt.file, opt.spectrum.bufsize, opt.spectrum.hopsize, frame, error);
    subtone_workspace_free(&ws);
    std::cout << out;
    if (!read) {
        std::cerr << "qz subtone: " << error << '\n';
        return kFailure;
    }
    if (silent == analysed)
        std::cerr << "qz subtone: no spectral peak above "
                  << qzhost::format_number(opt.spectrum.threshold) << " dB in '" << opt.file
                  << "'\n";
    if (!opt.plot.empty() && !plot_subtone(opt.plot, title, frames, error)) {
        std::cerr << "qz subtone: " << error << '\n';
        return kFailure;
    }
    return failed > 0 ? kFailure : kOk;
}

} // namespace qzcli
