#include "cli_common.hpp"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace qzcli {

void setup_host(qzhost::Host &host, const Context &ctx, bool posts)
{
    for (const std::string &dir : ctx.externals)
        host.add_search_path(dir);
    host.on_console([posts](const qzhost::ConsoleLine &line) {
        if (!line.error && !posts)
            return;
        std::ostream &out = line.error ? std::cerr : std::cout;
        if (!line.cls.empty())
            out << line.cls << ": ";
        out << line.text << '\n';
    });
}

int usage_error(const std::string &subcommand, const std::string &message)
{
    std::cerr << "qz " << subcommand << ": " << message << '\n'
              << "Try 'qz " << subcommand << " --help'.\n";
    return kUsage;
}

bool read_input(const std::string &path, std::string &out)
{
    if (path == "-") {
        out.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "qz: cannot open '" << path << "'\n";
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

bool parse_double(const std::string &word, double &out)
{
    if (word.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(word.c_str(), &end);
    if (end != word.c_str() + word.size())
        return false;
    out = v;
    return true;
}

bool parse_long(const std::string &word, long &out)
{
    if (word.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(word.c_str(), &end, 10);
    if (end != word.c_str() + word.size() || errno == ERANGE)
        return false;
    out = v;
    return true;
}

} // namespace qzcli
