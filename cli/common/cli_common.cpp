#include "cli_common.hpp"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
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

std::string input_name(const std::string &path)
{
    return path == "-" ? std::string("standard input") : "'" + path + "'";
}

bool is_text(std::string_view text, std::string &why)
{
    const std::size_t n = std::min(text.size(), kTextSniffBytes);
    for (std::size_t i = 0; i < n;) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0) {
            why = "a NUL byte at byte " + std::to_string(i + 1);
            return false;
        }
        // The length of the character that this byte starts, and the
        // smallest value it may hold (shorter forms are invalid UTF-8).
        std::size_t len = 1;
        unsigned long code = c, least = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2, code = c & 0x1F, least = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3, code = c & 0x0F, least = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4, code = c & 0x07, least = 0x10000;
        } else if (c >= 0x80) {
            why = "invalid UTF-8 at byte " + std::to_string(i + 1);
            return false;
        }
        std::size_t j = 1;
        for (; j < len && i + j < text.size(); ++j) {
            const auto d = static_cast<unsigned char>(text[i + j]);
            if ((d & 0xC0) != 0x80)
                break;
            code = code << 6 | (d & 0x3F);
        }
        const bool cut = i + j == text.size() || i + j >= n; // at the end or the limit
        if (j < len && !cut) {
            why = "invalid UTF-8 at byte " + std::to_string(i + 1);
            return false;
        }
        if (j == len && (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) {
            why = "invalid UTF-8 at byte " + std::to_string(i + 1);
            return false;
        }
        i += j;
    }
    return true;
}

bool check_readable(const std::string &path, std::string &error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || !fs::exists(st)) {
        error = "cannot open '" + path + "': no such file";
        return false;
    }
    if (fs::is_directory(st)) {
        error = "cannot open '" + path + "': it is a directory";
        return false;
    }
    if (!std::ifstream(path, std::ios::binary).is_open()) {
        error = "cannot open '" + path + "': permission denied";
        return false;
    }
    return true;
}

void hint_terminal_input(const std::string &command, const std::string &what)
{
#if defined(_WIN32)
    const bool terminal = _isatty(_fileno(stdin)) != 0;
    const char *end = "Ctrl-Z and Enter";
#else
    const bool terminal = isatty(STDIN_FILENO) != 0;
    const char *end = "Ctrl-D";
#endif
    if (terminal)
        std::cerr << "qz " << command << ": reading " << what
                  << " from the terminal (standard input); end with " << end << '\n';
}

namespace {

// The kind of sound file `bytes` begins like, or null.
const char *sound_kind(std::string_view bytes)
{
    auto at = [bytes](std::size_t pos, std::string_view tag) {
        return bytes.size() >= pos + tag.size() && bytes.substr(pos, tag.size()) == tag;
    };
    if (at(0, "RIFF") && at(8, "WAVE"))
        return "a WAV";
    if (at(0, "FORM") && (at(8, "AIFF") || at(8, "AIFC")))
        return "an AIFF";
    if (at(0, "fLaC"))
        return "a FLAC";
    if (at(0, "OggS"))
        return "an Ogg";
    if (at(0, "ID3") || (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xff &&
                         (static_cast<unsigned char>(bytes[1]) & 0xe0) == 0xe0))
        return "an MP3";
    return nullptr;
}

} // namespace

bool read_text_input(const std::string &command, const std::string &path, std::string &out)
{
    const std::string who = "qz " + command + ": ";
    out.clear();
    if (path == "-") {
        hint_terminal_input(command, "its input");
        out.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        if (std::cin.bad()) {
            std::cerr << who << "cannot read standard input\n";
            return false;
        }
    } else {
        std::string error;
        if (!check_readable(path, error)) {
            std::cerr << who << error << '\n';
            return false;
        }
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::cerr << who << "cannot open '" << path << "'\n";
            return false;
        }
        std::ostringstream ss;
        ss << in.rdbuf();
        if (in.bad()) {
            std::cerr << who << "cannot read '" << path << "'\n";
            return false;
        }
        out = ss.str();
    }
    std::string why;
    if (!is_text(out, why)) {
        std::cerr << who << input_name(path) << " is not text (" << why << ")";
        // The commands that read sound do so with --audio.
        if (const char *kind = sound_kind(out);
            kind && (command == "subtone" || command == "pitchtally"))
            std::cerr << "; it looks like " << kind << " sound file: qz " << command << " --audio "
                      << path;
        std::cerr << '\n';
        out.clear();
        return false;
    }
    return true;
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
    std::string file = cls + qzhost::Host::plugin_extension();
    bool found = false;
    for (const std::string &dir : ctx.externals) {
        std::error_code ec;
        if (found)
            break;
        found = fs::is_regular_file(fs::path(dir) / file, ec);
        if (!found && fs::is_directory(fs::path(dir) / (cls + ".mxo"), ec)) {
            file = cls + ".mxo"; // a macOS bundle
            found = true;
        }
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

bool has_extension(const std::string &path, std::string_view ext)
{
    if (path.size() <= ext.size())
        return false;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    const std::string_view tail = std::string_view(path).substr(path.size() - ext.size());
    for (std::size_t i = 0; i < ext.size(); ++i)
        if (lower(tail[i]) != lower(ext[i]))
            return false;
    return true;
}

} // namespace qzcli
