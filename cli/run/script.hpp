// The `qz run` script language: boxes, connections, messages, attributes
// and time, one command a line. See script_help() for the format.
#ifndef QZ_CLI_SCRIPT_HPP
#define QZ_CLI_SCRIPT_HPP

#include "boxes.hpp"
#include "qzhost.hpp"

#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qzcli {

extern const char *const kScriptUsage;
std::string script_help();

// Bounds of one `run`: how far past the current time it fires clocks when
// no horizon is given, and how many it fires at most.
constexpr double kRunHorizonMs = 3600000.0;
constexpr long kRunFiringLimit = 100000;

class ScriptRunner {
  public:
    // Prints outlet values, console lines (posts only with `posts`) and
    // answers to `out`, script errors ("SOURCE:LINE: message") to `err`.
    ScriptRunner(qzhost::Host &host, std::ostream &out, std::ostream &err, std::string source,
                 bool posts);

    // The folders the host searches for plug-ins: a box whose class is in
    // none of them gets an error that names them.
    void set_search_folders(std::vector<std::string> folders) { folders_ = std::move(folders); }

    // How many clocks one run, advance or at fires at most (kRunFiringLimit).
    void set_firing_limit(long limit) { firing_limit_ = limit; }

    // Runs one line; false when the line is in error (reported on `err`).
    bool run_line(std::string_view line, int number);
    // Runs every line of a script; returns the number of lines in error.
    int run(std::string_view text);

  private:
    bool fail(int number, const std::string &message);
    qzhost::BoxId lookup(const std::string &name, int number);
    std::string time_text() const;
    std::string not_found(const std::string &cls) const;

    bool cmd_box(const std::vector<std::string> &w, std::string_view rest, int number);
    bool cmd_connect(const std::vector<std::string> &w, int number);
    bool cmd_send(const std::vector<std::string> &w, std::string_view rest, int number);
    bool cmd_set(const std::vector<std::string> &w, std::string_view rest, int number);
    bool cmd_get(const std::vector<std::string> &w, int number);
    bool cmd_assist(const std::vector<std::string> &w, int number);
    bool cmd_time(const std::vector<std::string> &w, int number);
    bool cmd_free(const std::vector<std::string> &w, int number);
    bool run_clocks(double until, int number);
    void note_armed(const std::string &cmd, const std::string &why, int number);

    qzhost::Host &host_;
    std::ostream &out_;
    std::ostream &err_;
    std::string source_;
    BoxNames names_;
    std::vector<std::string> folders_;
    long firing_limit_ = kRunFiringLimit;
};

} // namespace qzcli

#endif // QZ_CLI_SCRIPT_HPP
