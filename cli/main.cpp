// qz: offline analysis with the qz objects, driven through the embedded host.
#include "cli_common.hpp"
#include "options.hpp"
#include "suggest.hpp"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

// Each command's entry point, defined in its folder: it gets the words after
// its name and returns the exit status.
int cmd_subtone(const qzcli::Context &ctx, const std::vector<std::string> &args);
int cmd_pitchtally(const qzcli::Context &ctx, const std::vector<std::string> &args);
int cmd_track(const qzcli::Context &ctx, const std::vector<std::string> &args);
int cmd_run(const qzcli::Context &ctx, const std::vector<std::string> &args);
int cmd_patch(const qzcli::Context &ctx, const std::vector<std::string> &args);
int cmd_refpage(const qzcli::Context &ctx, const std::vector<std::string> &args);

namespace {

// The commands, in the order qz --help lists them.
struct Command {
    const char *name;
    const char *summary;
    int (*run)(const qzcli::Context &, const std::vector<std::string> &);
};

const Command kCommands[] = {
    {"subtone", "virtual fundamental of chords", cmd_subtone},
    {"pitchtally", "pitch statistics of a pitch/amplitude stream", cmd_pitchtally},
    {"track", "pitch/amplitude stream of a sound file", cmd_track},
    {"run", "run a script of boxes, connections, messages and time", cmd_run},
    {"patch", "open a patcher file and click, type and wait in it", cmd_patch},
    {"refpage", "write an object's reference page", cmd_refpage},
};

std::string commands_text()
{
    std::string text = "Runs the qz objects (qz.subtone, qz.pitchtally) in the embedded host.\n"
                       "\n"
                       "commands:\n";
    for (const Command &c : kCommands) {
        const std::string name = c.name;
        text += "  " + name + std::string(13 - name.size(), ' ') + c.summary + " (qz " + name +
                " --help)\n";
    }
    return text + "  help [CMD]   show this help, or a command's (qz CMD --help)";
}

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

} // namespace

int main(int argc, char **argv)
{
    qzcli::Context ctx;
    ctx.program = argc > 0 ? argv[0] : "qz";
    const std::vector<std::string> args(argv + 1, argv + argc);

    bool version = false;
    std::string bad_folder;
    qzcli::CommandLine cl("", "usage: qz [--externals DIR]... COMMAND [ARGS...]", commands_text());
    cl.option("--externals", "DIR",
              "search DIR (which must exist) for plug-ins before the\n"
              "installed ones (<folder of qz>/../externals)",
              "--externals needs a directory", [&](const std::string &dir) {
                  // A mistyped folder would otherwise only show as a plug-in
                  // that cannot be found.
                  std::error_code ec;
                  if (!std::filesystem::is_directory(dir, ec) && bad_folder.empty())
                      bad_folder = dir;
                  ctx.externals.push_back(dir);
              });
    cl.repeatable("--externals");
    cl.flag("--version", version, "show the version");
    cl.stop_at_first_operand();
    if (const auto done = cl.parse(args))
        return *done;
    if (!bad_folder.empty()) {
        std::cerr << "qz: --externals " << bad_folder << ": no such folder\n";
        return qzcli::kUsage;
    }
    if (version) {
        std::cout << "qz " << QZ_VERSION << '\n';
        return qzcli::kOk;
    }
    ctx.externals.push_back(installed_externals(ctx.program.c_str()));

    const std::vector<std::string> &words = cl.operands();
    if (words.empty()) {
        std::cerr << "qz: no command given\n\n" << cl.help();
        return qzcli::kUsage;
    }
    const std::string &command = words[0];
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    for (const Command &c : kCommands)
        if (command == c.name)
            return c.run(ctx, rest);
    std::vector<std::string> names{"help"};
    for (const Command &c : kCommands)
        names.emplace_back(c.name);
    if (command == "help" && !rest.empty()) { // qz help CMD: qz CMD --help
        for (const Command &c : kCommands)
            if (rest[0] == c.name)
                return c.run(ctx, {"--help"});
        std::cerr << "qz: no command '" << rest[0] << "'" << qzcli::did_you_mean(rest[0], names)
                  << "\n\n"
                  << cl.help();
        return qzcli::kUsage;
    }
    if (command == "help") {
        std::cout << cl.help();
        return qzcli::kOk;
    }
    std::cerr << "qz: unknown command '" << command << "'" << qzcli::did_you_mean(command, names)
              << "\n\n"
              << cl.help();
    return qzcli::kUsage;
}
