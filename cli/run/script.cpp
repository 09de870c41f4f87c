#include "script.hpp"

#include "cli_common.hpp"

#include <cctype>
#include <cmath>
#include <filesystem>
#include <sstream>

namespace qzcli {

const char *const kScriptUsage = "usage: qz run [--no-posts] SCRIPT|-";

std::string script_help()
{
    const std::string limit = std::to_string(kRunFiringLimit);
    return "Runs a script in the embedded host: one command a line, '#' starts a\n"
           "comment, blank lines are ignored.\n"
           "\n"
           "  box NAME CLASS [ARGS...]      make a box from text, as in a patch:\n"
           "                                  box st qz.subtone 0.5 @mode 1\n"
           "  connect FROM OUTLET TO INLET  connect outlet OUTLET of box FROM to inlet\n"
           "                                  INLET of box TO (indexes from 0, left)\n"
           "  send NAME[:INLET] MESSAGE     send a message as a message box would:\n"
           "                                  one number (int or float), a list of\n"
           "                                  numbers, or a selector with arguments\n"
           "                                  (send st 60 64 67; send pt:1 0.5;\n"
           "                                  send pt stop)\n"
           "  set NAME ATTR [VALUE...]      set an attribute through its setter\n"
           "  get NAME ATTR                 print the attribute's value\n"
           "  assist NAME inlet|outlet N    print an assistance text\n"
           "  advance MS                    advance logical time by MS milliseconds,\n"
           "                                  firing the clocks that fall due (at most\n"
           "                                  " +
           limit +
           ", as for run)\n"
           "  at T                          advance logical time to T milliseconds\n"
           "  run [UNTIL_MS]                fire clocks until none is armed, but none\n"
           "                                  due after logical time UNTIL_MS (default:\n"
           "                                  one hour after the current time) and at\n"
           "                                  most " +
           limit +
           " per run; if clocks are still\n"
           "                                  armed then (a patch that feeds itself\n"
           "                                  runs for ever), a line on stderr says how\n"
           "                                  many, and the script goes on\n"
           "  free NAME                     delete a box\n"
           "  echo TEXT                     print TEXT\n"
           "\n"
           "Words are atoms as the host parses them: an integer, a float (also inf,\n"
           "-inf, nan) or a symbol.\n"
           "\n"
           "Output, one line each, in the order things happen (TIME is the logical\n"
           "time in milliseconds, numbers in the shortest text that reads back as\n"
           "the same double):\n"
           "  TIME NAME OUTLET VALUE        a value left an outlet of box NAME\n"
           "  TIME NAME post TEXT           a console line of box NAME ('-': no box)\n"
           "  TIME NAME error TEXT          a console error; TEXT starts with the class\n"
           "  TIME NAME @ATTR VALUE...      answer to get\n"
           "  TIME NAME inlet|outlet N TEXT answer to assist\n"
           "\n"
           "A line in error is reported on stderr as SCRIPT:LINE: message and the\n"
           "run goes on; the exit status is then 1.";
}

namespace {

struct Word {
    std::string text;
    size_t end; // offset just past the word in the line
};

std::vector<Word> split(std::string_view line)
{
    std::vector<Word> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        const size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        if (i > start)
            words.push_back({std::string(line.substr(start, i - start)), i});
    }
    return words;
}

// The rest of the line after its first n words; empty when the line has
// no more than n words (the command then reports its own usage error).
std::string_view after(std::string_view line, const std::vector<Word> &words, size_t n)
{
    if (n == 0)
        return line;
    if (n > words.size())
        return {};
    const size_t pos = words[n - 1].end;
    return pos < line.size() ? line.substr(pos) : std::string_view();
}

bool parse_index(const std::string &word, long &out)
{
    return parse_long(word, out) && out >= 0 && out < 1000;
}

} // namespace

ScriptRunner::ScriptRunner(qzhost::Host &host, std::ostream &out, std::ostream &err,
                           std::string source, bool posts)
    : host_(host), out_(out), err_(err), source_(std::move(source)), names_(host)
{
    host_.on_outlet([this](const qzhost::OutletEvent &e) { names_.write_outlet(out_, e); });
    host_.on_console([this, posts](const qzhost::ConsoleLine &line) {
        if (line.error || posts)
            names_.write_console(out_, line);
    });
}

std::string ScriptRunner::time_text() const
{
    return qzhost::format_number(host_.now());
}

bool ScriptRunner::fail(int number, const std::string &message)
{
    err_ << source_ << ':' << number << ": " << message << '\n';
    return false;
}

