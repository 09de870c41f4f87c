// qz run: runs a script of boxes, messages and time in the embedded host.
#include "cli_common.hpp"
#include "script.hpp"

#include <iostream>

int cmd_run(const qzcli::Context &ctx, const std::vector<std::string> &args)
{
    bool posts = true;
    std::string path;
    for (const std::string &a : args) {
        if (a == "--help" || a == "-h") {
            std::cout << qzcli::kScriptHelp;
            return qzcli::kOk;
        }
        if (a == "--no-posts") {
            posts = false;
        } else if (a.size() > 1 && a[0] == '-') {
            return qzcli::usage_error("run", "unknown option '" + a + "'");
        } else if (path.empty()) {
            path = a;
        } else {
            return qzcli::usage_error("run", "only one script can be run");
        }
    }
    if (path.empty())
        return qzcli::usage_error("run", "no script given (use - for standard input)");

    std::string text;
    if (!qzcli::read_input(path, text))
        return qzcli::kFailure;

    qzhost::Host host;
    for (const std::string &dir : ctx.externals)
        host.add_search_path(dir);
    qzcli::ScriptRunner runner(host, std::cout, std::cerr, path == "-" ? "<stdin>" : path, posts);
    runner.set_search_folders(ctx.externals);
    const int errors = runner.run(text);
    // Boxes left at the end are deleted while the runner still prints what
    // their destructors post.
    host.unload_all();
    std::cout.flush();
    return errors == 0 ? qzcli::kOk : qzcli::kFailure;
}
