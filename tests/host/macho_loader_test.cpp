// The Mach-O loader on the bundles of `make macos` and on damaged copies of
// them: the slice of this process's architecture is taken, a name that
// neither the host's API nor clib.h provides is refused by name, and no
// damaged file is followed out of bounds (the suite also runs under
// AddressSanitizer's eyes in make check's asan stage when QZ_MACOS_DIR is
// set there). The facts about the files' layout come from the Mach-O
// headers (<mach-o/fat.h>, <mach-o/loader.h>), as llvm-objdump-16 prints
// them; scripts/check-macho.py checks the same files independently.
#include "macho.hpp"
#include "qzhost.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t be32(const unsigned char *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

constexpr uint32_t kCpuX86_64 = 0x01000007, kCpuArm64 = 0x0100000c;

uint32_t le32(const unsigned char *p)
{
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

// This process's slice and the other one, with their names.
const uint32_t kOwn = qzhost::macho::process_cpu_type();
const uint32_t kOther = kOwn == kCpuX86_64 ? kCpuArm64 : kCpuX86_64;
const std::string kOwnName = kOwn == kCpuX86_64 ? "x86_64" : "arm64";
const std::string kOtherName = kOwn == kCpuX86_64 ? "arm64" : "x86_64";

// The end of the slice's string table (LC_SYMTAB: symoff, nsyms, stroff,
// strsize), the last table the loader reads; only the arm64 slice's code
// signature follows it.
size_t tables_end(const Bytes &m)
{
    size_t at = 32;
    for (uint32_t i = 0; i < le32(m.data() + 16); ++i) {
        if (le32(m.data() + at) == 0x2)
            return le32(m.data() + at + 16) + le32(m.data() + at + 20);
        at += le32(m.data() + at + 4);
    }
    return 0;
}

// The thin slice for `cpu` out of a universal file (fat_arch: cputype,
// cpusubtype, offset, size, align; big-endian).
Bytes slice(const Bytes &fat, uint32_t cpu)
{
    for (uint32_t i = 0; i < be32(fat.data() + 4); ++i) {
        const unsigned char *a = fat.data() + 8 + 20 * size_t(i);
        if (be32(a) == cpu)
            return Bytes(fat.begin() + be32(a + 8), fat.begin() + be32(a + 8) + be32(a + 12));
    }
    return {};
}

// Replaces every occurrence of `from` by `to` (same length).
int replace_all(Bytes &b, const std::string &from, const std::string &to)
{
    int n = 0;
    for (size_t i = 0; i + from.size() <= b.size(); ++i)
        if (std::memcmp(b.data() + i, from.data(), from.size()) == 0) {
            std::memcpy(b.data() + i, to.data(), to.size());
            ++n;
        }
    return n;
}

std::string load_error(const Bytes &b)
{
    qzhost::macho::Image image;
    std::string err;
    if (qzhost::macho::load(b.data(), b.size(), image, err)) {
        qzhost::macho::unload(image);
        return "";
    }
    EXPECT_FALSE(err.empty());
    return err;
}

class MachoLoader : public ::testing::Test {
  protected:
    void SetUp() override
    {
        fat =
            read_file(qzhost::macho::bundle_binary(std::string(QZ_MACOS_DIR) + "/qz.subtone.mxo"));
        ASSERT_GT(fat.size(), 4096u) << "make macos builds " << QZ_MACOS_DIR;
        ASSERT_EQ(be32(fat.data()), 0xcafebabeu);
    }
    Bytes fat;
};

TEST(MachoBundle, BinaryPathInsideTheBundle)
{
    EXPECT_EQ(qzhost::macho::bundle_binary("/x/qz.subtone.mxo/"),
              "/x/qz.subtone.mxo/Contents/MacOS/qz.subtone");
    EXPECT_EQ(qzhost::macho::bundle_binary("qz.pitchtally.mxo"),
              "qz.pitchtally.mxo/Contents/MacOS/qz.pitchtally");
}

// The universal file and this process's thin slice load; the other
// architecture's slice, or a universal file without ours, is refused with
// the architectures named.
TEST_F(MachoLoader, TakesTheSliceOfThisProcess)
{
    EXPECT_EQ(load_error(fat), "");
    EXPECT_EQ(load_error(slice(fat, kOwn)), "");
    EXPECT_EQ(load_error(slice(fat, kOther)),
              "a Mach-O file for " + kOtherName + ", not for " + kOwnName);
    Bytes other = fat;
    std::string listed;
    for (uint32_t i = 0; i < be32(other.data() + 4); ++i) {
        if (be32(other.data() + 8 + 20 * size_t(i)) == kOwn) {
            other[8 + 20 * i + 3] = 0x12; // cputype 0x01000012 (PowerPC 64)
            listed += listed.empty() ? "another architecture" : ", another architecture";
        } else {
            listed += listed.empty() ? kOtherName : ", " + kOtherName;
        }
    }
    EXPECT_EQ(load_error(other), "no " + kOwnName + " slice (the file has " + listed + ")");
}

// An import that is neither the host's nor clib.h's is refused by its name,
// in the lazy table (snprintf) as in the non-lazy one.
TEST_F(MachoLoader, RefusesAForeignImportByName)
{
    Bytes b = slice(fat, kOwn);
    ASSERT_GT(replace_all(b, "_snprintf", "_sprintfX"), 0);
    EXPECT_EQ(load_error(b),
              "imports \"sprintfX\", which neither the host's API nor the C library provides");
    b = slice(fat, kOwn);
    ASSERT_GT(replace_all(b, std::string("dyld_stub_binder"), std::string("dyld_stub_bindeR")), 0);
    EXPECT_EQ(load_error(b), "imports \"dyld_stub_bindeR\", which is no C name");
}

// Every prefix of the slice that ends before its string table does is
// refused.
TEST_F(MachoLoader, EveryTruncationIsRefused)
{
    const Bytes b = slice(fat, kOwn);
    const size_t end = tables_end(b);
    ASSERT_GT(end, 4096u);
    ASSERT_LE(end, b.size());
    for (size_t n = 0; n < end; n += n < 4096 ? 7 : 61) {
        const Bytes cut(b.begin(), b.begin() + static_cast<long>(n));
        EXPECT_NE(load_error(cut), "") << n << " bytes";
    }
}

// Random damage to the header, the load commands and the fixup tables is
// refused or loaded, never followed out of bounds (seeded: the same
// 3000 files every run). A loaded image is not run.
TEST_F(MachoLoader, DamagedCommandsAndTablesNeverReadOutOfBounds)
{
    const Bytes b = slice(fat, kOwn);
    std::mt19937 rng(30);
    int refused = 0;
    for (int i = 0; i < 3000; ++i) {
        Bytes d = b;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < flips; ++k) {
            // The header and commands (first 2 KiB) or anywhere in the file.
            const size_t at = (rng() % 2) ? rng() % 2048 : rng() % d.size();
            d[at] = static_cast<unsigned char>(rng());
        }
        refused += load_error(d).empty() ? 0 : 1;
    }
    EXPECT_GT(refused, 0);
}

