// Messages: dispatch by registered argument types, the number fallbacks,
// inlets, and what happens to messages the class cannot take.
#include "host_fixture.hpp"

#include <cmath>
#include <limits>

using qzt::F;
using qzt::L;
using qzt::S;
using Strings = std::vector<std::string>;

namespace {

class Dispatch : public qzt::HostTest {};

TEST_F(Dispatch, EachTypeCodeGetsItsArguments)
{
    auto b = make("qzt.probe");
    host.clear_logs();
    EXPECT_TRUE(host.send(b, 0, "bang", {}));
    EXPECT_TRUE(host.send_int(b, 0, -7));
    EXPECT_TRUE(host.send_float(b, 0, 0.1));
    EXPECT_TRUE(host.send(b, 0, "name", {S(host, "abc")}));
    EXPECT_TRUE(host.send(b, 0, "list", {L(1), F(2.5), S(host, "x")}));
    EXPECT_TRUE(host.send(b, 0, "ft1", {F(3)}));
    EXPECT_EQ(texts(b), (Strings{"bang", "int -7", "float 0.10000000000000001", "name abc",
                                 "list 3: l1 f2.5 sx", "ft1 3"}));
}

TEST_F(Dispatch, TypedRoutinesTakeTheFirstAtomConverted)
{
    auto b = make("qzt.probe");
    host.clear_logs();
    // Float to int truncates toward zero; surplus atoms are ignored; a
    // missing argument calls nothing (host_rules_test.cpp).
    EXPECT_TRUE(host.send(b, 0, "int", {F(2.9)}));
    EXPECT_TRUE(host.send(b, 0, "int", {F(-2.9)}));
    EXPECT_FALSE(host.send(b, 0, "int", {}));
    EXPECT_TRUE(host.send(b, 0, "float", {L(3), L(4)}));
    EXPECT_TRUE(host.send(b, 0, "int", {F(1e300)}));
    EXPECT_TRUE(host.send(b, 0, "int", {F(std::nan(""))}));
    // 1e300 saturates to the largest t_atom_long (64 or 32 bits).
    const std::string largest = std::to_string(std::numeric_limits<t_atom_long>::max());
    EXPECT_EQ(texts(b), (Strings{"int 2", "int -2", "missing argument for \"int\"", "float 3",
                                 "int " + largest, "int 0"}));
}

TEST_F(Dispatch, WrongArgumentTypesAreRefusedWithAnError)
{
    auto b = make("qzt.probe");
    host.clear_logs();
    EXPECT_FALSE(host.send(b, 0, "int", {S(host, "x")}));
    EXPECT_FALSE(host.send(b, 0, "name", {L(3)}));
    EXPECT_EQ(errors(),
              (Strings{"wrong argument type for \"int\"", "wrong argument type for \"name\""}));
    ASSERT_EQ(host.console_log().size(), 2u);
    EXPECT_EQ(host.console_log()[0].box, b);
    EXPECT_EQ(host.console_log()[0].cls, "qzt.probe");
}

TEST_F(Dispatch, UnknownAndPrivateMessagesAreNotUnderstood)
{
    auto b = make("qzt.probe");
    host.clear_logs();
    EXPECT_FALSE(host.send(b, 0, "frobnicate", {L(1)}));
    EXPECT_FALSE(host.send(b, 0, "poke", {}));   // A_CANT: only the host calls it
    EXPECT_FALSE(host.send(b, 0, "assist", {})); // likewise
    EXPECT_EQ(errors(), (Strings{"doesn't understand \"frobnicate\"", "doesn't understand \"poke\"",
                                 "doesn't understand \"assist\""}));
    EXPECT_EQ(host.console_log()[0].cls, "qzt.probe");
    EXPECT_EQ(host.console_log()[0].box, b);
    EXPECT_TRUE(host.console_log()[0].error);
}

TEST_F(Dispatch, NumberFallbacks)
{
    auto i = make("qzt.onlyint");
    auto f = make("qzt.onlyfloat");
    auto l = make("qzt.onlylist");
    host.clear_logs();
    EXPECT_TRUE(host.send_float(i, 0, -3.75));           // float -> int, truncated
    EXPECT_TRUE(host.send(i, 0, "list", {F(8.5)}));      // list of one -> int
    EXPECT_TRUE(host.send_int(f, 0, 5));                 // int -> float
    EXPECT_TRUE(host.send(f, 0, "list", {L(6)}));        // list of one int -> float
    EXPECT_TRUE(host.send_int(l, 0, 7));                 // int -> list
    EXPECT_TRUE(host.send_float(l, 0, 7.5));             // float -> list
    EXPECT_FALSE(host.send(i, 0, "list", {L(1), L(2)})); // a real list: nothing takes it
    EXPECT_EQ(texts(),
              (Strings{"onlyint -3", "onlyint 8", "onlyfloat 5", "onlyfloat 6", "onlylist list 1 7",
                       "onlylist list 1 7.5", "doesn't understand \"list\""}));
}

TEST_F(Dispatch, SecondInletTurnsNumbersIntoFt)
{
    auto b = make("qzt.probe");
    host.clear_logs();
    EXPECT_EQ(host.inlet_count(b), 2);
    EXPECT_TRUE(host.send_int(b, 1, 4));
    EXPECT_TRUE(host.send_float(b, 1, -0.5));
    EXPECT_TRUE(host.send_text(b, 1, "9"));
    EXPECT_FALSE(host.send(b, 1, "bang", {}));
    EXPECT_FALSE(host.send(b, 1, "list", {L(1), L(2)}));
    EXPECT_FALSE(host.send_float(b, 2, 1.0)); // no such inlet
    EXPECT_FALSE(host.send_float(b, -1, 1.0));
    auto t = texts(b);
    ASSERT_EQ(t.size(), 7u);
    EXPECT_EQ(Strings(t.begin(), t.begin() + 3), (Strings{"ft1 4", "ft1 -0.5", "ft1 9"}));
    for (size_t k = 3; k < t.size(); ++k)
        EXPECT_TRUE(host.console_log()[k].error) << t[k];
}

TEST_F(Dispatch, TextMessagesAsInAMessageBox)
{
    auto b = make("qzt.probe");
    host.clear_logs();
    EXPECT_TRUE(host.send_text(b, 0, "60 64 67"));
    EXPECT_TRUE(host.send_text(b, 0, "440"));
    EXPECT_TRUE(host.send_text(b, 0, "  2.5 "));
    EXPECT_TRUE(host.send_text(b, 0, "bang"));
    EXPECT_TRUE(host.send_text(b, 0, "name   hello"));
    EXPECT_TRUE(host.send_text(b, 0, "along 4")); // a selector naming an attribute sets it
    EXPECT_FALSE(host.send_text(b, 0, "   "));
    EXPECT_EQ(texts(b),
              (Strings{"list 3: l60 l64 l67", "int 440", "float 2.5", "bang", "name hello"}));
    std::vector<t_atom> v;
    ASSERT_TRUE(host.attr_get(b, "along", v));
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].a_w.w_long, 4);
}

