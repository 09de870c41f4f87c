// Every example in README.md and in the pages of docs/ that runs the tool is
// run and compared with the output the page shows beneath it.
//
// The format: inside a ``` block, a line "$ build/bin/qz ARGS..." is one
// example; the lines after it, up to the next line starting with "$ " or
// the end of the block, are what it prints (standard output and standard
// error together). The command runs through /bin/sh from the repository
// root with empty standard input, so ARGS may quote words and name files
// of the repository. Lines starting with "$ " that run anything else
// (another program, a pipe into qz) are not run, nor is anything outside
// the ``` blocks.
#include "maxapi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Example {
    int line; // in its page
    std::string args;
    std::string expected;
};

std::vector<Example> page_examples(const std::string &path)
{
    std::ifstream in(path);
    std::vector<Example> examples;
    std::string line;
    bool block = false;
    Example *open = nullptr;
    const std::string prompt = "$ build/bin/qz";
    for (int n = 1; std::getline(in, line); ++n) {
        if (line.rfind("```", 0) == 0) {
            block = !block;
            open = nullptr;
            continue;
        }
        if (!block)
            continue;
        if (line.rfind("$ ", 0) == 0) {
            open = nullptr;
            if (line.rfind(prompt, 0) == 0 &&
                (line.size() == prompt.size() || line[prompt.size()] == ' ')) {
                examples.push_back({n, line.substr(prompt.size()), ""});
                open = &examples.back();
            }
            continue;
        }
        if (open)
            open->expected += line + "\n";
    }
    return examples;
}

std::string run(const std::string &args)
{
    const std::string out = ::testing::TempDir() + "qz_readme_" + std::to_string(getpid());
    const std::string cmd = std::string("cd '") + QZ_TESTS_SOURCE_DIR + "/..' && '" + QZ_BIN_DIR +
                            "/qz'" + args + " </dev/null >'" + out + "' 2>&1";
    std::system(cmd.c_str());
    std::ifstream in(out);
    std::ostringstream ss;
    ss << in.rdbuf();
    std::remove(out.c_str());
    return ss.str();
}

// README.md, then docs/*.md in name order, as paths from the repository root.
std::vector<std::string> pages()
{
    namespace fs = std::filesystem;
    const fs::path root = fs::path(QZ_TESTS_SOURCE_DIR) / "..";
    std::vector<std::string> docs;
    for (const auto &entry : fs::directory_iterator(root / "docs"))
        if (entry.is_regular_file() && entry.path().extension() == ".md")
            docs.push_back("docs/" + entry.path().filename().string());
    std::sort(docs.begin(), docs.end());
    docs.insert(docs.begin(), "README.md");
    return docs;
}

TEST(ReadmeExamples, PrintWhatThePagesShow)
{
    // The pages show the 64-bit host's output. In a 32-bit build a typed
    // float is a single (docs/embedded-host.md says so), so a script's typed
    // amplitude of 0.8 prints as 0.800000011920929 there.
    if (sizeof(t_atom_float) != sizeof(double))
        GTEST_SKIP() << "the pages' outputs are those of 64-bit atoms";
    size_t readme = 0, total = 0;
    for (const std::string &page : pages()) {
        const std::vector<Example> examples =
            page_examples(std::string(QZ_TESTS_SOURCE_DIR) + "/../" + page);
        if (page == "README.md")
            readme = examples.size();
        total += examples.size();
        for (const Example &e : examples) {
#ifndef QZ_TEST_HAVE_SCORE
            if (e.args.find(" --score") != std::string::npos)
                continue; // this qz has no score support
#endif
            EXPECT_FALSE(e.expected.empty())
                << page << ":" << e.line << ": an example without output";
            EXPECT_EQ(run(e.args), e.expected)
                << page << ":" << e.line << ": $ build/bin/qz" << e.args;
        }
    }
    // The README and docs/commands.md hold more than these: a lower count
    // means the examples were not found (a changed prompt or fence).
    EXPECT_GE(readme, 3u) << "README.md's examples were not found";
    EXPECT_GE(total, 10u) << "the pages' examples were not found";
}

} // namespace
