// Fuzzes the patcher loader of qz patch: any bytes as a patcher file. The
// parser must either accept them or say where they fail; an accepted patch
// is made with the real plug-ins, every message box is clicked (the first
// 64), every number box typed into, time let pass and the documented walk
// run. Nothing may crash, hang or leak, and every problem is reported.
//
// One host serves the whole run, so the plug-ins stay loaded (the fuzzer
// keeps reading their coverage counters); each input's boxes are freed and
// its observers dropped afterwards.
#include "fuzz_host.hpp"
#include "patch.hpp"
#include "patch_check.hpp"
#include "patcher_file.hpp"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

[[noreturn]] void fail(const char *what, const std::string &detail)
{
    std::fprintf(stderr, "fuzz_patch: %s: %s\n", what, detail.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    qzcli::Patcher patcher;
    std::string error;
    if (!qzcli::parse_patcher(text, "f.maxpat", patcher, error)) {
        if (error.rfind("f.maxpat", 0) != 0)
            fail("an error that does not name the file", error);
        return 0;
    }
    qzhost::Host &h = qzfuzz::host();
    std::ostringstream out;
    std::ostringstream err;
    {
        qzcli::Patch patch(h, out, err, "f.maxpat", false, false);
        const int problems = patch.build(patcher);
        if ((problems == 0) != err.str().empty())
            fail("problems counted and reported disagree", err.str());
        int clicks = 0;
        const auto &boxes = patch.boxes();
        for (size_t i = 0; i < boxes.size() && clicks < 64; ++i) {
            if (boxes[i].kind == qzcli::Patch::Kind::Message) {
                patch.click(boxes[i].name);
                ++clicks;
            } else if (boxes[i].kind == qzcli::Patch::Kind::Number ||
                       boxes[i].kind == qzcli::Patch::Kind::Flonum) {
                patch.type(boxes[i].name, 60.5);
            }
        }
        h.advance_by(2000);
        std::ostringstream report;
        qzcli::check_patch(patch, report);
        for (const auto &b : patch.boxes())
            if (b.host >= 0)
                h.free_box(b.host);
        h.clear_observers();
    }
    if (h.pending_clocks() != 0)
        fail("clocks left armed after every box was freed", std::to_string(h.pending_clocks()));
    return 0;
}
