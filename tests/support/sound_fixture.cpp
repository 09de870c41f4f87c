#include "sound_fixture.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace qztest {

const std::string &scratch()
{
    // Made on first use, removed with everything in it when the process ends.
    struct Folder {
        std::string path;
        Folder() : path(::testing::TempDir() + "qz_sound_" + std::to_string(getpid()) + "/")
        {
            std::filesystem::create_directories(path);
        }
        ~Folder()
        {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
        Folder(const Folder &) = delete;
        Folder &operator=(const Folder &) = delete;
    };
    static const Folder folder;
    return folder.path;
}

QzRun shell(const std::string &command)
{
    const std::string out = scratch() + "stdout", err = scratch() + "stderr";
    const int rc = std::system((command + " > '" + out + "' 2> '" + err + "'").c_str());
    QzRun r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

QzRun qz(const std::string &args)
{
    // Under the sanitizers, fontconfig's lifetime caches are not our leaks.
    return shell(std::string("LSAN_OPTIONS=suppressions='") + QZ_TESTS_SOURCE_DIR +
                 "/audio/lsan.supp' '" + QZ_BIN_DIR + "/qz' --externals '" + QZ_EXTERNALS_DIR +
                 "' " + args);
}

std::string sox(const std::string &name, const std::string &args)
{
    const std::string path = scratch() + name;
    std::string cmd = args;
    const std::size_t at = cmd.find("OUT");
    if (at != std::string::npos)
        cmd.replace(at, 3, "'" + path + "'");
    const QzRun r = shell(std::string("'") + QZ_SOX + "' " + cmd);
    EXPECT_EQ(r.status, 0) << "sox " << cmd << "\n" << r.err;
    return path;
}

std::string write_file(const std::string &name, const std::string &content)
{
    const std::string path = scratch() + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::vector<std::vector<double>> rows(const std::string &text)
{
    std::vector<std::vector<double>> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<double> row;
        std::string w;
        while (words >> w) {
            char *end = nullptr;
            const double v = std::strtod(w.c_str(), &end);
            if (end != w.c_str() + w.size()) {
                row.clear();
                break;
            }
            row.push_back(v);
        }
        out.push_back(row);
    }
    return out;
}

double midi(double f)
{
    return 69.0 + 12.0 * std::log2(f / 440.0);
}

double hz(double m)
{
    return 440.0 * std::exp2((m - 69.0) / 12.0);
}

} // namespace qztest