// A bundle found on the search path loads in each Host with globals of its
// own: freeing one Host leaves the other's class working.
TEST(MachoHosts, EachHostMapsItsOwnCopy)
{
    auto a = std::make_unique<qzhost::Host>();
    qzhost::Host b;
    a->add_search_path(QZ_MACOS_DIR);
    b.add_search_path(QZ_MACOS_DIR);
    ASSERT_GE(a->create("qz.subtone"), 0);
    const qzhost::BoxId box = b.create("qz.subtone");
    ASSERT_GE(box, 0);
    a.reset();
    b.send(box, 0, "list", b.parse_atoms("440 550 660"));
    ASSERT_EQ(b.outlet_log().size(), 1u);
    // 110.0459 (0x1.b82efcp+6): the documented result, tests/subtone/literal_search.py
    EXPECT_EQ(b.outlet_log()[0].value, 0x1.b82efcp+6);
    EXPECT_EQ(b.mains_called(), 1);
}

// Variadic calls from the plug-in reach the host's routines and the C
// library with every argument in place: the same text from the native
// module and from the bundle's slice (on arm64 through the loader's shims,
// which read arm64 macOS's stack slots). The expected text is printf's, by
// the C standard: %g of 0.1 is "0.1", %.3f of 3.14159 "3.142", %*d with 6
// and 12 "    12", %5.1e of 12345.678 "1.2e+04", %x of 255 "ff"; %a of
// 0.1 is its bits, 0x1.999999999999ap-4; the text before "(24 characters)"
// has 24.
TEST(MachoVariadic, EveryArgumentArrivesInPlace)
{
    const std::vector<std::string> expected = {
        "42|text|0.1|3.142|-7|    12|z|1.2e+04|%|ff",
        "0.50 1 1.50 2 2.50 3 end (24 characters)",
        "0.10000000000000001 0x1.999999999999ap-4",
    };
    for (const std::string &dir :
         {std::string(QZ_HOST_TEST_PLUGINS), std::string(QZ_MACOS_DIR) + "/test"}) {
        qzhost::Host h;
        h.add_search_path(dir);
        const qzhost::BoxId box = h.create("qzt.variadic");
        ASSERT_GE(box, 0) << dir;
        h.send(box, 0, "bang", {});
        h.send(box, 0, "float", h.parse_atoms("0.1"));
        std::vector<std::string> lines;
        for (const auto &line : h.console_log())
            lines.push_back(line.text);
        EXPECT_EQ(lines, expected) << dir;
    }
}

} // namespace
