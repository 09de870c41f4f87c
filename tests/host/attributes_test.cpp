// Attributes: default and custom accessors, clip filters on integer and float
// atoms, settings among creation arguments, attributes-of-attributes.
#include "host_fixture.hpp"

#include <cmath>
#include <limits>

using qzt::F;
using qzt::L;
using qzt::S;
using Strings = std::vector<std::string>;

namespace {

class Attributes : public qzt::HostTest {
  protected:
    std::vector<t_atom> get(qzhost::BoxId b, const char *name)
    {
        std::vector<t_atom> v;
        EXPECT_TRUE(host.attr_get(b, name, v)) << name;
        return v;
    }
    t_atom_long get_long(qzhost::BoxId b, const char *name)
    {
        auto v = get(b, name);
        EXPECT_EQ(v.size(), 1u);
        EXPECT_EQ(v.empty() ? 0 : v[0].a_type, A_LONG) << name;
        return v.empty() ? 0 : v[0].a_w.w_long;
    }
    double get_float(qzhost::BoxId b, const char *name)
    {
        auto v = get(b, name);
        EXPECT_FALSE(v.empty());
        EXPECT_EQ(v.empty() ? 0 : v[0].a_type, A_FLOAT) << name;
        return v.empty() ? 0 : v[0].a_w.w_float;
    }
};

TEST_F(Attributes, ClipKeepsIntegerAtomsIntegers)
{
    auto b = make("qzt.probe");
    // "along": long, clipped to [0, 10].
    host.attr_set(b, "along", {L(15)});
    EXPECT_EQ(get_long(b, "along"), 10);
    host.attr_set(b, "along", {L(-3)});
    EXPECT_EQ(get_long(b, "along"), 0);
    host.attr_set(b, "along", {F(7.9)}); // stored as long: truncated
    EXPECT_EQ(get_long(b, "along"), 7);
    host.attr_set(b, "along", {F(12.5)});
    EXPECT_EQ(get_long(b, "along"), 10);
    host.attr_set(b, "along", {L(std::numeric_limits<t_atom_long>::min())});
    EXPECT_EQ(get_long(b, "along"), 0);
}

// A not-a-number lies in no range: a clipped attribute takes its minimum.
TEST_F(Attributes, ClipSendsNotANumberToTheMinimum)
{
    auto b = make("qzt.probe");
    host.attr_set(b, "f32", {F(std::nan(""))});
    EXPECT_EQ(qzt::bits(get_float(b, "f32")), qzt::bits(-1.5));
    host.attr_set(b, "along", {F(std::nan(""))});
    EXPECT_EQ(get_long(b, "along"), 0);
}

TEST_F(Attributes, ClipWithOnlyAMinimumAndFractionalBound)
{
    auto b = make("qzt.probe");
    // "f32": float32, clipped below at -1.5, no maximum.
    host.attr_set(b, "f32", {F(-5.0)});
    EXPECT_EQ(qzt::bits(get_float(b, "f32")), qzt::bits(-1.5));
    host.attr_set(b, "f32", {L(-5)}); // an integer atom is raised to the integer -1
    EXPECT_EQ(qzt::bits(get_float(b, "f32")), qzt::bits(-1.0));
    host.attr_set(b, "f32", {F(1e6)});
    EXPECT_EQ(qzt::bits(get_float(b, "f32")), qzt::bits(1e6));
    // Stored as a single: the getter hands back the single's value.
    host.attr_set(b, "f32", {F(0.1)});
    double got = get_float(b, "f32");
    EXPECT_EQ(qzt::bits(got), qzt::bits(static_cast<double>(0.1f))) << qzt::hex(got);
}

TEST_F(Attributes, NoValueLeavesDefaultStorageAlone)
{
    auto b = make("qzt.probe");
    host.attr_set(b, "f32", {F(2.5)});
    EXPECT_TRUE(host.attr_set(b, "f32", {}));
    EXPECT_EQ(get_float(b, "f32"), 2.5);
    EXPECT_FALSE(host.attr_set(b, "f32", {S(host, "x")}));
    EXPECT_EQ(get_float(b, "f32"), 2.5);
    EXPECT_FALSE(host.attr_set(b, "nosuch", {L(1)}));
    std::vector<t_atom> v;
    EXPECT_FALSE(host.attr_get(b, "nosuch", v));
}

TEST_F(Attributes, CustomSetterSeesCountAndFilteredAtoms)
{
    auto b = make("qzt.probe");
    host.clear_logs();
    host.attr_set(b, "f64", {});
    auto v = get(b, "f64"); // custom getter: value and 42
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].a_w.w_float, -1.0);
    EXPECT_EQ(v[1].a_type, A_LONG);
    EXPECT_EQ(v[1].a_w.w_long, 42);
    host.send_text(b, 0, "f64 2.5 3");
    EXPECT_EQ(get(b, "f64")[0].a_w.w_float, 2.5);
    EXPECT_EQ(texts(b), (Strings{"f64 set 0", "f64 set 2"}));
}

