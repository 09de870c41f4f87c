// qz refpage: writes an object's reference page from its registration and
// its documentation file; fails when the two disagree.
#include "cli_common.hpp"
#include "options.hpp"
#include "refpage.hpp"

#include <fstream>
#include <iostream>

namespace {

const char *const kUsage = "usage: qz refpage DOC.json [-o OUT.maxref.xml]";

const char *const kAbout =
    "Loads the object DOC.json names in the embedded host and writes its\n"
    "reference page (standard output without -o): methods, attributes,\n"
    "assistance texts and the creation argument as the object registers them,\n"
    "with the prose of DOC.json. Exit status 1, and no page, when something\n"
    "registered has no prose or the prose names something not registered.";

} // namespace

int cmd_refpage(const qzcli::Context &ctx, const std::vector<std::string> &args)
{
    std::string out_path;
    qzcli::CommandLine cl("refpage", kUsage, kAbout);
    cl.option("-o", "OUT", "write the page to OUT instead of standard output", "-o needs a file",
              [&](const std::string &v) { out_path = v; });
    if (const auto done = cl.parse(args))
        return *done;
    if (cl.operands().size() > 1)
        return cl.usage_error("one documentation file at a time");
    const std::string doc_path = cl.operands().empty() ? "" : cl.operands()[0];
    if (doc_path.empty())
        return qzcli::usage_error("refpage", "no documentation file given");
    std::string text;
    if (!qzcli::read_text_input("refpage", doc_path, text))
        return qzcli::kFailure;

    qzhost::Host host;
    for (const std::string &dir : ctx.externals)
        host.add_search_path(dir);
    std::string xml;
    std::vector<std::string> problems;
    if (!qzcli::make_refpage(host, text, doc_path, xml, problems)) {
        for (const std::string &p : problems)
            std::cerr << "qz refpage: " << p << '\n';
        return qzcli::kFailure;
    }
    if (out_path.empty()) {
        std::cout << xml;
        return qzcli::kOk;
    }
    std::ofstream out(out_path, std::ios::binary);
    out << xml;
    out.close();
    if (!out) {
        std::cerr << "qz refpage: cannot write " << out_path << '\n';
        return qzcli::kFailure;
    }
    return qzcli::kOk;
}
