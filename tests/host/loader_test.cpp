// Loading: `main` once per load, unloading for real, two hosts with the same
// plug-in, missing files and classes, modules without `main`, and the
// symbols a plug-in exports.
#include "host_fixture.hpp"

#include <cstdio>
#include <filesystem>
#include <memory>

#include <unistd.h>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

std::string probe_path()
{
    return std::string(QZ_HOST_TEST_PLUGINS) + "/qzt.probe" + qzhost::Host::plugin_extension();
}

Strings banners(const qzhost::Host &h)
{
    Strings out;
    for (const auto &l : h.console_log())
        if (l.text.rfind("probe main", 0) == 0)
            out.push_back(l.text);
    return out;
}

TEST(Loader, MainRunsOncePerLoad)
{
    qzhost::Host h;
    h.add_search_path("/nonexistent-dir");
    h.add_search_path(QZ_HOST_TEST_PLUGINS);
    ASSERT_TRUE(h.load("qzt.probe"));
    ASSERT_TRUE(h.load("qzt.probe"));
    ASSERT_TRUE(h.load_file(probe_path()));
    EXPECT_GE(h.create("qzt.probe"), 0);
    EXPECT_EQ(h.mains_called(), 1);
    ASSERT_EQ(banners(h), (Strings{"probe main 1"}));
    EXPECT_EQ(h.console_log()[0].box, -1);
    EXPECT_EQ(h.console_log()[0].cls, "");

    // Unloading frees the boxes and really unloads: the module's globals
    // start afresh on the next load.
    h.unload_all();
    EXPECT_FALSE(h.alive(0));
    EXPECT_TRUE(h.attr_names("qzt.probe").empty());
    ASSERT_GE(h.create("qzt.probe"), 0);
    EXPECT_EQ(h.mains_called(), 2);
    EXPECT_EQ(banners(h), (Strings{"probe main 1", "probe main 1"}));
}

TEST(Loader, ASecondRegistrationOfANameIsRefused)
{
    qzhost::Host h;
    h.add_search_path(QZ_HOST_TEST_PLUGINS);
    ASSERT_TRUE(h.load("qzt.probe"));
    bool refused = false;
    for (const auto &l : h.console_log())
        refused = refused || (l.error && l.text.find("qzt.onlyint") != std::string::npos);
    EXPECT_TRUE(refused);
    // The first class stays: it answers "int", not "list".
    auto b = h.create("qzt.onlyint");
    ASSERT_GE(b, 0);
    EXPECT_TRUE(h.send_int(b, 0, 3));
    EXPECT_EQ(h.console_log().back().text, "onlyint 3");
}

TEST(Loader, TwoHostsKeepTheirOwnModuleAndState)
{
    auto h1 = std::make_unique<qzhost::Host>();
    auto h2 = std::make_unique<qzhost::Host>();
    for (auto *h : {h1.get(), h2.get()})
        h->add_search_path(QZ_HOST_TEST_PLUGINS);
    auto b1 = h1->create("qzt.probe @along 2");
    auto b2 = h2->create("qzt.probe @along 5");
    ASSERT_EQ(b1, 0);
    ASSERT_EQ(b2, 0);
    // Each host ran the `main` of its own module image.
    EXPECT_EQ(banners(*h1), (Strings{"probe main 1"}));
    EXPECT_EQ(banners(*h2), (Strings{"probe main 1"}));
    EXPECT_NE(h1->object(b1)->o_messlist, h2->object(b2)->o_messlist);
    h1->clear_logs();
    h2->clear_logs();
    // Interleaved use: lines land in the host that ran the code.
    h1->send_int(b1, 0, 1);
    h2->send_int(b2, 0, 2);
    h1->send_text(b1, 0, "arm 0 5");
    h2->send_text(b2, 0, "arm 0 7");
    h2->advance_to(10);
    h1->send_int(b1, 0, 3);
    EXPECT_EQ(h1->console_log().size(), 2u);
    ASSERT_EQ(h2->console_log().size(), 2u);
    EXPECT_EQ(h2->console_log()[1].text, "tick0");
    EXPECT_EQ(h2->console_log()[1].time, 7);
    h1->advance_to(10);
    EXPECT_EQ(h1->console_log().back().text, "tick0");
    std::vector<t_atom> v;
    ASSERT_TRUE(h1->attr_get(b1, "along", v));
    EXPECT_EQ(v[0].a_w.w_long, 2);
    ASSERT_TRUE(h2->attr_get(b2, "along", v));
    EXPECT_EQ(v[0].a_w.w_long, 5);

    // The private copy goes when its host does; the other host goes on.
    auto copies = [] {
        int n = 0;
        std::error_code ec;
        for (const auto &e : fs::directory_iterator(fs::temp_directory_path(), ec))
            n += e.path().filename().string().rfind(
                     "qzhost-" + std::to_string(static_cast<long>(getpid())) + "-", 0) == 0;
        return n;
    };
    EXPECT_EQ(copies(), 1);
    h2.reset();
    EXPECT_EQ(copies(), 0);
    EXPECT_TRUE(h1->send_int(b1, 0, 4));
    // A third host while h1 still holds the file: a private copy again.
    qzhost::Host h3;
    h3.add_search_path(QZ_HOST_TEST_PLUGINS);
    EXPECT_GE(h3.create("qzt.probe"), 0);
    EXPECT_EQ(banners(h3), (Strings{"probe main 1"}));
}

