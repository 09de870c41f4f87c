// The command-line grammar every qz command shares, on CLI11: "--opt value"
// and "--opt=value", "--" ends the options, -h/--help prints the command's
// help, an unknown option or a bad value is a usage error (exit status 2)
// reported as "qz CMD: ..." with a hint. A command declares its options here
// once; the parser and the help are both made from those declarations.
// An option is given at most once ("--digits 2 --digits 3" is a usage
// error: "qz CMD: --digits given twice") unless it is declared repeatable.
#ifndef QZ_CLI_OPTIONS_HPP
#define QZ_CLI_OPTIONS_HPP

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qzcli {

// Thrown by an option's reader when its value is wrong: the text is the
// usage error printed ("--digits needs an integer from 0 to 17").
struct OptionError {
    std::string text;
};

// Reads one option value; throws OptionError when it is wrong.
using OptionReader = std::function<void(const std::string &value)>;

class CommandLine {
  public:
    // `command` is the word after qz ("subtone"); `usage` and `about` open
    // the help, `footer` closes it.
    CommandLine(std::string command, std::string usage, std::string about, std::string footer = "");
    ~CommandLine();
    CommandLine(const CommandLine &) = delete;
    CommandLine &operator=(const CommandLine &) = delete;

    // An option without a value ("--echo"); `--echo=1` is a usage error.
    void flag(const std::string &name, bool &out, const std::string &help);
    // An option with a value: `read` gets the value given; `needs` is the
    // error when the value is missing.
    void option(const std::string &name, const std::string &value_name, const std::string &help,
                const std::string &needs, OptionReader read);
    // Common kinds of value, with their error texts.
    void option_long(const std::string &name, const std::string &value_name,
                     const std::string &help, long lo, long hi, long &out);
    void option_number(const std::string &name, const std::string &value_name,
                       const std::string &help, double lo, double hi, double &out);
    void option_digits(int &out); // --digits N, 0 to kMaxDigits
    // Lets the option `name`, declared before, be given more than once:
    // `read` then gets every value, in order.
    void repeatable(const std::string &name);
    // A heading and prose in the help, between the options.
    void section(const std::string &heading);
    void note(const std::string &text);

    // The top-level command stops at its first operand (the command word).
    void stop_at_first_operand();

    // Parses `args` (the words after the command). Returns an exit status
    // when the command is done (help printed: 0; usage error printed: 2),
    // nothing when it goes on with operands().
    std::optional<int> parse(const std::vector<std::string> &args);

    // The words that are not options, in order. A word before "--" that
    // starts with '-' is an option unless it is a number ("-3", "-inf").
    const std::vector<std::string> &operands() const { return operands_; }
    std::string help() const;
    // Prints "qz CMD: MESSAGE" and the hint to stderr; returns the usage
    // exit status.
    int usage_error(const std::string &message) const;
    const std::string &command() const { return command_; }

  private:
    // Every option's name ("--mode", "-o", "--out"), for suggestions.
    std::vector<std::string> option_names() const;
    struct Entry {
        std::string names, value_name, help; // an option; help alone: prose
        bool heading = false;
    };
    struct Needs {
        std::string name, text;
    };
    struct Parser;
    std::string command_, usage_, about_, footer_;
    std::vector<Entry> entries_;
    std::vector<Needs> needs_;
    std::vector<std::string> once_; // options that may be given only once
    std::vector<std::string> operands_;
    bool stop_at_operand_ = false;
    std::unique_ptr<Parser> parser_;
};

} // namespace qzcli

#endif // QZ_CLI_OPTIONS_HPP
