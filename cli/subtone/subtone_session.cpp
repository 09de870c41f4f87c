#include "subtone_session.hpp"

#include "cli_common.hpp"
#include "explain_text.hpp"
#include "notes.hpp"
#include "subtone.h"
#include "subtone_explain.h"
#include "subtone_search.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace qzcli {

namespace {

bool same_value(double a, double b)
{
    if (std::isnan(a) && std::isnan(b))
        return true;
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool is_number(const t_atom &a)
{
    return atom_gettype(&a) == A_LONG || atom_gettype(&a) == A_FLOAT;
}

} // namespace

SubtoneSession::SubtoneSession(qzhost::Host &host, const SubtoneOptions &opt, std::ostream &out,
                               std::ostream &err)
    : host_(host), opt_(opt), out_(out), err_(err)
{
    std::vector<t_atom> args;
    if (opt.have_approx)
        args.push_back(opt.approx);
    t_atom a;
    atom_setsym(&a, host.sym("@mode"));
    args.push_back(a);
    atom_setlong(&a, opt.units.midi ? 1 : 0);
    args.push_back(a);
    box_ = host.create("qz.subtone", args);
    host.on_outlet([this](const qzhost::OutletEvent &e) {
        if (e.box == box_)
            sent_.push_back(e.value);
    });
}

std::string SubtoneSession::value_text(double v) const
{
    return format_value(v, opt_.digits);
}

std::string SubtoneSession::result_text(double v) const
{
    return pitch_text(v, opt_.units.midi, opt_.units.a4, opt_.names, opt_.digits, spelling_);
}

// Recomputes the result from the singles that the box stores for `atoms`
// with the same search the box runs, checks it against what the box sent
// (`sent` null: the box sent nothing), and prints the steps it took
// (--stats, to stderr), the path it chose (--explain): the harmonic
// number of every partial and its distance in cents, the final interval,
// the note names of the partials and of the result, and whether the result
// is fragile, and the lower fundamentals that fit better (--alternatives).
bool SubtoneSession::trace(const Chord &c, const double *sent)
{
    const std::vector<t_atom> &atoms = c.atoms;
    std::vector<t_atom> mode_atoms, approx_atoms;
    if (!host_.attr_get(box_, "mode", mode_atoms) || mode_atoms.empty() ||
        !host_.attr_get(box_, "approx", approx_atoms) || approx_atoms.empty()) {
        err_ << "qz subtone: internal error: cannot read the box's attributes\n";
        return false;
    }
    const std::int64_t mode = atom_getlong(&mode_atoms[0]);
    // The box keeps a creation argument as given, but its getter clips (a
    // negative approximation reads back as 0): trace with what the box holds.
    const float approx = static_cast<float>(
        atom_getfloat(opt_.have_approx ? &opt_.approx : &approx_atoms[0])); // stored as single
    const float tolerance = tolerance_from_midi(approx);

    const std::vector<float> p = box_partials(atoms, mode); // the slots as the box fills them

    // The box's search, run here so that its raw result and its path can be
    // read.
    const auto k = static_cast<std::int32_t>(p.size());
    subtone_workspace ws{};
    subtone_explanation e;
    const subtone_fast_status status = subtone_explain(ws, p.data(), k, mode, approx, tolerance, e);
    if (opt_.explain) // --stats alone shows no fragility: spare its searches
        subtone_test_fragility(ws, p.data(), k, approx, tolerance, e);
    subtone_workspace_free(&ws);
    if (status == SUBTONE_FAST_NO_MEMORY) {
        err_ << "qz subtone: out of memory while tracing the search\n";
        return false;
    }
    const bool computed = status == SUBTONE_FAST_OK;
    const bool found = computed && e.accepted;
    const double value = e.value;

    if (opt_.stats)
        err_ << "steps " << e.steps << (computed ? "" : " (over budget)") << '\n';
    if (computed != (sent != nullptr) || (sent && !same_value(value, *sent))) {
        err_ << "qz subtone: internal error: the traced search gives "
             << (computed ? qzhost::format_number(value) : "nothing") << ", the plug-in sent "
             << (sent ? qzhost::format_number(*sent) : "nothing") << '\n';
        return false;
    }
    midpoint_hz_ = found ? static_cast<double>(e.found) : NAN; // the single as a double
    if (!computed)
        return true;
    if (opt_.explain)
        print_path(c, p, mode, e);
    if (opt_.alternatives >= 0 && found) {
        subtone_alternatives a;
        subtone_find_alternatives(p.data(), k, tolerance, e, opt_.floor_hz,
                                  static_cast<std::int32_t>(opt_.alternatives), a);
        print_alternatives(out_, a, opt_.floor_hz, opt_.units.a4, opt_.digits, spelling_);
    }
    return true;
}

// The path of --explain: each partial with its note name, the value the
// search used and its harmonic number, the last interval and the result.
void SubtoneSession::print_path(const Chord &c, const std::vector<float> &p, std::int64_t mode,
                                const subtone_explanation &e)
{
    const std::vector<t_atom> &atoms = c.atoms;
    const bool found = e.accepted;
    const double value = e.value;
    auto num = [this](float v) { return value_text(static_cast<double>(v)); };
    // A note name in the units the value was given in: a MIDI number as it
    // is, a frequency with A4 at --a4.
    auto name = [this](double v, bool midi) {
        const double note = midi ? v : (v > 0.0 ? hz_to_note(v, opt_.units.a4) : NAN);
        return std::isfinite(note)
                   ? " (" + note_name(note, opt_.digits < 0 ? 0 : opt_.digits, spelling_) + ")"
                   : std::string();
    };
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        out_ << "  partial " << (i + 1) << ": ";
        if (is_number(atoms[i])) {
            // A number as typed (unless --digits): a 32-bit host holds a
            // typed float as a single, whose own text would differ from the
            // 64-bit host's.
            // Its note name is that of the typed value too.
            double typed = atom_getfloat(&atoms[i]);
            const bool as_typed = i < c.tokens.size() && parse_double(c.tokens[i], typed);
            out_ << (opt_.digits < 0 && as_typed ? c.tokens[i] : value_text(typed))
                 << name(typed, mode != 0);
            if (mode != 0)
                out_ << " = " << num(p[i]) << " Hz";
        } else {
            out_ << qzhost::format_atom(atoms[i]) << " = " << num(p[i]) << " Hz";
        }
        if (found)
            out_ << harmonic_text(e.partials[i], opt_.digits);
        out_ << '\n';
    }
    if (!found) {
        out_ << "  no fundamental of 1 Hz or more fits\n";
        return;
    }
    out_ << "  interval: [" << num(e.lo) << ", " << num(e.hi) << "] Hz, midpoint " << num(e.found)
         << " Hz\n";
    out_ << "  result: " << value_text(value) << (mode != 0 ? "" : " Hz") << name(value, mode != 0)
         << '\n';
    print_fragility(out_, e);
}

