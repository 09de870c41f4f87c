// The host's binary interface as plug-ins meet it: the four-field header that
// the host owns, and the width of the numbers that atoms carry (single floats
// and 32-bit integers in the 32-bit host, a float message from an outlet a
// double in every host). The expected texts are IEEE facts: 0.1 as a single
// is 0x3dcccccd = 0.100000001490116119384765625 ("%.17g": 0.10000000149011612),
// as a double 0.1000000000000000055511151231257827 (0.10000000000000001);
// 2^32 + 1 is no 32-bit integer, and as a single it is 2^32.
#include "host_fixture.hpp"

#include <type_traits>

using Strings = std::vector<std::string>;

// Signatures, return types and constants as the host's headers have them
// (sizes and offsets are pinned in maxapi.h itself).
static_assert(std::is_same_v<decltype(&attr_args_process), void (*)(void *, short, t_atom *)>);
static_assert(std::is_same_v<decltype(class_attr_get(nullptr, nullptr)), void *>);
static_assert(std::is_same_v<decltype(attr_offset_new(nullptr, nullptr, 0, nullptr, nullptr, 0)),
                             t_object *>);
static_assert(std::is_same_v<decltype(intout(nullptr)), void *>);
static_assert(std::is_same_v<decltype(floatout(nullptr)), void *>);
static_assert(std::is_same_v<decltype(floatin(nullptr, 1)), void *>);
static_assert(std::is_same_v<decltype(clock_new(nullptr, nullptr)), t_clock *>);
static_assert(std::is_same_v<decltype(atom_getfloat(nullptr)), t_atom_float>);
static_assert(std::is_same_v<decltype(atom_getlong(nullptr)), t_atom_long>);
static_assert(std::is_same_v<decltype(&atom_setfloat), t_max_err (*)(t_atom *, double)>);
static_assert(std::is_same_v<decltype(&sysmem_newptr), t_ptr (*)(t_ptr_size)>);
static_assert(std::is_same_v<decltype(CLASS_BOX), t_symbol *>);
static_assert(ASSIST_MAX_STRING_LEN == 500);
static_assert(ASSIST_INLET == 1 && ASSIST_OUTLET == 2);
static_assert(A_NOTHING == 0 && A_LONG == 1 && A_FLOAT == 2 && A_SYM == 3 && A_GIMME == 8 &&
              A_CANT == 9);
static_assert(MAX_ERR_NONE == 0 && MAX_ERR_GENERIC == -1);
#if !QZ_HOST_32BIT && !defined(object_method)
#error "64-bit builds must call object_method_imp wherever the source writes object_method"
#endif

namespace {

class Abi : public qzt::HostTest {};

// A plug-in whose record begins with a header one field short of the host's:
// its first field overlaps the host's outlet field. The box is refused when
// it is made, with an error naming the fault, not later in a corrupted patch.
TEST_F(Abi, PluginWithASmallerHeaderIsRefusedAtOnce)
{
    EXPECT_EQ(host.create("qzt.shorthead"), -1);
    EXPECT_EQ(errors(), (Strings{"qzt.shorthead: the host's object header was overwritten (the "
                                 "instance record must begin with the host's " +
                                     std::to_string(4 * sizeof(void *)) + "-byte t_object)",
                                 "qzt.shorthead: could not create"}));
    // A plug-in with the host's header is made as usual meanwhile.
    EXPECT_GE(make("qzt.probe"), 0);
}

// The host owns all four header fields and keeps them up to date.
TEST_F(Abi, HeaderFieldsAreTheHosts)
{
    auto a = make("qzt.probe");
    auto b = make("qzt.probe");
    const t_object *x = host.object(a);
    const t_object *y = host.object(b);
    EXPECT_EQ(x->o_messlist, y->o_messlist); // one class
    EXPECT_EQ(x->o_magic, y->o_magic);       // both live
    EXPECT_NE(x->o_inlet, y->o_inlet);       // each its own inlets
    EXPECT_NE(x->o_outlet, nullptr);
    EXPECT_NE(x->o_outlet, y->o_outlet); // and outlets
}

#if QZ_HOST_32BIT
const char *const kTyped01 = "0.10000000149011612";
const char *const kTyped02 = "0.20000000298023224";
const char *const kTypedBigInt = "float 4294967296";
#else
const char *const kTyped01 = "0.10000000000000001";
const char *const kTyped02 = "0.20000000000000001";
const char *const kTypedBigInt = "int 4294967297";
#endif

// A typed message is made of atoms: in the 32-bit host its floats are
// singles and its integers 32 bits wide. A float sent from an outlet, or by
// a driver as an outlet would send it, reaches a number routine as a double.
TEST_F(Abi, TypedNumbersAreAtomsWhileOutletFloatsStayDoubles)
{
    auto a = make("qzt.probe");
    auto b = make("qzt.probe");
    ASSERT_TRUE(host.connect(a, 0, b, 0));
    ASSERT_TRUE(host.attr_set(a, "relay", {qzt::L(2)})); // a sends every float on
    host.clear_logs();

    host.send_float(a, 0, 0.1);
    EXPECT_EQ(texts(a), (Strings{"float 0.10000000000000001"}));
    EXPECT_EQ(texts(b), (Strings{"float 0.10000000000000001"}));
    host.clear_logs();

    host.send_text(a, 0, "0.1");
    EXPECT_EQ(texts(a), (Strings{std::string("float ") + kTyped01}));
    host.clear_logs();

    host.send_float(a, 1, 0.1); // ft1 from an outlet
    host.send_text(a, 1, "0.1");
    EXPECT_EQ(texts(a), (Strings{"ft1 0.10000000000000001", std::string("ft1 ") + kTyped01}));
    host.clear_logs();

    host.send_text(b, 0, "0.1 0.2 2147483647");
    EXPECT_EQ(texts(b),
              (Strings{std::string("list 3: f") + kTyped01 + " f" + kTyped02 + " l2147483647"}));
    host.clear_logs();

    host.send_text(b, 0, "4294967297");
    EXPECT_EQ(texts(b), (Strings{kTypedBigInt}));
}

} // namespace
