// qz run: runs a script of boxes, messages and time in the embedded host.
#include "cli_common.hpp"
#include "options.hpp"
#include "script.hpp"

#include <iostream>

int cmd_run(const qzcli::Context &ctx, const std::vector<std::string> &args)
{
    bool no_posts = false;
    qzcli::CommandLine cl("run", qzcli::kScriptUsage, qzcli::script_help());
    cl.flag("--no-posts", no_posts, "leave console posts (banners) out of the output");
    if (const auto done = cl.parse(args))
        return *done;
    if (cl.operands().size() > 1)
        return cl.usage_error("only one script can be run");
    if (cl.operands().empty())
        return cl.usage_error("no script given (use - for standard input)");
    const std::string &path = cl.operands()[0];
    const bool posts = !no_posts;

    std::string text;
    if (!qzcli::read_text_input("run", path, text))
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