bool SubtoneSession::chord(const Chord &c)
{
    // Names follow the chord's own spelling (flats where it has only flats),
    // or the one it is given.
    spelling_ = c.spelling.value_or(spelling_of(c.tokens));
    // A frequency typed in midi mode is taken as a pitch far off the
    // keyboard: say so, and go on with what the box makes of it.
    if (opt_.units.midi)
        for (std::size_t i = 0; i < c.atoms.size(); ++i) {
            const double v = is_number(c.atoms[i]) ? atom_getfloat(&c.atoms[i]) : 64.0;
            if (!(v >= 0.0 && v <= 127.0) && std::isfinite(v)) {
                err_ << "qz subtone: warning: partial " << (i + 1) << ", "
                     << (i < c.tokens.size() ? c.tokens[i] : format_value(v, -1))
                     << ", is outside MIDI 0 to 127 (" << note_name(v, 0, spelling_)
                     << "); for frequencies in Hz use --mode freq\n";
                break;
            }
        }
    sent_.clear();
    host_.send(box_, 0, "list", c.atoms);
    if (sent_.size() > 1) {
        err_ << "qz subtone: the box sent " << sent_.size() << " values for one list\n";
        return false;
    }
    const std::vector<double> sent = sent_; // the trace sends nothing, but keep it apart
    if (sent.size() == 1) {
        if (opt_.echo) {
            for (const std::string &t : c.tokens)
                out_ << t << ' ';
            out_ << "-> ";
        }
        out_ << result_text(sent[0]) << '\n';
    }
    midpoint_hz_ = NAN;
    if ((opt_.explain || opt_.stats || opt_.midpoint || opt_.alternatives >= 0) &&
        !trace(c, sent.empty() ? nullptr : &sent[0]))
        return false;
    return sent.size() == 1;
}

int SubtoneSession::read(std::istream &in, const std::string &where)
{
    int status = kOk;
    std::string line;
    long number = 0;
    Chord c;
    std::size_t seen = 0; // bytes read, for the check that the input is text
    while (std::getline(in, line)) {
        ++number;
        std::string error;
        std::size_t column = 0;
        // A file has been checked whole before; a stream (standard input)
        // is checked here, line by line, over its first bytes.
        if (seen < kTextSniffBytes && !is_text(line, error)) {
            out_.flush();
            err_ << "qz subtone: " << where << ':' << number << ": not text (" << error << ")\n";
            input_error_ = true;
            return kFailure;
        }
        seen += line.size() + 1;
        if (!read_chord_line(host_, line, opt_.units, c, error, column)) {
            out_.flush();
            err_ << "qz subtone: " << where << ':' << number << ':' << column << ": " << error
                 << '\n';
            input_error_ = true;
            return kFailure;
        }
        if (c.atoms.empty())
            continue;
        if (!chord(c))
            status = kFailure;
        out_.flush();
    }
    return status;
}

} // namespace qzcli
