#include "options.hpp"

#include "suggest.hpp"

#include "cli_common.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

namespace qzcli {

struct CommandLine::Parser {
    CLI::App app;
    explicit Parser(const std::string &name) : app("", name) {}
};

CommandLine::CommandLine(std::string command, std::string usage, std::string about,
                         std::string footer)
    : command_(std::move(command)), usage_(std::move(usage)), about_(std::move(about)),
      footer_(std::move(footer)), parser_(std::make_unique<Parser>("qz " + command_))
{
    CLI::App &app = parser_->app;
    // Words that are no option of the command are its operands; they are
    // sorted out after parsing, in their order.
    app.allow_extras();
    // Every value given is kept: parse() counts them, so that an option
    // given twice is refused rather than one of its values dropped.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.set_help_flag("-h,--help", "show this help");
    entries_.push_back({"-h, --help", "", "show this help"});
}

CommandLine::~CommandLine() = default;

void CommandLine::flag(const std::string &name, bool &out, const std::string &help)
{
    parser_->app.add_flag(name, out, help)->disable_flag_override();
    entries_.push_back({name, "", help});
    needs_.push_back({name, name + " takes no value"});
    once_.push_back(name);
}

void CommandLine::option(const std::string &name, const std::string &value_name,
                         const std::string &help, const std::string &needs, OptionReader read)
{
    parser_->app.add_option(name, help)->each(std::move(read));
    entries_.push_back({name, value_name, help});
    needs_.push_back({name, needs});
    once_.push_back(name);
}

void CommandLine::repeatable(const std::string &name)
{
    once_.erase(std::remove(once_.begin(), once_.end(), name), once_.end());
}

void CommandLine::option_long(const std::string &name, const std::string &value_name,
                              const std::string &help, long lo, long hi, long &out)
{
    const std::string needs =
        name + " needs an integer from " + std::to_string(lo) + " to " + std::to_string(hi);
    option(name, value_name, help, needs, [&out, lo, hi, needs](const std::string &v) {
        if (!parse_long(v, out) || out < lo || out > hi)
            throw OptionError{needs};
    });
}

void CommandLine::option_number(const std::string &name, const std::string &value_name,
                                const std::string &help, double lo, double hi, double &out)
{
    const std::string needs = name + " needs a number from " + qzhost::format_number(lo) + " to " +
                              qzhost::format_number(hi);
    option(name, value_name, help, needs, [&out, lo, hi, needs](const std::string &v) {
        if (!parse_double(v, out) || !std::isfinite(out) || out < lo || out > hi)
            throw OptionError{needs};
    });
}

void CommandLine::option_digits(int &out)
{
    const std::string needs = "--digits needs an integer from 0 to " + std::to_string(kMaxDigits);
    option("--digits", "N",
           "round printed values to N decimals (0 to " + std::to_string(kMaxDigits) +
               "); without it\nvalues are printed exactly",
           needs, [&out, needs](const std::string &v) {
               if (!parse_digits(v, out))
                   throw OptionError{needs};
           });
}

void CommandLine::section(const std::string &heading)
{
    entries_.push_back({"", "", heading, true});
}

void CommandLine::note(const std::string &text)
{
    entries_.push_back({"", "", text});
}

void CommandLine::stop_at_first_operand()
{
    parser_->app.prefix_command();
    stop_at_operand_ = true;
}

int CommandLine::usage_error(const std::string &message) const
{
    if (!command_.empty())
        return qzcli::usage_error(command_, message);
    std::cerr << "qz: " << message << "\nTry 'qz --help'.\n";
    return kUsage;
}

std::optional<int> CommandLine::parse(const std::vector<std::string> &args)
{
    CLI::App &app = parser_->app;
    // CLI11 takes the words last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp &) {
        std::cout << help();
        return kOk;
    } catch (const OptionError &e) {
        return usage_error(e.text);
    } catch (const CLI::ArgumentMismatch &e) {
        // A value is missing ("--mode: 1 required ... missing"), or a flag
        // was given one ("echo was given a disallowed flag override").
        const std::string what = e.what();
        for (const Needs &n : needs_) {
            const std::string bare = n.name.substr(n.name.find_first_not_of('-'));
            if (what.rfind(n.name + ":", 0) == 0 || what.rfind(bare + " ", 0) == 0)
                return usage_error(n.text);
        }
        return usage_error(what);
    } catch (const CLI::ParseError &e) {
        return usage_error(e.what());
    }
    for (const std::string &name : once_)
        if (app.get_option(name)->count() > 1)
            return usage_error(name + " given twice");
    operands_.clear();
    bool options_done = stop_at_operand_;
    for (const std::string &w : app.remaining()) {
        if (!options_done && w == "--") {
            options_done = true;
            continue;
        }
        double number = 0.0;
        if (!options_done && w.size() > 1 && w[0] == '-' && !parse_double(w, number))
            return usage_error("unknown option '" + w + "'" + did_you_mean(w, option_names()));
        operands_.push_back(w);
    }
    return std::nullopt;
}

std::vector<std::string> CommandLine::option_names() const
{
    std::vector<std::string> names{"--help"};
    for (const Entry &e : entries_) {
        std::string rest = e.names; // "-o, --out" or "--mode"
        for (std::size_t at; !rest.empty();
             rest = at == std::string::npos ? "" : rest.substr(at + 2)) {
            at = rest.find(", ");
            names.push_back(rest.substr(0, at));
        }
    }
    return names;
}

std::string CommandLine::help() const
{
    // The descriptions start in one column, past the longest option that
    // is not too long for it.
    constexpr std::size_t kMaxColumn = 21;
    std::size_t column = 0;
    auto label = [](const Entry &e) {
        return "  " + e.names + (e.value_name.empty() ? "" : " " + e.value_name);
    };
    for (const Entry &e : entries_)
        if (!e.names.empty() && label(e).size() + 2 <= kMaxColumn)
            column = std::max(column, label(e).size() + 2);
    std::ostringstream out;
    out << usage_ << "\n\n";
    if (!about_.empty())
        out << about_ << "\n\n";
    out << "options:\n";
    bool after_prose = false;
    for (const Entry &e : entries_) {
        if (e.heading) {
            out << '\n' << e.help << ":\n";
            after_prose = false;
            continue;
        }
        if (e.names.empty()) {
            out << (after_prose ? "" : "\n") << e.help << '\n';
            after_prose = true;
            continue;
        }
        if (after_prose)
            out << '\n';
        after_prose = false;
        std::string head = label(e);
        head += head.size() + 2 <= column ? std::string(column - head.size(), ' ') : "  ";
        std::istringstream lines(e.help);
        std::string line;
        bool first = true;
        while (std::getline(lines, line)) {
            out << (first ? head : std::string(column, ' ')) << line << '\n';
            first = false;
        }
    }
    if (!footer_.empty())
        out << '\n' << footer_ << '\n';
    return out.str();
}

} // namespace qzcli
