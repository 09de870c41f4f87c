// Fuzzes the chord reader of `qz subtone`: a chord file (numbers, note
// names, commas, comments, any bytes) through the reader and a real
// qz.subtone box, with options drawn from the first bytes (mode, --a4,
// --approx, --echo, --names, --digits, --explain, --stats), up to six
// chords, or fewer where each may cost more searches. Nothing may trip
// a sanitizer or abort; a read that fails names its place; the traced
// search always agrees with the plug-in (no "internal error"); every result
// line holds a number or a note name, after "CHORD -> " with --echo.
#include "fuzz_cli.hpp"
#include "notes.hpp"
#include "subtone_session.hpp"

#include "cli_common.hpp"

#include <sstream>

namespace {

using qzfuzz::fail;

// Searches that may run into the work budget in one input.
constexpr int kMostFullSearches = 6;

bool result_text(std::string_view v, bool names)
{
    double d = 0;
    if (qzcli::parse_double(std::string(v), d))
        return true;
    return names && qzcli::parse_note(v, d);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    static constexpr double kA4[] = {440.0, 415.0, 442.0, 1e-300, 1e300};
    static constexpr const char *kApprox[] = {"", "0.5", "0", "1", "-1", "0.01", "12"};
    qzcli::SubtoneOptions opt;
    const uint8_t o = data[0], p = data[1];
    opt.units.midi = (o & 1) != 0;
    opt.echo = (o & 2) != 0;
    opt.names = opt.units.midi && (o & 4) != 0;
    opt.explain = (o & 8) != 0;
    opt.stats = (o & 16) != 0;
    opt.digits = (o >> 5) == 0 ? -1 : (o >> 5) - 1;
    opt.units.a4 = kA4[p % 5];
    const char *approx = kApprox[(p / 5) % 7];
    const std::string_view text(reinterpret_cast<const char *>(data) + 2, size - 2);
    // A chord costs one search in the box, one more in the trace of --stats
    // and --explain, and one more for --explain's fragility test: the moved
    // chords of a costly one leave the path at once, and one that runs into
    // the work budget ends the test. A search at the budget takes about 11 s
    // in this build: six of them at most, which fuzz/run.sh's timeout allows.
    const int searches_per_chord = 1 + ((opt.explain || opt.stats) ? 1 : 0) + (opt.explain ? 1 : 0);
    if (!qzfuzz::few_busy_lines(text, kMostFullSearches / searches_per_chord))
        return 0;

    std::ostringstream out, err;
    int status = 0;
    bool input_error = false;
    {
        qzhost::Host host;
        qzfuzz::cli_host(host, err);
        if (*approx) {
            opt.approx = host.parse_atom(approx);
            opt.have_approx = true;
        }
        if (!host.load("qz.subtone"))
            fail("qz.subtone not loaded");
        qzcli::SubtoneSession session(host, opt, out, err);
        if (!session.ok())
            fail("no qz.subtone box");
        std::istringstream in{std::string(text)};
        status = session.read(in, "f");
        input_error = session.input_error();
    }
    const std::string o_text = out.str(), e_text = err.str();
    bool place_reported = false;
    for (std::string_view line : qzfuzz::lines_of(e_text, "stderr")) {
        if (line.find("internal error") != std::string_view::npos)
            fail("%.*s", static_cast<int>(line.size()), line.data());
        if (qzfuzz::starts_with(line, "qz subtone: f:"))
            place_reported = true;
        else if (!qzfuzz::starts_with(line, "qz.subtone: ") &&
                 !qzfuzz::starts_with(line, "steps ") &&
                 !qzfuzz::starts_with(line, "qz subtone: warning: partial "))
            fail("unexpected stderr line: %.*s", static_cast<int>(line.size()), line.data());
    }
    if (input_error != place_reported || (input_error && status != 1))
        fail("input error %d, status %d, place reported %d", input_error, status, place_reported);
    for (std::string_view line : qzfuzz::lines_of(o_text, "the output")) {
        if (qzfuzz::starts_with(line, "  "))
            continue; // --explain
        std::string_view value = line;
        if (opt.echo) {
            const size_t arrow = line.rfind(" -> ");
            if (arrow == std::string_view::npos)
                fail("--echo line without its chord: %.*s", static_cast<int>(line.size()),
                     line.data());
            value = line.substr(arrow + 4);
        }
        if (!result_text(value, opt.names))
            fail("result line is no value: %.*s", static_cast<int>(line.size()), line.data());
    }
    return 0;
}
