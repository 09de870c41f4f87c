// The folder the object suites load the plug-ins from: the build's own, or
// the one QZ_TEST_EXTERNALS names. make test-macos runs the same suites with
// it set to the macOS bundles (build/macos), whose x86_64 slices the
// embedded host's Mach-O loader then maps instead of the native modules.
#ifndef QZ_TESTS_SUPPORT_EXTERNALS_HPP
#define QZ_TESTS_SUPPORT_EXTERNALS_HPP

#include <cstdlib>
#include <string>

inline std::string test_externals()
{
    const char *dir = std::getenv("QZ_TEST_EXTERNALS");
    return dir && *dir ? std::string(dir) : std::string(QZ_EXTERNALS_DIR);
}

#endif // QZ_TESTS_SUPPORT_EXTERNALS_HPP