TEST_F(Dispatch, RoutineMayWriteItsAtomsWithoutTouchingTheSender)
{
    auto b = make("qzt.probe");
    std::vector<t_atom> args{L(1), L(2)};
    EXPECT_TRUE(host.send(b, 0, "list", args));
    EXPECT_EQ(args[0].a_w.w_long, 1);
    // Long messages too (beyond the host's stack buffer).
    std::vector<t_atom> many(100, L(5));
    EXPECT_TRUE(host.send(b, 0, "list", many));
    EXPECT_EQ(many[0].a_w.w_long, 5);
}

TEST_F(Dispatch, MessagesToFreedOrUnknownBoxesFail)
{
    auto b = make("qzt.probe");
    host.free_box(b);
    EXPECT_FALSE(host.alive(b));
    EXPECT_FALSE(host.send_float(b, 0, 1));
    EXPECT_FALSE(host.send_float(1234, 0, 1));
    EXPECT_FALSE(host.send_float(-1, 0, 1));
    host.free_box(b); // a second free is a no-op
}

TEST_F(Dispatch, AssistWritesOnlyWhatTheRoutineWrites)
{
    auto b = make("qzt.probe");
    bool written = true;
    EXPECT_EQ(host.assist(b, ASSIST_INLET, 0, &written), "probe in");
    EXPECT_TRUE(written);
    EXPECT_EQ(host.assist(b, ASSIST_OUTLET, 1, &written), "probe out 1");
    EXPECT_EQ(host.assist(b, ASSIST_OUTLET, 0, &written), "");
    EXPECT_FALSE(written);
    auto i = make("qzt.onlyint"); // no assist routine
    EXPECT_EQ(host.assist(i, ASSIST_INLET, 0, &written), "");
    EXPECT_FALSE(written);
}

TEST_F(Dispatch, ObjectMethodCallsPrivateRoutinesByTheirSignature)
{
    auto b = make("qzt.probe");
    t_object *x = host.object(b);
    char text[ASSIST_MAX_STRING_LEN] = {};
    object_method(x, host.sym("assist"), nullptr, (void *)(intptr_t)ASSIST_OUTLET, (void *)1, text);
    EXPECT_STREQ(text, "probe out 1");
    char cold = 0;
    object_method_imp(x, host.sym("inletinfo"), nullptr, (void *)1, &cold, nullptr, nullptr,
                      nullptr, nullptr, nullptr);
    EXPECT_EQ(cold, 1); // inlets right of the first only store
    object_method_imp(x, host.sym("inletinfo"), nullptr, (void *)0, &cold, nullptr, nullptr,
                      nullptr, nullptr, nullptr);
    EXPECT_EQ(cold, 0); // the leftmost inlet is hot
    host.clear_logs();
    object_method(x, host.sym("bang"));
    object_method(x, host.sym("int"), (void *)(intptr_t)-4);
    EXPECT_EQ(texts(b), (Strings{"bang", "int -4"}));
}

} // namespace