TEST(Loader, NestedHostsRestoreTheCurrentOne)
{
    qzhost::Host outer;
    outer.add_search_path(QZ_HOST_TEST_PLUGINS);
    auto a = outer.create("qzt.probe");
    ASSERT_GE(a, 0);
    // While outer runs an observer, another host runs plug-in code.
    outer.on_outlet([&](const qzhost::OutletEvent &) {
        qzhost::Host inner;
        inner.add_search_path(QZ_HOST_TEST_PLUGINS);
        auto b = inner.create("qzt.probe");
        inner.send_int(b, 0, 1);
        EXPECT_EQ(inner.console_log().back().text, "int 1");
    });
    outer.clear_logs();
    outer.send_text(a, 0, "outc 0 1");
    outer.send_int(a, 0, 2); // the outer host is current again
    ASSERT_EQ(outer.console_log().size(), 1u);
    EXPECT_EQ(outer.console_log()[0].text, "int 2");
}

TEST(Loader, MissingThingsAreErrors)
{
    qzhost::Host h;
    h.add_search_path(QZ_HOST_TEST_PLUGINS);
    EXPECT_EQ(h.create("qzt.missing 1 2"), -1);
    EXPECT_FALSE(h.load("qzt.missing"));
    EXPECT_FALSE(h.load_file("/nonexistent/qzt.probe.so"));
    EXPECT_EQ(h.create(""), -1);
    EXPECT_EQ(h.create("12 3"), -1);
    Strings errs;
    for (const auto &l : h.console_log()) {
        EXPECT_TRUE(l.error);
        errs.push_back(l.text);
    }
    ASSERT_EQ(errs.size(), 5u);
    EXPECT_EQ(errs[0], "qzt.missing: no such object");
    EXPECT_EQ(errs[1], "qzt.missing: no such object");
    EXPECT_NE(errs[2].find("no such file"), std::string::npos);
    EXPECT_EQ(h.mains_called(), 0);
}

TEST(Loader, ModuleWithoutMainIsRefused)
{
    qzhost::Host h;
    h.add_search_path(QZ_HOST_TEST_PLUGINS);
    EXPECT_FALSE(h.load("qzt.nomain"));
    EXPECT_EQ(h.create("qzt.nomain"), -1);
    EXPECT_EQ(h.mains_called(), 0);
    ASSERT_FALSE(h.console_log().empty());
    EXPECT_NE(h.console_log()[0].text.find("exports no main"), std::string::npos);
    EXPECT_EQ(h.console_log().back().text, "qzt.nomain: no such object");
}

TEST(Loader, AFileThatIsNoModuleIsRefused)
{
    const std::string name = std::string("qzt.junk") + qzhost::Host::plugin_extension();
    fs::path dir = fs::temp_directory_path() / ("qzt-notmodule-" + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        std::FILE *f = std::fopen((dir / name).string().c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("not a module", f);
        std::fclose(f);
    }
    qzhost::Host h;
    h.add_search_path(dir.string());
    EXPECT_EQ(h.create("qzt.junk"), -1);
    ASSERT_FALSE(h.console_log().empty());
    EXPECT_NE(h.console_log()[0].text.find("could not load"), std::string::npos);
    EXPECT_EQ(h.console_log().back().text, "qzt.junk: no such object");
    fs::remove_all(dir);
}

TEST(Loader, AModuleMustRegisterTheClassItIsNamedAfter)
{
    // The probe module under another name: it loads, but registers no
    // class of that name.
    fs::path dir = fs::temp_directory_path() / ("qzt-renamed-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::copy_file(probe_path(), dir / (std::string("qzt.other") + qzhost::Host::plugin_extension()),
                  fs::copy_options::overwrite_existing);
    {
        qzhost::Host h;
        h.add_search_path(dir.string());
        EXPECT_FALSE(h.load("qzt.other"));
        EXPECT_EQ(h.mains_called(), 1);
        ASSERT_GE(h.console_log().size(), 2u);
        const auto &log = h.console_log();
        EXPECT_NE(log[log.size() - 2].text.find("registers no class \"qzt.other\""),
                  std::string::npos);
        EXPECT_EQ(log.back().text, "qzt.other: no such object");
        // What it did register is usable.
        EXPECT_GE(h.create("qzt.probe"), 0);
    }
    fs::remove_all(dir);
}

#if !defined(_WIN32)
// Defined dynamic symbols of a module, read with nm.
Strings exported(const std::string &path)
{
    Strings out;
    std::string cmd = "nm -D --defined-only '" + path + "' 2>/dev/null";
    std::FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char line[512];
    while (std::fgets(line, sizeof line, p)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        auto sp = s.find_last_of(' ');
        out.push_back(sp == std::string::npos ? s : s.substr(sp + 1));
    }
    pclose(p);
    return out;
}

TEST(Loader, PluginsExportOnlyMain)
{
    std::vector<std::string> modules{probe_path()};
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(QZ_EXTERNALS_DIR, ec))
        if (e.path().extension() == ".so")
            modules.push_back(e.path().string());
    for (const auto &m : modules)
        EXPECT_EQ(exported(m), (Strings{"main"})) << m;
    EXPECT_TRUE(exported(std::string(QZ_HOST_TEST_PLUGINS) + "/qzt.nomain.so").empty());
}

#endif // reads ELF symbol tables

} // namespace
