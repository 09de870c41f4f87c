// Loading plug-in modules. Each Host loads its own copy of a module, so each
// gets its own module globals (the class handle lives in one): a file that
// another live Host in this process has loaded is copied to a private
// temporary file first. Unloading really unloads, so a later load runs the
// module's `main` afresh. A macOS bundle (NAME.mxo) is mapped by our own
// Mach-O loader (macho.hpp), a fresh copy each time, and its `ext_main`
// called.
#include "internal.hpp"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace qzhost {

namespace {

// Per-process bookkeeping of the loader only: how many live Hosts hold each
// file loaded under its own path.
std::mutex g_loaded_mutex;
std::map<std::string, int> g_loaded;
std::atomic<unsigned> g_copy_counter{0};

std::string last_error()
{
#if defined(_WIN32)
    DWORD code = GetLastError();
    char buf[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   buf, sizeof buf - 1, nullptr);
    return buf;
#else
    const char *e = dlerror();
    return e ? e : "unknown error";
#endif
}

void *open_module(const std::string &path)
{
#if defined(_WIN32)
    return reinterpret_cast<void *>(LoadLibraryA(path.c_str()));
#else
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void close_module(void *handle)
{
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

using main_fn = int (*)(void);

main_fn find_main(void *handle)
{
#if defined(_WIN32)
    return reinterpret_cast<main_fn>(
        reinterpret_cast<void *>(GetProcAddress(reinterpret_cast<HMODULE>(handle), "main")));
#else
    return reinterpret_cast<main_fn>(dlsym(handle, "main"));
#endif
}

long process_id()
{
#if defined(_WIN32)
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(getpid());
#endif
}

#if !defined(_WIN32)
// A bundle folder NAME.mxo: the macOS form of a plug-in.
bool is_bundle(const fs::path &p)
{
    std::error_code ec;
    return p.extension() == ".mxo" && fs::is_directory(p, ec);
}

// Maps the slice of this process's architecture from the bundle's binary.
bool load_bundle(const std::string &dir, macho::Image &image, std::string &err)
{
    const std::string binary = macho::bundle_binary(dir);
    std::ifstream in(binary, std::ios::binary);
    if (!in) {
        err = "no binary " + binary;
        return false;
    }
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    return macho::load(bytes.data(), bytes.size(), image, err);
}
#endif

// Copies the file into a new private folder, keeping its name.
bool private_copy(const std::string &path, std::string &dir, std::string &copy, std::string &err)
{
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) {
        err = ec.message();
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path d = base / ("qzhost-" + std::to_string(process_id()) + "-" +
                             std::to_string(g_copy_counter.fetch_add(1)));
        if (!fs::create_directory(d, ec))
            continue;
        fs::path target = d / fs::path(path).filename();
        if (!fs::copy_file(path, target, ec)) {
            err = ec.message();
            fs::remove(d, ec);
            return false;
        }
        dir = d.string();
        copy = target.string();
        return true;
    }
    err = "no private folder could be made";
    return false;
}

void remove_copy(const Module &m)
{
    if (m.temp_dir.empty())
        return;
    std::error_code ec;
    fs::remove_all(m.temp_dir, ec);
}

} // namespace

bool Host::Impl::load_file(const std::string &path)
{
    std::error_code ec;
#if !defined(_WIN32)
    const bool bundle = is_bundle(path);
#else
    const bool bundle = false;
#endif
    if (!bundle && !fs::is_regular_file(path, ec)) {
        postf(nullptr, true, "%s: no such file", path.c_str());
        return false;
    }
    std::string canon = fs::weakly_canonical(path, ec).string();
    if (ec)
        canon = path;
    for (const Module &m : modules)
        if (m.path == canon)
            return true; // already loaded by this host: `main` ran once for it
#if !defined(_WIN32)
    if (bundle) {
        // Every load maps a fresh copy, so each Host has its own globals.
        Module m;
        m.path = canon;
        m.loaded_path = macho::bundle_binary(canon);
        std::string err;
        if (!load_bundle(canon, m.image, err)) {
            postf(nullptr, true, "%s: could not load: %s", path.c_str(), err.c_str());
            return false;
        }
        void (*entry)(void *) = m.image.entry;
        modules.push_back(m);
        ++mains_called;
        entry(nullptr);
        return true;
    }
#endif

    Module m;
    m.path = canon;
    m.loaded_path = canon;
    bool shared = false;
    {
        std::lock_guard<std::mutex> lock(g_loaded_mutex);
        auto it = g_loaded.find(canon);
        shared = it != g_loaded.end() && it->second > 0;
        if (!shared)
            ++g_loaded[canon];
    }
    if (shared) {
        std::string err;
        if (!private_copy(canon, m.temp_dir, m.loaded_path, err)) {
            postf(nullptr, true, "%s: could not copy the module: %s", path.c_str(), err.c_str());
            return false;
        }
    }
    auto forget = [&] {
        if (shared) {
            remove_copy(m);
        } else {
            std::lock_guard<std::mutex> lock(g_loaded_mutex);
            if (--g_loaded[canon] == 0)
                g_loaded.erase(canon);
        }
    };
    m.handle = open_module(m.loaded_path);
    if (!m.handle) {
        std::string err = last_error();
        postf(nullptr, true, "%s: could not load: %s", path.c_str(), err.c_str());
        forget();
        return false;
    }
    main_fn entry = find_main(m.handle);
    if (!entry) {
        postf(nullptr, true, "%s: exports no main", path.c_str());
        close_module(m.handle);
        forget();
        return false;
    }
    modules.push_back(m);
    ++mains_called;
    int rc = entry();
    if (rc != 0)
        postf(nullptr, true, "%s: main returned %d", path.c_str(), rc);
    return true;
}

// Finds "<classname><ext>" on the search path (first hit wins) and loads it.
// Any failure ends with `CLASSNAME: no such object` when asked to report,
// after the line that tells why (missing main, unloadable file...).
bool Host::Impl::load_class(std::string_view classname, bool report_missing)
{
    if (find_class(classname))
        return true;
    std::string file = std::string(classname) + Host::plugin_extension();
    for (const std::string &dir : search_paths) {
        std::error_code ec;
        fs::path p = fs::path(dir) / file;
#if !defined(_WIN32)
        // A folder without this platform's modules may hold macOS bundles.
        if (!fs::is_regular_file(p, ec))
            p = fs::path(dir) / (std::string(classname) + ".mxo");
        if (!fs::is_regular_file(p, ec) && !is_bundle(p))
            continue;
#else
        if (!fs::is_regular_file(p, ec))
            continue;
#endif
        if (load_file(p.string())) {
            if (find_class(classname))
                return true;
            postf(nullptr, true, "%s: registers no class \"%.*s\"", p.string().c_str(),
                  static_cast<int>(classname.size()), classname.data());
        }
        break;
    }
    if (report_missing)
        postf(nullptr, true, "%.*s: no such object", static_cast<int>(classname.size()),
              classname.data());
    return false;
}

// Frees what refers to module code (boxes, clocks, classes, attributes), then
// unloads the modules in reverse loading order. Not for plug-in code or
// observers to call: the modules' code may be on the stack then.
void Host::Impl::unload_all()
{
    for (size_t i = boxes.size(); i-- > 0;)
        if (boxes[i])
            destroy_instance(boxes[i], true);
    while (!instances.empty())
        destroy_instance(*instances.begin(), true);
    while (!clocks.empty())
        free_clock(clocks.back());
    heap.clear();
    if (depth == 0)
        flush_graveyard();
    registry.clear();
    classes.clear();
    attrs.clear();
    for (size_t i = modules.size(); i-- > 0;) {
        Module &m = modules[i];
#if !defined(_WIN32)
        if (m.image.base) {
            macho::unload(m.image);
            continue;
        }
#endif
        close_module(m.handle);
        if (!m.temp_dir.empty()) {
            remove_copy(m);
        } else {
            std::lock_guard<std::mutex> lock(g_loaded_mutex);
            if (--g_loaded[m.path] == 0)
                g_loaded.erase(m.path);
        }
    }
    modules.clear();
}

} // namespace qzhost
