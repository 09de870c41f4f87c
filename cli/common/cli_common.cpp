#include "cli_common.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

std::string format_value(double v, int digits)
{
    if (digits < 0 || !std::isfinite(v) || std::fabs(v) >= 1e15)
        return qzhost::format_number(v);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    std::string text = buf;
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    if (text == "-0")
        text = "0";
    return text;
}

bool parse_digits(const std::string &word, int &out)
{
    long n = 0;
    if (!parse_long(word, n) || n < 0 || n > kMaxDigits)
        return false;
    out = static_cast<int>(n);
    return true;
}

bool load_plugin(qzhost::Host &host, const Context &ctx, const std::string &cls)
{
    if (host.load(cls))
        return true;
    namespace fs = std::filesystem;
    const std::string file = cls + qzhost::Host::plugin_extension();
    bool found = false;
    for (const std::string &dir : ctx.externals) {
        std::error_code ec;
        found = found || fs::is_regular_file(fs::path(dir) / file, ec);
    }
    std::cerr << "qz: " << (found ? "cannot load " : "cannot find ") << file
              << (found ? " (see above); searched" : " in");
    for (size_t i = 0; i < ctx.externals.size(); ++i)
        std::cerr << (i == 0 ? " " : ", ") << ctx.externals[i];
    std::cerr << "\nqz: use --externals DIR to name the folder that holds the plug-ins\n";
    return false;
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

bool parse_int64(const std::string &word, long long &out)
{
    if (word.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(word.c_str(), &end, 10);
    if (end != word.c_str() + word.size() || errno == ERANGE)
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
