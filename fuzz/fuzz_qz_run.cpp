// Fuzzes `qz run`: whole scripts through the script runner and the embedded
// host with the real plug-ins. Nothing may trip a sanitizer or abort; every
// line printed ends with a newline; every script error is reported as
// "SOURCE:LINE: message", and lines in error are reported (and only then).
#include "fuzz_cli.hpp"
#include "script.hpp"

#include <cstdlib>
#include <sstream>

namespace {

using qzfuzz::fail;

// Boxes of qz.pitchtally with a pool of millions of agents cost seconds and
// gigabytes (tested apart); inputs with large numbers on a box line are
// skipped.
bool small_boxes(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = text.size();
        const std::string_view line = text.substr(pos, nl - pos);
        if (line.find("box") != std::string_view::npos) {
            size_t digits = 0;
            for (char c : line) {
                digits = (c >= '0' && c <= '9') ? digits + 1 : 0;
                if (digits > 4)
                    return false;
            }
        }
        pos = nl + 1;
    }
    return true;
}

// qz.subtone lists that run into the work budget take tens of seconds
// under the sanitizers and coverage (fuzz_subtone_list covers them): a
// script that makes a qz.subtone box keeps its numbers within +-1000 and
// spells no infinity or not-a-number, which keeps every tolerance and
// partial where the search ends in milliseconds.
bool quick_subtone(std::string_view text)
{
    if (text.find("subtone") == std::string_view::npos)
        return true;
    std::string lower(text);
    for (char &c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower.find("inf") != std::string::npos || lower.find("nan") != std::string::npos)
        return false;
    size_t i = 0;
    while (i < lower.size()) {
        const size_t start = lower.find_first_not_of(" \t\r\n", i);
        if (start == std::string::npos)
            break;
        size_t end = lower.find_first_of(" \t\r\n", start);
        if (end == std::string::npos)
            end = lower.size();
        char *stop = nullptr;
        const std::string word = lower.substr(start, end - start);
        const double v = std::strtod(word.c_str(), &stop);
        if (stop != word.c_str() && !(v >= -1000.0 && v <= 1000.0))
            return false;
        i = end;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    if (!qzfuzz::few_busy_lines(text, 16) || !small_boxes(text) || !quick_subtone(text))
        return 0;
    std::ostringstream out, err;
    int errors = 0;
    {
        qzfuzz::keep_plugins_loaded();
        qzhost::Host host;
        host.add_search_path(QZ_EXTERNALS_DIR);
        host.set_recording(false);
        qzcli::ScriptRunner runner(host, out, err, "f.qzs", true);
        // A feedback loop reaches the limit on every run, advance or at
        // line: a lower one keeps an input to a fraction of a second.
        runner.set_firing_limit(1000);
        errors = runner.run(text);
        host.unload_all();
    }
    const std::string o = out.str(), e = err.str();
    qzfuzz::lines_of(o, "the output");
    int reported = 0;
    for (std::string_view line : qzfuzz::lines_of(e, "stderr")) {
        if (!qzfuzz::starts_with(line, "f.qzs:"))
            fail("stderr line without its place: %.*s", static_cast<int>(line.size()), line.data());
        const size_t colon = line.find(':', 6);
        if (colon == std::string_view::npos || colon == 6)
            fail("stderr line without a line number: %.*s", static_cast<int>(line.size()),
                 line.data());
        for (size_t i = 6; i < colon; ++i)
            if (line[i] < '0' || line[i] > '9')
                fail("bad line number in: %.*s", static_cast<int>(line.size()), line.data());
        // Notes that clocks are still armed are not errors.
        if (line.find("still armed") == std::string_view::npos)
            ++reported;
    }
    // (One line may report two errors: both boxes of a connect missing.)
    if ((reported == 0) != (errors == 0) || reported < errors)
        fail("%d lines in error, %d reported", errors, reported);
    return 0;
}