qzhost::BoxId ScriptRunner::lookup(const std::string &name, int number)
{
    const qzhost::BoxId box = names_.find(name);
    if (box < 0)
        fail(number, "no box named '" + name + "'");
    return box;
}

bool ScriptRunner::cmd_box(const std::vector<std::string> &w, std::string_view rest, int number)
{
    if (w.size() < 3)
        return fail(number, "box needs a name and a class: box NAME CLASS [ARGS...]");
    const std::string &name = w[1];
    double unused = 0;
    if (name == "-" || name[0] == '#' || parse_double(name, unused))
        return fail(number, "a box name must not be a number, '-' or start with '#'");
    if (names_.find(name) >= 0)
        return fail(number, "a box named '" + name + "' exists already");
    const qzhost::BoxId box = host_.create(rest);
    if (box < 0)
        return fail(number, "could not create box '" + name + "' (" + w[2] + ")" + not_found(w[2]));
    names_.bind(name, box);
    return true;
}

std::string ScriptRunner::not_found(const std::string &cls) const
{
    if (folders_.empty())
        return {};
    const std::string file = cls + qzhost::Host::plugin_extension();
    for (const std::string &dir : folders_) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(std::filesystem::path(dir) / file, ec))
            return {}; // there, but it did not make the box: the console says why
    }
    std::string text = ": no " + file + " in";
    for (size_t i = 0; i < folders_.size(); ++i)
        text += (i == 0 ? " " : ", ") + folders_[i];
    return text + " (--externals DIR names another folder)";
}

bool ScriptRunner::cmd_connect(const std::vector<std::string> &w, int number)
{
    long outlet = 0;
    long inlet = 0;
    if (w.size() != 5 || !parse_index(w[2], outlet) || !parse_index(w[4], inlet))
        return fail(number, "usage: connect FROM OUTLET TO INLET");
    const qzhost::BoxId from = lookup(w[1], number);
    const qzhost::BoxId to = lookup(w[3], number);
    if (from < 0 || to < 0)
        return false;
    if (!host_.connect(from, static_cast<int>(outlet), to, static_cast<int>(inlet)))
        return fail(number, "cannot connect outlet " + w[2] + " of '" + w[1] + "' to inlet " +
                                w[4] + " of '" + w[3] + "'");
    return true;
}

bool ScriptRunner::cmd_send(const std::vector<std::string> &w, std::string_view rest, int number)
{
    if (w.size() < 3)
        return fail(number, "usage: send NAME[:INLET] MESSAGE");
    std::string name = w[1];
    long inlet = 0;
    const size_t colon = name.rfind(':');
    if (colon != std::string::npos) {
        if (!parse_index(name.substr(colon + 1), inlet))
            return fail(number, "bad inlet in '" + name + "'");
        name.resize(colon);
    }
    const qzhost::BoxId box = lookup(name, number);
    if (box < 0)
        return false;
    if (inlet >= host_.inlet_count(box))
        return fail(number, "box '" + name + "' has no inlet " + std::to_string(inlet));
    // An error the object or host reports (e.g. a message it does not
    // understand) is its console output, not a script error.
    host_.send_text(box, static_cast<int>(inlet), rest);
    return true;
}

bool ScriptRunner::cmd_set(const std::vector<std::string> &w, std::string_view rest, int number)
{
    if (w.size() < 3)
        return fail(number, "usage: set NAME ATTR [VALUE...]");
    const qzhost::BoxId box = lookup(w[1], number);
    if (box < 0)
        return false;
    if (!host_.attr_set(box, w[2], host_.parse_atoms(rest)))
        return fail(number, "box '" + w[1] + "' has no attribute '" + w[2] + "'");
    return true;
}

bool ScriptRunner::cmd_get(const std::vector<std::string> &w, int number)
{
    if (w.size() != 3)
        return fail(number, "usage: get NAME ATTR");
    const qzhost::BoxId box = lookup(w[1], number);
    if (box < 0)
        return false;
    std::vector<t_atom> value;
    if (!host_.attr_get(box, w[2], value))
        return fail(number, "box '" + w[1] + "' has no attribute '" + w[2] + "'");
    out_ << time_text() << ' ' << w[1] << " @" << w[2];
    for (const t_atom &a : value)
        out_ << ' ' << qzhost::format_atom(a);
    out_ << '\n';
    return true;
}