TEST_F(Attributes, SetmethodNullRestoresTheDefaultGetter)
{
    auto b = make("qzt.probe");
    host.attr_set(b, "relay", {L(3)});
    // The probe installs a getter answering -99 and then restores the default.
    EXPECT_EQ(get_long(b, "relay"), 3);
}

TEST_F(Attributes, CreationArgumentsAreAppliedInGroups)
{
    host.clear_logs();
    auto b = make("qzt.probe 1 2 foo @along 3 4 @bogus 1 2 @f32 0.5 @f64 @chain 8");
    EXPECT_EQ(get_long(b, "along"), 3); // first value of the group; "1 2 foo" ignored
    EXPECT_EQ(get_float(b, "f32"), 0.5);
    EXPECT_EQ(get_long(b, "chain"), 8);
    EXPECT_EQ(get(b, "f64")[0].a_w.w_float, -1.0); // setter got count 0
    EXPECT_EQ(texts(b), (Strings{"new qzt.probe 14", "no attribute \"bogus\"", "f64 set 0"}));
    const auto &line = host.console_log()[1];
    EXPECT_TRUE(line.error);
    EXPECT_EQ(line.cls, "qzt.probe");
}

TEST_F(Attributes, CreationArgumentsAreClippedToo)
{
    auto b = make("qzt.probe @along 99 @f32 -9.5");
    EXPECT_EQ(get_long(b, "along"), 10);
    EXPECT_EQ(get_float(b, "f32"), -1.5);
}

TEST_F(Attributes, RegistrationIsReadBack)
{
    EXPECT_EQ(host.attr_names("qzt.probe"), (Strings{"along", "f32", "f64", "relay", "chain"}));
    EXPECT_EQ(host.method_names("qzt.probe"),
              (Strings{"assist", "inletinfo", "poke", "bang", "int", "float", "ft1", "name", "list",
                       "outc", "arm", "unset"}));
    std::vector<t_atom> v;
    ASSERT_TRUE(host.attr_attr("qzt.probe", "along", "label", v));
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].a_type, A_SYM);
    EXPECT_STREQ(v[0].a_w.w_sym->s_name, "A long");
    ASSERT_TRUE(host.attr_attr("qzt.probe", "along", "save", v));
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].a_type, A_LONG);
    EXPECT_EQ(v[0].a_w.w_long, 1);
    ASSERT_TRUE(host.attr_attr("qzt.probe", "f32", "enumvals", v));
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(qzhost::format_atom(v[1]), "MIDI");
    EXPECT_EQ(v[2].a_type, A_FLOAT);
    EXPECT_EQ(v[3].a_w.w_long, -7);
    ASSERT_TRUE(host.attr_attr("qzt.probe", "f64", "range", v));
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].a_w.w_long, 7);
    EXPECT_EQ(v[1].a_w.w_float, 0.25);
    // Present without a value.
    ASSERT_TRUE(host.attr_attr("qzt.probe", "relay", "min", v));
    EXPECT_TRUE(v.empty());
    EXPECT_FALSE(host.attr_attr("qzt.probe", "relay", "max", v));
    EXPECT_FALSE(host.attr_attr("qzt.probe", "nosuch", "min", v));
    EXPECT_FALSE(host.attr_attr("qzt.nosuch", "relay", "min", v));
}

TEST_F(Attributes, GettypeAnswersTheTypeSymbol)
{
    // The probe's main posted what "gettype" answered for "relay".
    qzhost::Host h;
    h.add_search_path(QZ_HOST_TEST_PLUGINS);
    ASSERT_TRUE(h.load("qzt.probe"));
    bool seen = false;
    for (const auto &l : h.console_log())
        seen = seen || l.text == "relay is long";
    EXPECT_TRUE(seen);
}

TEST_F(Attributes, DefaultGetterReportsAllocationFailure)
{
    auto b = make("qzt.probe");
    host.inject_fault(qzhost::Host::Fault::SysmemNewptr);
    std::vector<t_atom> v;
    EXPECT_FALSE(host.attr_get(b, "along", v));
    EXPECT_TRUE(v.empty());
    EXPECT_TRUE(host.attr_get(b, "along", v)); // one failure only
}

} // namespace
