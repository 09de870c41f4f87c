#include "fields.hpp"

namespace qzcli {

namespace {

bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

} // namespace

std::string_view strip_comment(std::string_view line)
{
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || blank(line[i - 1]) || line[i - 1] == ','))
            return line.substr(0, i);
    return line;
}

bool split_fields(std::string_view line, std::vector<Field> &fields, std::size_t &bad_column)
{
    fields.clear();
    std::size_t i = 0;
    const std::size_t n = line.size();
    // Columns are counted on from the last one asked for: a line of many
    // fields is read in linear time.
    std::size_t counted = 0, column = 1;
    auto column_at = [&](std::size_t offset) {
        for (; counted < offset; ++counted)
            if ((static_cast<unsigned char>(line[counted]) & 0xC0) != 0x80)
                ++column;
        return column;
    };
    while (i < n && blank(line[i]))
        ++i;
    if (i == n)
        return true;
    for (;;) {
        const std::size_t start = i;
        while (i < n && !blank(line[i]) && line[i] != ',')
            ++i;
        if (i == start) { // a comma where a field should be
            bad_column = column_at(i);
            return false;
        }
        fields.push_back({std::string(line.substr(start, i - start)), column_at(start)});
        while (i < n && blank(line[i]))
            ++i;
        if (i == n)
            return true;
        if (line[i] == ',') {
            const std::size_t comma = i;
            ++i;
            while (i < n && blank(line[i]))
                ++i;
            if (i == n) { // a trailing comma
                bad_column = column_at(comma);
                return false;
            }
        }
    }
}

} // namespace qzcli
