// qz subtone: the virtual fundamental of chords, computed by the qz.subtone
// plug-in in the embedded host.
#include "audio_commands.hpp" // --audio, --plot and the peak picker's options
#include "cli_common.hpp"
#include "subtone.h"
#include "subtone_fast.h"
#include "subtone_search.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char *const kHelp =
    "usage: qz subtone [--mode freq|midi] [--approx A] [--explain] [--stats] [PARTIAL ...]\n"
    "       qz subtone [--mode freq|midi] [--approx A] [--explain] [--stats] [-] < FILE\n"
    "\n"
    "Sends the partials of a chord as one list to a qz.subtone box and prints\n"
    "the virtual fundamental that the box sends back: the highest frequency of\n"
    "which every partial is, within the approximation, an integer multiple.\n"
    "The box is made as \"qz.subtone A @mode 0|1\" (without A when --approx is\n"
    "not given).\n"
    "\n"
    "Without PARTIALs, or with '-', standard input is read: each line is one\n"
    "list, and one result line is printed per line, in order. Blank lines are\n"
    "skipped and print nothing: an empty list makes qz.subtone send nothing.\n"
    "\n"
    "Each PARTIAL is read as the host reads an atom: an integer, a float (also\n"
    "inf, -inf, nan) or else a symbol. qz.subtone reports a symbol as \"wrong\n"
    "argument type\" on stderr and treats its slot as 0 Hz: skipped when it is\n"
    "not the first partial; as the first, nothing is found.\n"
    "\n"
    "options:\n"
    "  --mode freq|midi  partials and result in Hz (freq, the default), or as\n"
    "                    MIDI pitches (midi: 69 is 440 Hz, 12 steps an octave;\n"
    "                    the result is rounded to the nearest multiple of A, or\n"
    "                    not rounded when A is 0)\n"
    "  --approx A        approximation in semitones (default 0.5), the box's\n"
    "                    creation argument: an integer text makes an integer\n"
    "                    atom, any other number a float atom; a negative A is\n"
    "                    kept (and then nothing is ever found)\n"
    "  --explain         after each result, one line per partial with the value\n"
    "                    the search used (Hz) and the harmonic number it chose,\n"
    "                    and the interval whose midpoint is the fundamental\n"
    "  --stats           after each result, print to stderr how many steps\n"
    "                    (intervals tried) the search needed: \"steps N\"\n"
    "  --help            show this help\n"
    "\n"
    "Results are printed as the shortest decimal text that reads back as the\n"
    "same double. When no fundamental of 1 Hz or more fits, the result is 0\n"
    "in freq mode and -inf in midi mode. A list whose search needs more than\n"
    "20,000,000 steps (only partials far beyond the audible range do) gets an\n"
    "error from the box and no result.\n"
    "\n"
    "exit status: 0 done, 1 failure (plug-in missing, no result), 2 usage error\n";

struct Options {
    long mode = 0;
    bool explain = false;
    bool stats = false;
    bool from_stdin = false;
    bool have_approx = false;
    t_atom approx{};
    std::vector<std::string> partials;
};

