// qz refpage: writes an object's reference page from its registration and
// its documentation file; fails when the two disagree.
#include "cli_common.hpp"
#include "refpage.hpp"

#include <fstream>
#include <iostream>

namespace {

const char *const kHelp =
    "usage: qz refpage DOC.json [-o OUT.maxref.xml]\n"
    "\n"
    "Loads the object DOC.json names in the embedded host and writes its\n"
    "reference page (standard output without -o): methods, attributes,\n"
    "assistance texts and the creation argument as the object registers them,\n"
    "with the prose of DOC.json. Exit status 1, and no page, when something\n"
    "registered has no prose or the prose names something not registered.\n";

} // namespace

int cmd_refpage(const qzcli::Context &ctx, const std::vector<std::string> &args)
{
    std::string doc_path;
    std::string out_path;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            std::cout << kHelp;
            return qzcli::kOk;
        }
        if (a == "-o") {
            if (i + 1 >= args.size())
                return qzcli::usage_error("refpage", "-o needs a file");
            out_path = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return qzcli::usage_error("refpage", "unknown option '" + a + "'");
        } else if (doc_path.empty()) {
            doc_path = a;
        } else {
            return qzcli::usage_error("refpage", "one documentation file at a time");
        }
    }
    if (doc_path.empty())
        return qzcli::usage_error("refpage", "no documentation file given");
    std::string text;
    if (!qzcli::read_input(doc_path, text))
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
