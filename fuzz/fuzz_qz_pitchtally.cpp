// Fuzzes the stream reader of `qz pitchtally`: any text (times, pitches as
// numbers or note names, amplitudes, "stop", headers, comments, commas, any
// bytes) played into a real qz.pitchtally box, with the box settings and
// --digits drawn from the first bytes. Nothing may trip a sanitizer or
// abort; an input error names its line and ends the run with status 1;
// every report line is four numbers with a probability in (0, 1]; after a
// clean run no clock is left armed.
#include "cli_common.hpp"
#include "fuzz_cli.hpp"
#include "pitchtally_stream.hpp"

#include <sstream>

namespace {

using qzfuzz::fail;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const uint8_t a = data[0], b = data[1];
    const int digits = (b & 7) == 0 ? -1 : (b & 7) - 1;
    const std::string_view text(reinterpret_cast<const char *>(data) + 2, size - 2);

    std::ostringstream out, err;
    int status = 0;
    size_t armed = 0;
    {
        qzhost::Host host;
        qzfuzz::cli_host(host, err);
        if (!host.load("qz.pitchtally"))
            fail("qz.pitchtally not loaded");
        auto symbol = [&host](const char *name) {
            t_atom s;
            atom_setsym(&s, host.sym(name));
            return s;
        };
        std::vector<t_atom> args;
        args.push_back(qzt::L((a & 15) == 0 ? 100 : (a & 15)));
        if (a & 16) {
            args.push_back(symbol("@window"));
            args.push_back(qzt::L(static_cast<int>(b >> 3) * 25 - 100));
        }
        if (a & 32) {
            args.push_back(symbol("@minproba"));
            args.push_back(qzt::F(static_cast<double>(a >> 6) / 3.0));
        }
        const qzhost::BoxId box = host.create("qz.pitchtally", args);
        if (box < 0)
            fail("no qz.pitchtally box");
        status = qzcli::play_pitch_stream(host, box, text, "f", digits, out, err);
        armed = host.pending_clocks();
        host.free_box(box);
    }
    if (status == 0 && armed != 0)
        fail("%zu clocks armed after a clean run", armed);
    bool line_reported = false;
    const std::string o_text = out.str(), e_text = err.str();
    for (std::string_view line : qzfuzz::lines_of(e_text, "stderr")) {
        if (qzfuzz::starts_with(line, "qz pitchtally: f line "))
            line_reported = true;
        else if (!qzfuzz::starts_with(line, "qz.pitchtally: "))
            fail("unexpected stderr line: %.*s", static_cast<int>(line.size()), line.data());
    }
    if ((status == 1) != line_reported || (status != 0 && status != 1))
        fail("status %d, input error reported %d", status, line_reported);
    for (std::string_view line : qzfuzz::lines_of(o_text, "the output")) {
        std::istringstream fields{std::string(line)};
        std::string f[5];
        double v[4];
        int n = 0;
        while (n < 5 && fields >> f[n])
            ++n;
        if (n != 4)
            fail("report line of %d fields: %.*s", n, static_cast<int>(line.size()), line.data());
        for (int i = 0; i < 4; ++i)
            if (!qzcli::parse_double(f[i], v[i]))
                fail("report field is no number: %.*s", static_cast<int>(line.size()), line.data());
        // (Rounded to a few decimals, a small probability may read 0.)
        if (!(v[3] >= 0.0 && v[3] <= 1.0) || (digits < 0 && v[3] == 0.0))
            fail("probability out of (0, 1]: %.*s", static_cast<int>(line.size()), line.data());
    }
    return 0;
}
