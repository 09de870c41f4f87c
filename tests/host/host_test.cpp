// Boxes: creation from text, constructor failures, fault injection, freeing,
// and host operations called with no host running.
#include "host_fixture.hpp"

#include "jitlib.h"

#include <cmath>

using qzt::L;
using Strings = std::vector<std::string>;

namespace {

class Boxes : public qzt::HostTest {};

TEST_F(Boxes, CreationNumbersBoxesAndTiesConstructorLines)
{
    auto a = make("qzt.probe");
    auto b = make("qzt.probe 1 2.5 x");
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(host.class_name(b), "qzt.probe");
    ASSERT_EQ(host.console_log().size(), 2u);
    const auto &line = host.console_log()[1];
    EXPECT_EQ(line.text, "new qzt.probe 3");
    EXPECT_EQ(line.box, 1); // posted by the constructor, tied to its box
    EXPECT_EQ(line.cls, "qzt.probe");
    EXPECT_FALSE(line.error);
    t_object *x = host.object(b);
    ASSERT_NE(x, nullptr);
    EXPECT_NE(x->o_messlist, nullptr);
    EXPECT_NE(x->o_magic, 0);
    EXPECT_NE(x->o_inlet, nullptr);
    EXPECT_NE(x->o_outlet, nullptr); // the probe has outlets
}

TEST_F(Boxes, ConstructorReturningNullAfterAllocating)
{
    auto a = host.create("qzt.probe fail");
    EXPECT_EQ(a, -1);
    // The destructor does not run for an instance its constructor gave up.
    EXPECT_EQ(texts(), (Strings{"new qzt.probe 1", "qzt.probe: could not create"}));
    EXPECT_TRUE(host.console_log().back().error);
    EXPECT_EQ(host.create("qzt.probe null"), -1);
    EXPECT_EQ(make("qzt.probe"), 0); // the id was given back
}

TEST_F(Boxes, ObjectAllocFaultFailsCreation)
{
    host.inject_fault(qzhost::Host::Fault::ObjectAlloc, 1);
    EXPECT_EQ(make("qzt.probe"), 0);
    EXPECT_EQ(host.create("qzt.probe"), -1);
    EXPECT_EQ(errors(), (Strings{"qzt.probe: could not create"}));
    EXPECT_EQ(make("qzt.probe"), 1);
}

TEST_F(Boxes, FreeingRunsTheDestructorOnce)
{
    auto a = make("qzt.probe");
    host.clear_logs();
    host.free_box(a);
    host.free_box(a);
    EXPECT_EQ(texts(a), (Strings{"free"}));
    EXPECT_EQ(host.object(a), nullptr);
    EXPECT_EQ(host.outlet_count(a), 0);
    EXPECT_EQ(host.class_name(a), "");
    EXPECT_EQ(make("qzt.probe"), 1); // ids are not reused
}

TEST_F(Boxes, FreeobjectOnAnInstanceEndsItsBox)
{
    auto a = make("qzt.probe");
    freeobject(host.object(a));
    EXPECT_FALSE(host.alive(a));
    freeobject(nullptr);
}

TEST_F(Boxes, UnloadFreesBoxesInReverseOrder)
{
    host.create("qzt.probe");
    host.create("qzt.probe");
    host.create("qzt.probe");
    host.free_box(1);
    host.clear_logs();
    host.unload_all();
    Strings seen;
    for (const auto &l : host.console_log())
        seen.push_back(std::to_string(l.box) + " " + l.text);
    EXPECT_EQ(seen, (Strings{"2 free", "0 free"}));
}

TEST(HostLifetime, DestructorCallsNoObserver)
{
    int calls = 0;
    int before = 0;
    {
        qzhost::Host h;
        h.add_search_path(QZ_HOST_TEST_PLUGINS);
        h.on_console([&](const qzhost::ConsoleLine &) { ++calls; });
        ASSERT_GE(h.create("qzt.probe"), 0);
        before = calls;
        EXPECT_GT(before, 0); // the banner and "new" at least
    }
    EXPECT_EQ(calls, before); // no "free" line reached the observer
}

TEST(NoHost, OperationsWithoutAHostDoNotCrash)
{
    EXPECT_EQ(gensym("x"), nullptr);
    EXPECT_EQ(gensym_tr("x"), nullptr);
    EXPECT_EQ(class_new("c", nullptr, nullptr, 64, nullptr, A_GIMME, 0), nullptr);
    EXPECT_EQ(attr_offset_new("a", nullptr, 0, nullptr, nullptr, 16), nullptr);
    EXPECT_EQ(clock_new(nullptr, nullptr), nullptr);
    EXPECT_EQ(object_alloc(nullptr), nullptr);
    EXPECT_EQ(intout(nullptr), nullptr);
    EXPECT_EQ(floatin(nullptr, 1), nullptr);
    EXPECT_EQ(outlet_float(nullptr, 1.0), nullptr);
    EXPECT_EQ(object_method(nullptr, nullptr), nullptr);
    attr_args_process(nullptr, 0, nullptr);
    EXPECT_EQ(atom_setlong(nullptr, 1), MAX_ERR_INVALID_PTR);
    EXPECT_EQ(atom_getsym(nullptr), nullptr);
    object_post(nullptr, "no host %d", 1);
    object_error(nullptr, "no host");
    clock_delay(nullptr, 1);
    clock_unset(nullptr);
    freeobject(nullptr);
    // Memory needs no host.
    t_ptr p = sysmem_newptr(0);
    EXPECT_NE(p, nullptr);
    t_ptr q = sysmem_newptr(0);
    EXPECT_NE(p, q);
    sysmem_freeptr(p);
    sysmem_freeptr(q);
    sysmem_freeptr(nullptr);
    EXPECT_EQ(sysmem_newptr(static_cast<t_ptr_size>(-1)), nullptr);
}

TEST(Jitlib, RoundsHalvesAwayFromZero)
{
    EXPECT_EQ(jit_math_round(2.5), 3.0);
    EXPECT_EQ(jit_math_round(-2.5), -3.0);
    EXPECT_EQ(jit_math_round(0.49999999999999994), 0.0);
    EXPECT_EQ(qzt::bits(jit_math_round(-0.4)), qzt::bits(-0.0));
    EXPECT_EQ(jit_math_log2(8.0), 3.0);
    EXPECT_EQ(qzt::bits(jit_math_log2(440.0 / 261.6255653005986)),
              qzt::bits(std::log2(440.0 / 261.6255653005986)));
}

TEST_F(Boxes, ConsoleTextIsBounded)
{
    auto a = make("qzt.probe");
    std::string longname(10000, 'z');
    host.clear_logs();
    host.send(a, 0, "name", {qzt::S(host, longname.c_str())});
    ASSERT_EQ(host.console_log().size(), 1u);
    EXPECT_LT(host.console_log()[0].text.size(), 4096u);
    EXPECT_EQ(host.console_log()[0].text.rfind("name zzz", 0), 0u);
}

} // namespace
