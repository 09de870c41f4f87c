// Runs the built qz as a user does, through a POSIX shell, and keeps its
// exit status and both outputs. Shared by the suites that test qz commands
// end to end.
#ifndef QZ_TESTS_QZ_RUN_HPP
#define QZ_TESTS_QZ_RUN_HPP

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace qztest {

struct QzRun {
    int status = -1;
    std::string out, err;
};

inline std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs `qz --externals <the built plug-ins> ARGS` (ARGS as shell words) with
// `input` on standard input.
inline QzRun run_qz(const std::string &args, const std::string &input = "")
{
    const std::string base = ::testing::TempDir() + "qz_run_" + std::to_string(::getpid());
    const std::string in = base + ".in", out = base + ".out", err = base + ".err";
    std::ofstream(in, std::ios::binary) << input;
    const std::string cmd = std::string("'") + QZ_BIN_DIR + "/qz' --externals '" +
                            QZ_EXTERNALS_DIR + "' " + args + " < '" + in + "' > '" + out +
                            "' 2> '" + err + "'";
    const int raw = std::system(cmd.c_str());
    QzRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    std::remove(in.c_str());
    std::remove(out.c_str());
    std::remove(err.c_str());
    return r;
}

} // namespace qztest

#endif // QZ_TESTS_QZ_RUN_HPP
