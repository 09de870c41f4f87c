// Replays seed inputs through a fuzz program's LLVMFuzzerTestOneInput in an
// ordinary build (no libFuzzer): each file given, and every file in each
// folder given, in name order, once. The program's own invariant checks run
// as they do under the fuzzer; a broken one aborts, and the input that broke
// it is named on stderr.
//   fuzz_NAME FILE|FOLDER...
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
// Optional, as under libFuzzer: run once before the first input.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace {

namespace fs = std::filesystem;

// The input being replayed, for the abort handler (a fixed buffer: the
// handler may only write it out).
char g_current[4096];

// write() only: the handler runs inside abort().
void say(const char *text)
{
    if (write(STDERR_FILENO, text, std::strlen(text)) < 0)
        return; // nothing more to be done about it
}

extern "C" void on_abort(int)
{
    say("\nreplay: failed on input ");
    say(g_current);
    say("\n");
    std::signal(SIGABRT, SIG_DFL);
    std::raise(SIGABRT);
}

bool replay(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    std::snprintf(g_current, sizeof g_current, "%s", file.c_str());
    // A copy of exactly the input's size, so that reading past its end shows
    // under AddressSanitizer as it does under the fuzzer.
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE|FOLDER...\n", argv[0]);
        return 2;
    }
    std::signal(SIGABRT, on_abort);
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    long count = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        std::vector<fs::path> files;
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            for (const auto &e : fs::directory_iterator(arg))
                if (e.is_regular_file())
                    files.push_back(e.path());
            std::sort(files.begin(), files.end());
            if (files.empty()) {
                std::fprintf(stderr, "replay: no inputs in %s\n", arg.c_str());
                return 1;
            }
        } else {
            files.push_back(arg);
        }
        for (const fs::path &f : files) {
            if (!replay(f))
                return 1;
            ++count;
        }
    }
    std::printf("replayed %ld inputs\n", count);
    return 0;
}
