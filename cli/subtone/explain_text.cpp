#include "explain_text.hpp"

#include "cli_common.hpp"

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

} // namespace qzcli