bool ScriptRunner::cmd_assist(const std::vector<std::string> &w, int number)
{
    long index = 0;
    if (w.size() != 4 || (w[2] != "inlet" && w[2] != "outlet") || !parse_long(w[3], index))
        return fail(number, "usage: assist NAME inlet|outlet N");
    const qzhost::BoxId box = lookup(w[1], number);
    if (box < 0)
        return false;
    bool written = false;
    const std::string text =
        host_.assist(box, w[2] == "inlet" ? ASSIST_INLET : ASSIST_OUTLET, index, &written);
    out_ << time_text() << ' ' << w[1] << ' ' << w[2] << ' ' << index << ' '
         << (written ? text : "(none)") << '\n';
    return true;
}

bool ScriptRunner::cmd_time(const std::vector<std::string> &w, int number)
{
    double t = 0;
    if (w[0] == "run") {
        t = host_.now() + kRunHorizonMs;
        if (w.size() > 2 || (w.size() == 2 && (!parse_double(w[1], t) || !std::isfinite(t))))
            return fail(number, "usage: run [UNTIL_MS]");
        if (t < host_.now())
            return fail(number, "time cannot go back (now " + time_text() + ")");
        return run_clocks(t, number);
    }
    if (w.size() != 2 || !parse_double(w[1], t) || !std::isfinite(t))
        return fail(number, "usage: " + w[0] + (w[0] == "at" ? " T" : " MS"));
    if (w[0] == "advance") {
        if (t < 0)
            return fail(number, "time cannot go back");
        t += host_.now();
    } else if (t < host_.now()) {
        return fail(number, "time cannot go back (now " + time_text() + ")");
    }
    // The same firing limit as `run`: a patch that feeds itself would
    // otherwise fire without end before a distant time is reached.
    if (host_.fire_until(t, firing_limit_) < firing_limit_)
        host_.advance_to(t); // nothing is due before t any more: only the time moves
    else
        note_armed(w[0], "after " + std::to_string(firing_limit_) + " firings", number);
    return true;
}

void ScriptRunner::note_armed(const std::string &cmd, const std::string &why, int number)
{
    // Not an error: a patch may legitimately run for ever in logical time.
    const size_t armed = host_.pending_clocks();
    err_ << source_ << ':' << number << ": " << cmd << " stopped " << why << " (" << time_text()
         << " ms): " << armed << (armed == 1 ? " clock" : " clocks") << " still armed\n";
}

bool ScriptRunner::run_clocks(double until, int number)
{
    const long fired = host_.fire_until(until, firing_limit_);
    if (host_.pending_clocks() == 0)
        return true;
    if (fired < firing_limit_) {
        host_.advance_to(until); // nothing is due before it: only the time moves
        note_armed("run", "at the horizon", number);
    } else {
        note_armed("run", "after " + std::to_string(firing_limit_) + " firings", number);
    }
    return true;
}

bool ScriptRunner::cmd_free(const std::vector<std::string> &w, int number)
{
    if (w.size() != 2)
        return fail(number, "usage: free NAME");
    const qzhost::BoxId box = lookup(w[1], number);
    if (box < 0)
        return false;
    host_.free_box(box);
    names_.forget(w[1]);
    return true;
}

bool ScriptRunner::run_line(std::string_view raw, int number)
{
    std::string_view line = raw.substr(0, raw.find('#'));
    const std::vector<Word> words = split(line);
    if (words.empty())
        return true;
    std::vector<std::string> w;
    w.reserve(words.size());
    for (const Word &word : words)
        w.push_back(word.text);
    const std::string &cmd = w[0];
    if (cmd == "box")
        return cmd_box(w, after(line, words, 2), number);
    if (cmd == "connect")
        return cmd_connect(w, number);
    if (cmd == "send")
        return cmd_send(w, after(line, words, 2), number);
    if (cmd == "set")
        return cmd_set(w, after(line, words, 3), number);
    if (cmd == "get")
        return cmd_get(w, number);
    if (cmd == "assist")
        return cmd_assist(w, number);
    if (cmd == "advance" || cmd == "at" || cmd == "run")
        return cmd_time(w, number);
    if (cmd == "free")
        return cmd_free(w, number);
    if (cmd == "echo") {
        std::string_view text = after(line, words, 1);
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
            text.remove_prefix(1);
        out_ << text << '\n';
        return true;
    }
    return fail(number, "unknown command '" + cmd + "'");
}

int ScriptRunner::run(std::string_view text)
{
    int errors = 0;
    int number = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        ++number;
        if (!run_line(line, number))
            ++errors;
        pos = end + 1;
    }
    return errors;
}

} // namespace qzcli
