#include "explain_text.hpp"

#include "cli_common.hpp"
#include "notes.hpp"

#include <cmath>
#include <cstdio>

namespace qzcli {

namespace {

// One decimal, rounded here (half away from zero) rather than by the C
// library's printf, whose ties differ between platforms: the text is then
// the same in every build.
std::string tenths(double v, const char *format)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, format, std::round(v * 10.0) / 10.0);
    return buf;
}

} // namespace

std::string cents_text(double cents)
{
    const std::string s = tenths(cents, "%+.1f");
    return s == "-0.0" ? "+0.0" : s;
}

std::string harmonic_text(const subtone_partial_explained &e, int digits)
{
    std::string s = ", harmonic " + format_value(static_cast<double>(e.harmonic), digits);
    if (e.harmonic == 0.0f || std::isinf(e.harmonic))
        return s + " (no window: skipped)";
    if (std::isnan(e.cents))
        return s;
    s += ", " + cents_text(e.cents) + " cents (" + tenths(e.margin, "%.1f") + " from the edge";
    return s + (e.on_edge ? ": on the edge)" : ")");
}

std::string fundamental_text(double midi, double hz, int digits, Spelling spelling)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", hz);
    std::string t = note_name(midi, 0, spelling);
    t += " (";
    t += format_value(midi, digits);
    t += ", ";
    t += buf;
    t += " Hz)";
    return t;
}

void print_fragility(std::ostream &out, const subtone_explanation &e)
{
    char step[32];
    std::snprintf(step, sizeof step, "%g", kSubtoneEdgeCents);
    switch (e.fragility) {
    case subtone_fragility::robust:
        out << "  fragile: no (the harmonic numbers hold with each partial and the approximation "
               "moved by "
            << step << " cents)\n";
        return;
    case subtone_fragility::fragile:
        out << "  fragile: yes (";
        if (e.fragile_partial < 0)
            out << "the approximation moved by " << cents_text(e.fragile_change * 100.0)
                << " cents";
        else
            out << "partial " << (e.fragile_partial + 1) << " moved by "
                << cents_text(e.fragile_change) << " cents";
        out << " gives other harmonic numbers)\n";
        return;
    case subtone_fragility::not_checked:
        out << "  fragile: not tested (more than " << kSubtoneFragilityMaxPartials
            << " partials)\n";
        return;
    }
}

namespace {

// A frequency with a fixed number of decimals, rounded here as tenths() is.
std::string hz_text(double hz, int decimals)
{
    char buf[64];
    const double scale = std::pow(10.0, decimals);
    std::snprintf(buf, sizeof buf, "%.*f", decimals, std::round(hz * scale) / scale);
    return buf;
}

std::string hearing_text(const subtone_hearing &h, double a4, int digits, Spelling spelling)
{
    std::string s = hz_text(h.hz, digits < 0 ? 4 : digits) + " Hz (" +
                    hz_note_name(h.hz, a4, 0, spelling) + "), harmonics";
    for (const double n : h.harmonics) {
        s += ' ';
        s += n > 0.0 ? format_value(n, 0) : std::string("-");
    }
    return s + ", fit " + tenths(h.fit, "%.1f") + " cents";
}

} // namespace

void print_alternatives(std::ostream &out, const subtone_alternatives &a, double floor_hz,
                        double a4, int digits, Spelling spelling)
{
    out << "  box: " << hearing_text(a.result, a4, digits, spelling) << '\n';
    for (std::size_t i = 0; i < a.lower.size(); ++i)
        out << "  alternative " << (i + 1) << ": " << hearing_text(a.lower[i], a4, digits, spelling)
            << '\n';
    if (!a.complete)
        out << "  alternatives: stopped at " << hz_text(a.stopped_hz, 4) << " Hz, the work of "
            << kSubtoneAlternativesBudget << " steps done\n";
    else if (a.lower.empty())
        out << "  no lower fundamental fits better, down to " << hz_text(floor_hz, 4) << " Hz\n";
}

} // namespace qzcli
