// Printed values, shared by the tool and the JavaScript build's note names.
#ifndef QZ_CLI_VALUES_HPP
#define QZ_CLI_VALUES_HPP

#include <string>

namespace qzcli {

// A printed value: the shortest text that reads back as the same double
// (digits < 0), or rounded to `digits` decimals for reading, trailing zeros
// dropped ("0.67", "110.05", "36"). Values of 1e15 and more, and those that
// are not finite, always get the shortest text.
std::string format_value(double v, int digits);

} // namespace qzcli

#endif // QZ_CLI_VALUES_HPP
