// qz patch: opens a patcher file (.maxpat, .maxhelp) in the embedded host and
// plays what a user does with it.
#include "cli_common.hpp"
#include "options.hpp"
#include "patch.hpp"
#include "patch_check.hpp"
#include "patcher_file.hpp"

#include <cmath>
#include <iostream>

namespace {

const char *const kUsage = "usage: qz patch [--no-posts] [--trace] [--check] FILE [ACTION...]";

const char *const kAbout =
    "Opens a patcher file of the host (.maxpat, .maxhelp) in the embedded host:\n"
    "object boxes of the loaded classes, message, number, flonum, print and\n"
    "comment boxes, the lines between them, and subpatchers (p NAME, tabs).\n"
    "Then does what the ACTIONs say, in order:\n"
    "\n"
    "  click BOX        click a message box: BOX is its name, or its text\n"
    "                     (qz patch help.maxhelp click \"60 64 67\")\n"
    "  type BOX VALUE   type a number into a number box\n"
    "  advance MS       let MS milliseconds of (virtual) time pass\n"
    "\n"
    "A box's name is its id (\"obj-3\"), led by the names of the subpatchers that\n"
    "hold it (\"basic/obj-3\" in \"p basic\"); an id alone will do when only one\n"
    "box has it.\n"
    "\n"
    "Output, one line each, in the order things happen (TIME in milliseconds):\n"
    "  TIME BOX shows VALUE          a number box shows a new value\n"
    "  TIME BOX print NAME: VALUE... a print box posts\n"
    "  TIME BOX error TEXT           an object's console error\n"
    "  TIME BOX post TEXT            an object's console post (not with --no-posts)\n"
    "  TIME BOX OUTLET VALUE         with --trace: a value left an object's outlet\n"
    "\n"
    "A box the embedded host cannot make is reported once on stderr and stays\n"
    "empty; the rest of the patch works, and the exit status is 1. Malformed\n"
    "JSON is reported with the file, line and column.";

} // namespace

int cmd_patch(const qzcli::Context &ctx, const std::vector<std::string> &args)
{
    bool no_posts = false;
    bool trace = false;
    bool check = false;
    qzcli::CommandLine cl("patch", kUsage, kAbout);
    cl.flag("--no-posts", no_posts, "leave console posts (banners) out");
    cl.flag("--trace", trace, "print every value that leaves an object's outlet");
    cl.flag("--check", check,
            "instead of ACTIONs, do what the patch documents: click every\n"
            "message box in reading order (top to bottom, left to right),\n"
            "let time pass where a comment says \"wait N ms\", and compare\n"
            "each number box with the comment \"= VALUE\" beside it; exit\n"
            "status 1 when one disagrees");
    if (const auto done = cl.parse(args))
        return *done;
    const bool posts = !no_posts;
    const std::vector<std::string> &words = cl.operands();
    const std::string path = words.empty() ? "" : words[0];
    const std::vector<std::string> actions(words.begin() + (words.empty() ? 0 : 1), words.end());
    if (path.empty())
        return qzcli::usage_error("patch", "no patcher file given");
    if (check && !actions.empty())
        return qzcli::usage_error("patch", "--check takes no actions");
    // Actions are checked before anything runs.
    for (size_t i = 0; i < actions.size(); ++i) {
        const std::string &w = actions[i];
        const size_t need = w == "type" ? 2 : (w == "click" || w == "advance") ? 1 : 0;
        double unused = 0;
        if (need == 0)
            return qzcli::usage_error("patch", "unknown action '" + w + "'");
        if (i + need >= actions.size())
            return qzcli::usage_error("patch", "'" + w + "' needs " +
                                                   (need == 2      ? "a box and a value"
                                                    : w == "click" ? "a box"
                                                                   : "a time in ms"));
        if ((w == "type" && !qzcli::parse_double(actions[i + 2], unused)) ||
            (w == "advance" && (!qzcli::parse_double(actions[i + 1], unused) || !(unused >= 0) ||
                                !std::isfinite(unused))))
            return qzcli::usage_error("patch", "'" + w + "' needs a number");
        i += need;
    }

    std::string text;
    if (!qzcli::read_text_input("patch", path, text))
        return qzcli::kFailure;
    qzcli::Patcher patcher;
    std::string error;
    if (!qzcli::parse_patcher(text, path, patcher, error)) {
        std::cerr << "qz patch: " << error << '\n';
        return qzcli::kFailure;
    }

    qzhost::Host host;
    for (const std::string &dir : ctx.externals)
        host.add_search_path(dir);
    int failures = 0;
    {
        qzcli::Patch patch(host, std::cout, std::cerr, path, posts, trace);
        failures += patch.build(patcher);
        if (check) {
            failures += qzcli::check_patch(patch, std::cout);
        } else {
            for (size_t i = 0; i < actions.size(); ++i) {
                const std::string &w = actions[i];
                double v = 0;
                if (w == "click") {
                    failures += patch.click(actions[++i]) ? 0 : 1;
                } else if (w == "type") {
                    qzcli::parse_double(actions[i + 2], v);
                    failures += patch.type(actions[i + 1], v) ? 0 : 1;
                    i += 2;
                } else {
                    qzcli::parse_double(actions[++i], v);
                    host.advance_by(v);
                }
            }
        }
        // The boxes go while the patch still prints what their destructors post.
        host.unload_all();
    }
    std::cout.flush();
    return failures == 0 ? qzcli::kOk : qzcli::kFailure;
}