bool same_value(double a, double b)
{
    if (std::isnan(a) && std::isnan(b))
        return true;
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

std::string num(float v)
{
    return qzhost::format_number(static_cast<double>(v));
}

// Recomputes the result from the singles that the box stores for `atoms`
// with the same search the box runs, checks it against what the box sent
// (`sent` null: the box sent nothing), and prints the steps it took
// (--stats, to stderr) and the path it chose (--explain): the harmonic
// number of every partial and the final interval.
bool trace(qzhost::Host &host, qzhost::BoxId box, const std::vector<t_atom> &atoms,
           const std::vector<std::string> &words, const double *sent, const Options &opt,
           std::ostream &out)
{
    std::vector<t_atom> mode_atoms, approx_atoms;
    if (!host.attr_get(box, "mode", mode_atoms) || mode_atoms.empty() ||
        !host.attr_get(box, "approx", approx_atoms) || approx_atoms.empty()) {
        std::cerr << "qz subtone: internal error: cannot read the box's attributes\n";
        return false;
    }
    const std::int64_t mode = atom_getlong(&mode_atoms[0]);
    const float approx = static_cast<float>(atom_getfloat(&approx_atoms[0])); // stored as single
    const float tolerance = tolerance_from_midi(approx);

    // The slots as the box fills them.
    std::vector<float> p;
    p.reserve(atoms.size());
    for (const t_atom &a : atoms) {
        float v = 0.0f;
        if (atom_gettype(&a) == A_LONG)
            v = static_cast<float>(atom_getlong(&a));
        else if (atom_gettype(&a) == A_FLOAT)
            v = static_cast<float>(atom_getfloat(&a));
        else {
            p.push_back(0.0f);
            continue;
        }
        p.push_back(mode != 0 ? midi_to_hz(v) : v);
    }

    // The box's search, run here so that its raw result and the levels'
    // harmonic numbers can be read.
    const auto k = static_cast<std::int32_t>(p.size());
    subtone_workspace ws{};
    float found_r = 0.0f;
    std::uint64_t steps = 0;
    const subtone_fast_status status =
        subtone_fast_run(&ws, p.data(), k, tolerance, SUBTONE_WORK_BUDGET, &found_r, &steps);
    if (status == SUBTONE_FAST_NO_MEMORY) {
        subtone_workspace_free(&ws);
        std::cerr << "qz subtone: out of memory while tracing the search\n";
        return false;
    }
    const bool computed = status == SUBTONE_FAST_OK;
    const bool found = computed && subtone_accepted(found_r);
    const double value = subtone_output(found_r, mode, approx);
    // The harmonic numbers chosen, level by level, before the workspace goes.
    std::vector<float> chosen(p.size(), 0.0f);
    for (std::int32_t i = 0; found && i < k; ++i)
        chosen[static_cast<std::size_t>(i)] = ws.frames[i].n;
    subtone_workspace_free(&ws);

    if (opt.stats)
        std::cerr << "steps " << steps << (computed ? "" : " (over budget)") << '\n';
    if (computed != (sent != nullptr) || (sent && !same_value(value, *sent))) {
        std::cerr << "qz subtone: internal error: the traced search gives "
                  << (computed ? qzhost::format_number(value) : "nothing") << ", the plug-in sent "
                  << (sent ? qzhost::format_number(*sent) : "nothing") << '\n';
        return false;
    }
    if (!opt.explain || !computed)
        return true;

    // Replays the narrowing along the chosen harmonic numbers, exactly as the
    // search does, to show the interval whose midpoint was sent.
    const float u = tolerance + 1.0f;
    float lo = kSubtoneLowest;
    float hi = subtone_upper_bound(p[0], tolerance);
    for (std::size_t i = 0; i < p.size(); ++i) {
        const float cand_hi = p[i] * u / chosen[i];
        const float cand_lo = p[i] / u / chosen[i];
        hi = hi > cand_hi ? cand_hi : hi;
        lo = cand_lo > lo ? cand_lo : lo;
    }
    const float r =
        static_cast<float>(static_cast<double>(lo + hi) * 0.5); // single sum, double half
    if (found && !same_value(r, found_r)) {
        std::cerr << "qz subtone: internal error: the replayed path ends at " << num(r)
                  << ", the search at " << num(found_r) << '\n';
        return false;
    }
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        // As typed: a 32-bit host holds a typed float as a single, whose
        // own text would differ from the 64-bit host's.
        out << "  partial " << (i + 1) << ": "
            << (i < words.size() ? words[i] : qzhost::format_atom(atoms[i]));
        if (mode != 0 || (atom_gettype(&atoms[i]) != A_LONG && atom_gettype(&atoms[i]) != A_FLOAT))
            out << " = " << num(p[i]) << " Hz";
        if (found) {
            const float n = chosen[i];
            out << ", harmonic " << num(n);
            if (n == 0.0f || std::isinf(n))
                out << " (no window: skipped)";
        }
        out << '\n';
    }
    if (found)
        out << "  interval: [" << num(lo) << ", " << num(hi) << "] Hz, midpoint " << num(r)
            << " Hz\n";
    else
        out << "  no fundamental of 1 Hz or more fits\n";
    return true;
}

// Sends one list and prints its result. false when the box sent nothing or
// the explanation failed.
bool run_list(qzhost::Host &host, qzhost::BoxId box, const std::vector<t_atom> &atoms,
              const std::vector<std::string> &words, const Options &opt, std::vector<double> &sent)
{
    sent.clear();
    host.send(box, 0, "list", atoms);
    if (sent.size() > 1) {
        std::cerr << "qz subtone: the box sent " << sent.size() << " values for one list\n";
        return false;
    }
    if (sent.size() == 1)
        std::cout << qzhost::format_number(sent[0]) << '\n';
    if ((opt.explain || opt.stats) &&
        !trace(host, box, atoms, words, sent.empty() ? nullptr : &sent[0], opt, std::cout))
        return false;
    return sent.size() == 1;
}

// The words of a message as the host splits them into atoms.
void split_words(std::string_view text, std::vector<std::string> &words)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && blank(text[i]))
            ++i;
        const size_t b = i;
        while (i < text.size() && !blank(text[i]))
            ++i;
        if (i > b)
            words.emplace_back(text.substr(b, i - b));
    }
}

bool lower_equals(const std::string &a, const char *b)
{
    std::string l;
    for (char c : a)
        l += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return l == b;
}

} // namespace

