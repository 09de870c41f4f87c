// Shared set-up of the host tests: a Host with the test plug-ins on its
// search path, helpers to read the console, and the atoms of atoms.hpp.
#ifndef QZ_TESTS_HOST_FIXTURE_HPP
#define QZ_TESTS_HOST_FIXTURE_HPP

#include "atoms.hpp"
#include "bits.hpp"
#include "console.hpp"
#include "qzhost.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qzt {

using ::bits;
using ::hex;

class HostTest : public ::testing::Test {
  protected:
    qzhost::Host host;

    void SetUp() override
    {
        host.add_search_path(QZ_HOST_TEST_PLUGINS);
        ASSERT_TRUE(host.load("qzt.probe"));
        host.clear_logs();
    }

    // Texts of the console lines of one box (all lines with box = -2).
    std::vector<std::string> texts(qzhost::BoxId box = kAnyBox) const
    {
        return console_texts(host, box);
    }

    std::vector<std::string> errors() const { return console_errors(host); }

    qzhost::BoxId make(const char *text)
    {
        qzhost::BoxId b = host.create(text);
        EXPECT_GE(b, 0) << text;
        return b;
    }
};

} // namespace qzt

#endif // QZ_TESTS_HOST_FIXTURE_HPP
