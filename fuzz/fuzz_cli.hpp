// Shared parts of the fuzz programs of the qz tool's text front ends: a
// fresh embedded host per input with the plug-ins of this build, and checks
// on the lines the tool prints.
#ifndef QZ_FUZZ_FUZZ_CLI_HPP
#define QZ_FUZZ_FUZZ_CLI_HPP

#include "fuzz_host.hpp"
#include "qzhost.hpp"

#include <cstdint>
#include <dlfcn.h>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace qzfuzz {

// Each input gets a host of its own, which unloads the plug-ins when it
// goes. Their coverage counters must stay mapped for libFuzzer, so the
// process holds one more reference to each plug-in that is never dropped.
inline void keep_plugins_loaded()
{
    static const bool done = [] {
        for (const char *cls : {"qz.subtone", "qz.pitchtally"}) {
            const std::string path =
                std::string(QZ_EXTERNALS_DIR) + "/" + cls + qzhost::Host::plugin_extension();
            if (!dlopen(path.c_str(), RTLD_NOW | RTLD_NODELETE))
                fail("cannot load %s: %s", path.c_str(), dlerror());
        }
        return true;
    }();
    (void)done;
}

// A host that finds the plug-ins of this build and prints its console
// errors to `err` as the tool does ("CLASS: TEXT").
inline void cli_host(qzhost::Host &h, std::ostream &err)
{
    keep_plugins_loaded();
    h.add_search_path(QZ_EXTERNALS_DIR);
    h.set_recording(false);
    h.on_console([&err](const qzhost::ConsoleLine &l) {
        if (!l.error)
            return;
        if (!l.cls.empty())
            err << l.cls << ": ";
        err << l.text << '\n';
    });
}

// The lines of a text that must end with a newline (or be empty).
inline std::vector<std::string_view> lines_of(std::string_view text, const char *what)
{
    std::vector<std::string_view> lines;
    if (!text.empty() && text.back() != '\n')
        fail("%s does not end with a newline", what);
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t nl = text.find('\n', pos);
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return lines;
}

inline bool starts_with(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// Up to `lines` lines of the text that hold more than blanks and comments:
// each may send qz.subtone a list that takes the whole work budget (seconds
// under the sanitizers), so inputs with more are skipped.
inline bool few_busy_lines(std::string_view text, int lines)
{
    int busy = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = text.size();
        for (size_t i = pos; i < nl; ++i) {
            const char c = text[i];
            if (c == '#')
                break;
            if (c != ' ' && c != '\t' && c != '\r') {
                if (++busy > lines)
                    return false;
                break;
            }
        }
        pos = nl + 1;
    }
    return true;
}

} // namespace qzfuzz

#endif // QZ_FUZZ_FUZZ_CLI_HPP
