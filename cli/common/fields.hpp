// The text input of qz subtone and qz pitchtally: lines of fields separated
// by blanks or commas, with '#' comments, and where each field stands.
#ifndef QZ_CLI_FIELDS_HPP
#define QZ_CLI_FIELDS_HPP

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qzcli {

struct Field {
    std::string text;
    std::size_t column; // counted in characters from 1
};

// The line without its comment: from the first '#' that starts a field
// (at the start of the line or after a blank or a comma). A '#' inside a
// field is a sharp: "C#4".
std::string_view strip_comment(std::string_view line);

// Splits a line into fields separated by blanks (space, tab, CR) or by one
// comma with blanks around it allowed. false when a comma stands where a
// field should be (",60", "0,,60", "60,"); `bad_column` is then its column.
bool split_fields(std::string_view line, std::vector<Field> &fields, std::size_t &bad_column);

} // namespace qzcli

#endif // QZ_CLI_FIELDS_HPP
