// Pieces every qz subcommand shares: where the plug-ins are, how the host
// is set up for a command, and how usage errors are reported.
#ifndef QZ_CLI_COMMON_HPP
#define QZ_CLI_COMMON_HPP

#include "qzhost.hpp"
#include "values.hpp"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace qzcli {

// Exit codes: 0 success, 1 the run went wrong (input error, plug-in failure),
// 2 the command line was wrong.
enum ExitCode { kOk = 0, kFailure = 1, kUsage = 2 };

struct Context {
    std::string program;                // argv[0]
    std::vector<std::string> externals; // plug-in search path, in order
};

// Adds the context's search path to the host and prints every console error
// to stderr as "CLASS: TEXT"; posts (banners, credits) are printed only with
// `posts` set.
void setup_host(qzhost::Host &host, const Context &ctx, bool posts = false);

// Prints "qz SUBCOMMAND: MESSAGE" and a hint to stderr; returns kUsage.
int usage_error(const std::string &subcommand, const std::string &message);

// Whether `path` names a file that can be opened for reading (a sound
// file, a text file, a device). false with `error` set when not:
// "cannot open 'F': no such file", ": it is a directory", ": permission
// denied".
bool check_readable(const std::string &path, std::string &error);

// Reads a whole text input of `command` ("-": standard input) into `out`.
// false with "qz COMMAND: ..." on stderr naming the input when it is a
// directory, cannot be opened or read, or is not text (see is_text).
bool read_text_input(const std::string &command, const std::string &path, std::string &out);

// Whether `text` starts as text: no NUL byte and valid UTF-8 in its first
// kTextSniffBytes bytes (a character cut off at that limit is allowed).
// false with `why` set ("a NUL byte at byte 5").
bool is_text(std::string_view text, std::string &why);
inline constexpr std::size_t kTextSniffBytes = 4096;

// When standard input is a terminal, says on stderr that `command` reads
// `what` from it and how to end it: a user who typed no file is not left
// waiting without a word.
void hint_terminal_input(const std::string &command, const std::string &what);

// An input's name in messages: 'PATH', or standard input for "-".
std::string input_name(const std::string &path);

// Whether `path` ends in `ext` (".svg"), letters compared without case, and
// has a name before it.
bool has_extension(const std::string &path, std::string_view ext);

// Most decimals --digits asks for: 17 give every double exactly.
inline constexpr int kMaxDigits = 17;

// Parses the --digits option's value: an integer from 0 to kMaxDigits.
bool parse_digits(const std::string &word, int &out);

// Loads the plug-in that defines `cls` from the context's folders. When it
// cannot, says on stderr which folders were searched and that --externals
// names another.
bool load_plugin(qzhost::Host &host, const Context &ctx, const std::string &cls);

// Parses a whole word as a number; false when it is not one.
bool parse_double(const std::string &word, double &out);
bool parse_long(const std::string &word, long &out);
// The same for a 64-bit integer, whatever the width of `long`.
bool parse_int64(const std::string &word, long long &out);

} // namespace qzcli

#endif // QZ_CLI_COMMON_HPP
