// Shared parts of the fuzz programs: one embedded host per process with the
// plug-ins of this build loaded, atoms drawn from the fuzzer's bytes, and a
// failure report that stops the run.
//
// The host lives for the whole process, so the modules are loaded once; each
// input makes its boxes, drives them and frees them again. Symbols come from
// a fixed vocabulary: arbitrary words would only grow the host's symbol table
// from one input to the next without reaching any new code.
#ifndef QZ_FUZZ_FUZZ_HOST_HPP
#define QZ_FUZZ_FUZZ_HOST_HPP

#include "atoms.hpp"
#include "qzhost.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <vector>

namespace qzfuzz {

// Prints the broken rule and aborts, which libFuzzer records as a finding
// together with the input that led to it.
[[noreturn]] inline void fail(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
inline void fail(const char *fmt, ...)
{
    std::va_list ap;
    va_start(ap, fmt);
    std::fputs("invariant broken: ", stderr);
    std::vfprintf(stderr, fmt, ap);
    std::fputc('\n', stderr);
    va_end(ap);
    std::abort();
}

// The process-wide host with both plug-ins loaded. Recording into the logs is
// off: the programs watch the outlets and the console through observers.
inline qzhost::Host &host()
{
    static qzhost::Host *h = [] {
        auto *made = new qzhost::Host;
        made->add_search_path(QZ_EXTERNALS_DIR);
        if (!made->load("qz.subtone") || !made->load("qz.pitchtally")) {
            for (const auto &l : made->console_log())
                std::fprintf(stderr, "%s\n", l.text.c_str());
            std::fprintf(stderr, "cannot load the plug-ins from %s\n", QZ_EXTERNALS_DIR);
            std::abort();
        }
        made->set_recording(false);
        return made;
    }();
    return *h;
}

inline const char *const kWords[] = {
    "@mode", "@approx", "@window", "@minproba", "@",    "@@",         "@nosuch",
    "mode",  "approx",  "window",  "minproba",  "list", "int",        "float",
    "stop",  "set",     "ft1",     "Freq",      "MIDI", "qz.subtone",
};

inline t_atom sym_atom(FuzzedDataProvider &in)
{
    return qzt::S(host(), in.PickValueInArray(kWords));
}

// An integer: the edges of the widths the objects narrow to, small values,
// or any 64-bit value.
inline t_atom_long any_long(FuzzedDataProvider &in)
{
    static constexpr t_atom_long kEdges[] = {
        0,         1,         -1,        2,          16,          100,
        32767,     32768,     65535,     65536,      -32768,      INT32_MAX,
        INT32_MIN, INT64_MAX, INT64_MIN, 0x80000001, 0x100000000, -0x80000001,
    };
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        return in.PickValueInArray(kEdges);
    case 1:
        return in.ConsumeIntegralInRange<t_atom_long>(-200, 200);
    default:
        return in.ConsumeIntegral<t_atom_long>();
    }
}

// A floating value: infinities, not-a-number, the extremes of single and
// double precision, subnormals, ordinary values, or any 64-bit pattern.
inline double any_double(FuzzedDataProvider &in)
{
    static constexpr double kEdges[] = {
        0.0,
        -0.0,
        0.5,
        1.0,
        -1.0,
        0.1,
        440.0,
        60.0,
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(),
        FLT_MAX,
        -FLT_MAX,
        3.4028235677973366e38, // rounds to infinity as a single
        FLT_MIN,
        1e-45, // the smallest single subnormal, nearly
        DBL_MAX,
        DBL_MIN,
        4.9406564584124654e-324,
        16777216.0,
        16777217.0,
        2147483647.5,
        -2147483648.5,
        9.3e18,
    };
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        return in.PickValueInArray(kEdges);
    case 1:
        return in.ConsumeFloatingPointInRange<double>(-1000.0, 1000.0);
    default: {
        const uint64_t b = in.ConsumeIntegral<uint64_t>();
        double d;
        static_assert(sizeof d == sizeof b);
        __builtin_memcpy(&d, &b, sizeof d);
        return d;
    }
    }
}

// Any atom: integer, float or symbol.
inline t_atom any_atom(FuzzedDataProvider &in)
{
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        return qzt::L(any_long(in));
    case 1:
        return qzt::F(any_double(in));
    default:
        return sym_atom(in);
    }
}

// Attribute names of the two classes, and a few that neither has.
inline const char *const kAttrs[] = {"mode", "approx", "window", "minproba", "nosuch"};

// Creation arguments: a first atom, then a mix of "@name" settings with their
// values and stray atoms.
inline std::vector<t_atom> creation_args(FuzzedDataProvider &in)
{
    std::vector<t_atom> args;
    const int n = in.ConsumeIntegralInRange<int>(0, 12);
    for (int i = 0; i < n && in.remaining_bytes() > 0; ++i) {
        if (in.ConsumeBool()) {
            args.push_back(any_atom(in));
            continue;
        }
        char name[32];
        std::snprintf(name, sizeof name, "@%s", in.PickValueInArray(kAttrs));
        t_atom a;
        atom_setsym(&a, host().sym(name));
        args.push_back(a);
        const int values = in.ConsumeIntegralInRange<int>(0, 3);
        for (int v = 0; v < values; ++v)
            args.push_back(any_atom(in));
    }
    return args;
}

// QZ_FUZZ_TRACE=1 in the environment prints what each input does, for
// reading a finding (run the program on the one input file).
inline bool tracing()
{
    static const bool on = std::getenv("QZ_FUZZ_TRACE") != nullptr;
    return on;
}

inline void trace(const char *what, const std::vector<t_atom> &atoms)
{
    if (!tracing())
        return;
    std::fprintf(stderr, "%s", what);
    for (const t_atom &a : atoms)
        std::fprintf(stderr, " %s", qzhost::format_atom(a).c_str());
    std::fputc('\n', stderr);
}

inline bool is_nan(double d)
{
    return d != d;
}

} // namespace qzfuzz

#endif // QZ_FUZZ_FUZZ_HOST_HPP
