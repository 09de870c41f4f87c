// qz: offline analysis with the qz objects, driven through the embedded host.
#include "cli_common.hpp"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

const char *const kHelp =
    "usage: qz [--externals DIR]... COMMAND [ARGS...]\n"
    "\n"
    "Runs the qz objects (qz.subtone, qz.pitchtally) in the embedded host.\n"
    "\n"
    "commands:\n"
    "  subtone      virtual fundamental of chords (qz subtone --help)\n"
    "  pitchtally   pitch statistics of a pitch/amplitude stream (qz pitchtally --help)\n"
    "  track        pitch/amplitude stream of a sound file (qz track --help)\n"
    "  run          run a script of boxes, connections, messages and time (qz run --help)\n"
    "  patch        open a patcher file and click, type and wait in it (qz patch --help)\n"
    "  refpage      write an object's reference page (qz refpage --help)\n"
    "\n"
    "options:\n"
    "  --externals DIR  search DIR (which must exist) for plug-ins before the\n"
    "                   installed ones (<folder of qz>/../externals)\n"
    "  --help           show this help\n"
    "  --version        show the version\n";

// The plug-ins installed beside the tool: <dir of qz>/../externals.
std::string installed_externals(const char *argv0)
{
    namespace fs = std::filesystem;
    fs::path exe;
#if defined(_WIN32)
    wchar_t buf[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        exe = fs::path(buf);
#else
    std::error_code ec;
    exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        exe = fs::path(argv0);
#endif
    if (exe.empty())
        exe = fs::path(argv0);
    return (exe.parent_path().parent_path() / "externals").string();
}

// A folder given with --externals must exist: a mistyped one would
// otherwise only show as a plug-in that cannot be found.
bool add_externals(qzcli::Context &ctx, const std::string &dir)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        std::cerr << "qz: --externals " << dir << ": no such folder\n";
        return false;
    }
    ctx.externals.push_back(dir);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qzcli::Context ctx;
    ctx.program = argc > 0 ? argv[0] : "qz";
    std::vector<std::string> args(argv + 1, argv + argc);

    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            std::cout << kHelp;
            return qzcli::kOk;
        }
        if (a == "--version") {
            std::cout << "qz " << QZ_VERSION << '\n';
            return qzcli::kOk;
        }
        if (a == "--externals") {
            if (i + 1 >= args.size()) {
                std::cerr << "qz: --externals needs a directory\n";
                return qzcli::kUsage;
            }
            if (!add_externals(ctx, args[++i]))
                return qzcli::kUsage;
            continue;
        }
        if (a.rfind("--externals=", 0) == 0) {
            if (!add_externals(ctx, a.substr(12)))
                return qzcli::kUsage;
            continue;
        }
        break;
    }
    ctx.externals.push_back(installed_externals(ctx.program.c_str()));

    if (i >= args.size()) {
        std::cerr << "qz: no command given\n\n" << kHelp;
        return qzcli::kUsage;
    }
    const std::string command = args[i];
    const std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
    if (command == "run")
        return cmd_run(ctx, rest);
    if (command == "patch")
        return cmd_patch(ctx, rest);
    if (command == "refpage")
        return cmd_refpage(ctx, rest);
    if (command == "subtone")
        return cmd_subtone(ctx, rest);
    if (command == "pitchtally")
        return cmd_pitchtally(ctx, rest);
    if (command == "track")
        return cmd_track(ctx, rest);
    if (command == "help") {
        std::cout << kHelp;
        return qzcli::kOk;
    }
    std::cerr << "qz: unknown command '" << command << "'\n\n" << kHelp;
    return qzcli::kUsage;
}