int cmd_subtone(const qzcli::Context &ctx, const std::vector<std::string> &args)
{
    qzhost::Host host;
    Options opt;
    qzcli::SubtoneAudio audio;
    bool options_done = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (!options_done && a.rfind("--", 0) == 0) {
            std::string name = a, value;
            const std::size_t eq = a.find('=');
            const bool inline_value = eq != std::string::npos;
            if (inline_value) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
            }
            auto take_value = [&]() {
                if (inline_value)
                    return true;
                if (i + 1 >= args.size())
                    return false;
                value = args[++i];
                return true;
            };
            if (a == "--") {
                options_done = true;
            } else if (name == "--help" && !inline_value) {
                std::cout << kHelp << qzcli::kSubtoneAudioHelp;
                return qzcli::kOk;
            } else if (name == "--explain" && !inline_value) {
                opt.explain = true;
            } else if (name == "--stats" && !inline_value) {
                opt.stats = true;
            } else if (name == "--mode") {
                if (!take_value())
                    return qzcli::usage_error("subtone", "--mode needs freq or midi");
                if (lower_equals(value, "freq"))
                    opt.mode = 0;
                else if (lower_equals(value, "midi"))
                    opt.mode = 1;
                else
                    return qzcli::usage_error("subtone",
                                              "--mode must be freq or midi, not '" + value + "'");
            } else if (name == "--approx") {
                if (!take_value())
                    return qzcli::usage_error("subtone", "--approx needs a number");
                opt.approx = host.parse_atom(value);
                if (atom_gettype(&opt.approx) != A_LONG && atom_gettype(&opt.approx) != A_FLOAT)
                    return qzcli::usage_error("subtone",
                                              "--approx needs a number, not '" + value + "'");
                opt.have_approx = true;
            } else if (const auto taken = qzcli::take_subtone_audio_option(args, i, audio, value);
                       taken != qzcli::OptionTaken::No) {
                if (taken == qzcli::OptionTaken::Error)
                    return qzcli::usage_error("subtone", value);
            } else {
                return qzcli::usage_error("subtone", "unknown option '" + a + "'");
            }
            continue;
        }
        if (!options_done && a == "-h") {
            std::cout << kHelp;
            return qzcli::kOk;
        }
        if (a == "-") {
            opt.from_stdin = true;
            continue;
        }
        // A word like "-x" that is no number is taken for a mistyped option.
        if (!options_done && a.size() > 1 && a[0] == '-') {
            const t_atom atom = host.parse_atom(a);
            if (atom_gettype(&atom) != A_LONG && atom_gettype(&atom) != A_FLOAT)
                return qzcli::usage_error("subtone", "unknown option '" + a + "'");
        }
        opt.partials.push_back(a);
    }
    if (opt.from_stdin && !opt.partials.empty())
        return qzcli::usage_error("subtone", "'-' reads the partials from standard input; "
                                             "give either '-' or partials");
    if (std::string e;
        !qzcli::check_subtone_audio(audio, opt.from_stdin || !opt.partials.empty(), e))
        return qzcli::usage_error("subtone", e);
    if (opt.partials.empty())
        opt.from_stdin = true;

    qzcli::setup_host(host, ctx);
    host.set_recording(false);
    std::vector<double> sent;
    host.on_outlet([&sent](const qzhost::OutletEvent &e) { sent.push_back(e.value); });

    std::vector<t_atom> create_args;
    if (opt.have_approx)
        create_args.push_back(opt.approx);
    t_atom a;
    atom_setsym(&a, host.sym("@mode"));
    create_args.push_back(a);
    atom_setlong(&a, opt.mode);
    create_args.push_back(a);
    const qzhost::BoxId box = host.create("qz.subtone", create_args);
    if (box < 0)
        return qzcli::kFailure;
    if (!audio.file.empty())
        return qzcli::subtone_audio(host, box, opt.mode, opt.explain, audio, sent,
                                    qzcli::title_from_args("subtone", args));

    int status = qzcli::kOk;
    if (!opt.from_stdin) {
        std::vector<t_atom> atoms;
        std::vector<std::string> words;
        for (const std::string &w : opt.partials) {
            for (const t_atom &at : host.parse_atoms(w))
                atoms.push_back(at);
            split_words(w, words);
        }
        if (!atoms.empty() && !run_list(host, box, atoms, words, opt, sent))
            status = qzcli::kFailure;
        return status;
    }

    std::string line;
    while (std::getline(std::cin, line)) {
        const std::vector<t_atom> atoms = host.parse_atoms(line);
        if (atoms.empty())
            continue;
        std::vector<std::string> words;
        split_words(line, words);
        if (!run_list(host, box, atoms, words, opt, sent))
            status = qzcli::kFailure;
        std::cout.flush();
    }
    return status;
}
