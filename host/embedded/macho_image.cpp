// Mapping one Mach-O slice and applying its fixups (see macho.hpp). Every
// offset, count and index read from the file is checked against the bytes
// and segments it refers to: a damaged or hostile file is refused with a
// reason, never followed out of bounds.
#include "macho.hpp"

#include <cstring>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace qzhost::macho {

namespace {

// Values of <mach-o/loader.h> and <mach-o/fat.h>.
constexpr uint32_t kFatMagic = 0xcafebabe; // big-endian universal header
constexpr uint32_t kMagic64 = 0xfeedfacf;  // 64-bit little-endian Mach-O
constexpr uint32_t kCpuX86_64 = 0x01000007;
constexpr uint32_t kCpuArm64 = 0x0100000c;
constexpr uint32_t kBundle = 8; // MH_BUNDLE
constexpr uint32_t kLcSegment64 = 0x19;
constexpr uint32_t kLcSymtab = 0x2;
constexpr uint32_t kLcDyldInfo = 0x22;
constexpr uint32_t kLcDyldInfoOnly = 0x80000022;
constexpr uint32_t kLcChainedFixups = 0x80000034;
constexpr uint32_t kSectionType = 0xff;
constexpr uint32_t kModInitFuncPointers = 0x9;
constexpr uint32_t kModTermFuncPointers = 0xa;
constexpr uint32_t kFirstThreadLocalType = 0x11; // S_THREAD_LOCAL_REGULAR ...
constexpr uint32_t kLastThreadLocalType = 0x15;  // ... S_THREAD_LOCAL_INIT_FUNCTION_POINTERS
constexpr uint32_t kProtRead = 1, kProtWrite = 2, kProtExecute = 4;
constexpr uint8_t kExternalDefined = 0x0f; // N_EXT | N_SECT in n_type (N_STAB clear)

uint32_t le32(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint64_t le64(const unsigned char *p)
{
    return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32;
}

uint32_t be32(const unsigned char *p)
{
    return uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
}

// A range [off, off + len) lies inside [0, size).
bool inside(uint64_t off, uint64_t len, uint64_t size)
{
    return off <= size && len <= size - off;
}

struct Segment {
    std::string name;
    uint64_t vmaddr, vmsize, fileoff, filesize;
    uint32_t initprot;
};

struct Slice {
    const unsigned char *data = nullptr;
    size_t size = 0;
    std::vector<Segment> segments;
    uint64_t rebase_off = 0, rebase_size = 0, bind_off = 0, bind_size = 0;
    uint64_t weak_off = 0, weak_size = 0, lazy_off = 0, lazy_size = 0;
    uint64_t symoff = 0, nsyms = 0, stroff = 0, strsize = 0;
    bool have_dyld_info = false, have_symtab = false;
};

const char *cpu_name(uint32_t cpu)
{
    switch (cpu) {
    case kCpuX86_64:
        return "x86_64";
    case kCpuArm64:
        return "arm64";
    default:
        return "another architecture";
    }
}

// The bytes of this process's slice: the whole file when it is thin.
bool pick_slice(const unsigned char *data, size_t size, Slice &s, std::string &err)
{
    const uint32_t want = process_cpu_type();
    if (want == 0) {
        err = "no Mach-O slice runs in a process of this architecture";
        return false;
    }
    if (size >= 8 && be32(data) == kFatMagic) {
        const uint32_t n = be32(data + 4);
        if (!inside(8, uint64_t(n) * 20, size)) {
            err = "universal header lists more slices than the file holds";
            return false;
        }
        std::string found;
        for (uint32_t i = 0; i < n; ++i) {
            const unsigned char *a = data + 8 + 20 * size_t(i);
            const uint32_t cpu = be32(a), off = be32(a + 8), len = be32(a + 12);
            if (cpu != want) {
                found += std::string(found.empty() ? "" : ", ") + cpu_name(cpu);
                continue;
            }
            if (!inside(off, len, size)) {
                err =
                    std::string("the ") + cpu_name(cpu) + " slice lies beyond the end of the file";
                return false;
            }
            s.data = data + off;
            s.size = len;
            return true;
        }
        err = std::string("no ") + cpu_name(want) + " slice (the file has " +
              (found.empty() ? std::string("none") : found) + ")";
        return false;
    }
    s.data = data;
    s.size = size;
    return true;
}

bool read_commands(Slice &s, std::string &err)
{
    const unsigned char *d = s.data;
    if (s.size < 32 || le32(d) != kMagic64) {
        err = "not a 64-bit Mach-O file";
        return false;
    }
    if (le32(d + 4) != process_cpu_type()) {
        err = std::string("a Mach-O file for ") + cpu_name(le32(d + 4)) + ", not for " +
              cpu_name(process_cpu_type());
        return false;
    }
    if (le32(d + 12) != kBundle) {
        err = "not a Mach-O bundle (MH_BUNDLE)";
        return false;
    }
    const uint32_t ncmds = le32(d + 16), sizeofcmds = le32(d + 20);
    if (!inside(32, sizeofcmds, s.size)) {
        err = "load commands run past the end of the file";
        return false;
    }
    uint64_t at = 32;
    const uint64_t end = 32 + uint64_t(sizeofcmds);
    for (uint32_t i = 0; i < ncmds; ++i) {
        if (end - at < 8) {
            err = "load commands run past their stated size";
            return false;
        }
        const unsigned char *c = d + at;
        const uint32_t cmd = le32(c), cmdsize = le32(c + 4);
        if (cmdsize < 8 || cmdsize > end - at) {
            err = "a load command has an impossible size";
            return false;
        }
        if (cmd == kLcSegment64) {
            if (cmdsize < 72) {
                err = "a segment command is too short";
                return false;
            }
            Segment g;
            g.name.assign(reinterpret_cast<const char *>(c + 8),
                          strnlen(reinterpret_cast<const char *>(c + 8), 16));
            g.vmaddr = le64(c + 24);
            g.vmsize = le64(c + 32);
            g.fileoff = le64(c + 40);
            g.filesize = le64(c + 48);
            g.initprot = le32(c + 60);
            const uint32_t nsects = le32(c + 64);
            if (uint64_t(nsects) * 80 > cmdsize - 72) {
                err = "segment " + g.name + " lists more sections than its command holds";
                return false;
            }
            if (!inside(g.fileoff, g.filesize, s.size) || g.filesize > g.vmsize ||
                g.vmaddr + g.vmsize < g.vmaddr) {
                err = "segment " + g.name + " lies outside the file or its own size";
                return false;
            }
            for (uint32_t k = 0; k < nsects; ++k) {
                const unsigned char *sec = c + 72 + 80 * size_t(k);
                const uint32_t type = le32(sec + 64) & kSectionType;
                const std::string sect(reinterpret_cast<const char *>(sec),
                                       strnlen(reinterpret_cast<const char *>(sec), 16));
                if (type == kModInitFuncPointers || type == kModTermFuncPointers) {
                    err = "section " + sect + " holds static constructors or destructors";
                    return false;
                }
                if (type >= kFirstThreadLocalType && type <= kLastThreadLocalType) {
                    err = "section " + sect + " holds thread-local variables";
                    return false;
                }
            }
            // Every segment keeps its place: fixups name segments by their
            // index among the segment commands, empty ones included.
            s.segments.push_back(g);
        } else if (cmd == kLcDyldInfo || cmd == kLcDyldInfoOnly) {
            if (cmdsize < 48) {
                err = "the dyld information command is too short";
                return false;
            }
            s.rebase_off = le32(c + 8);
            s.rebase_size = le32(c + 12);
            s.bind_off = le32(c + 16);
            s.bind_size = le32(c + 20);
            s.weak_off = le32(c + 24);
            s.weak_size = le32(c + 28);
            s.lazy_off = le32(c + 32);
            s.lazy_size = le32(c + 36);
            s.have_dyld_info = true;
        } else if (cmd == kLcChainedFixups) {
            err = "chained fixups (LC_DYLD_CHAINED_FIXUPS) are not supported";
            return false;
        } else if (cmd == kLcSymtab) {
            if (cmdsize < 24) {
                err = "the symbol table command is too short";
                return false;
            }
            s.symoff = le32(c + 8);
            s.nsyms = le32(c + 12);
            s.stroff = le32(c + 16);
            s.strsize = le32(c + 20);
            s.have_symtab = true;
        }
        at += cmdsize;
    }
    bool any = false;
    for (const Segment &g : s.segments)
        any = any || g.vmsize > 0;
    if (!any) {
        err = "no segment to map";
        return false;
    }
    if (!s.have_symtab || !inside(s.symoff, s.nsyms * 16, s.size) ||
        !inside(s.stroff, s.strsize, s.size)) {
        err = "no readable symbol table";
        return false;
    }
    if (s.have_dyld_info &&
        (!inside(s.rebase_off, s.rebase_size, s.size) || !inside(s.bind_off, s.bind_size, s.size) ||
         !inside(s.weak_off, s.weak_size, s.size) || !inside(s.lazy_off, s.lazy_size, s.size))) {
        err = "the dyld information lies outside the file";
        return false;
    }
    if (s.weak_size > 0) {
        err = "weak definitions (a weak bind table) are not supported";
        return false;
    }
    return true;
}

// Reads the fixup opcodes of one table (see <mach-o/loader.h>).
struct Opcodes {
    const unsigned char *p, *end;
    bool ok = true;

    bool more() const { return ok && p < end; }
    uint8_t byte() { return *p++; }
    uint64_t uleb()
    {
        uint64_t v = 0;
        for (unsigned shift = 0;; shift += 7) {
            if (p >= end || shift > 63) {
                ok = false;
                return 0;
            }
            const uint8_t b = *p++;
            v |= uint64_t(b & 0x7f) << shift;
            if (!(b & 0x80))
                return v;
        }
    }
    int64_t sleb()
    {
        uint64_t v = 0;
        unsigned shift = 0;
        uint8_t b = 0;
        do {
            if (p >= end || shift > 63) {
                ok = false;
                return 0;
            }
            b = *p++;
            v |= uint64_t(b & 0x7f) << shift;
            shift += 7;
        } while (b & 0x80);
        if (shift < 64 && (b & 0x40))
            v |= ~uint64_t(0) << shift;
        return static_cast<int64_t>(v);
    }
    const char *cstring()
    {
        const char *s = reinterpret_cast<const char *>(p);
        const void *nul = std::memchr(p, 0, static_cast<size_t>(end - p));
        if (!nul) {
            ok = false;
            return "";
        }
        p = static_cast<const unsigned char *>(nul) + 1;
        return s;
    }
};

class Mapper {
  public:
    Mapper(const Slice &s, unsigned char *base, uint64_t low) : s_(s), base_(base), low_(low) {}

    // The 8 bytes at `offset` into segment `seg`, or null when outside it.
    unsigned char *slot(uint64_t seg, uint64_t offset, std::string &err) const
    {
        if (seg >= s_.segments.size() || !inside(offset, 8, s_.segments[seg].vmsize)) {
            err = "a fixup lies outside its segment";
            return nullptr;
        }
        return base_ + (s_.segments[seg].vmaddr - low_) + offset;
    }

    bool rebase(std::string &err) const
    {
        Opcodes op{s_.data + s_.rebase_off, s_.data + s_.rebase_off + s_.rebase_size};
        uint64_t seg = 0, off = 0;
        const uint64_t slide = reinterpret_cast<uint64_t>(base_) - low_;
        auto one = [&]() {
            unsigned char *q = slot(seg, off, err);
            if (!q)
                return false;
            uint64_t v;
            std::memcpy(&v, q, 8);
            v += slide;
            std::memcpy(q, &v, 8);
            off += 8;
            return true;
        };
        while (op.more()) {
            const uint8_t b = op.byte();
            const uint8_t imm = b & 0x0f;
            switch (b & 0xf0) {
            case 0x00: // DONE
                return true;
            case 0x10: // SET_TYPE_IMM
                if (imm != 1) {
                    err = "a rebase of a kind other than a pointer";
                    return false;
                }
                break;
            case 0x20: // SET_SEGMENT_AND_OFFSET_ULEB
                seg = imm;
                off = op.uleb();
                break;
            case 0x30: // ADD_ADDR_ULEB
                off += op.uleb();
                break;
            case 0x40: // ADD_ADDR_IMM_SCALED
                off += uint64_t(imm) * 8;
                break;
            case 0x50: // DO_REBASE_IMM_TIMES
                for (unsigned i = 0; i < imm; ++i)
                    if (!one())
                        return false;
                break;
            case 0x60: { // DO_REBASE_ULEB_TIMES
                const uint64_t n = op.uleb();
                for (uint64_t i = 0; i < n && op.ok; ++i)
                    if (!one())
                        return false;
                break;
            }
            case 0x70: // DO_REBASE_ADD_ADDR_ULEB
                if (!one())
                    return false;
                off += op.uleb();
                break;
            case 0x80: { // DO_REBASE_ULEB_TIMES_SKIPPING_ULEB
                const uint64_t n = op.uleb(), skip = op.uleb();
                for (uint64_t i = 0; i < n && op.ok; ++i) {
                    if (!one())
                        return false;
                    off += skip;
                }
                break;
            }
            default:
                err = "an unknown rebase opcode";
                return false;
            }
        }
        if (!op.ok)
            err = "the rebase table ends inside an opcode";
        return op.ok;
    }

    // A bind or lazy bind table. A lazy table is a run of entries each
    // ended by DONE; the others end at their first DONE.
    bool bind(uint64_t table_off, uint64_t table_size, bool lazy, std::string &err) const
    {
        Opcodes op{s_.data + table_off, s_.data + table_off + table_size};
        uint64_t seg = 0, off = 0;
        int64_t addend = 0;
        const char *name = nullptr;
        auto one = [&]() {
            if (!name) {
                err = "a bind without a symbol";
                return false;
            }
            unsigned char *q = slot(seg, off, err);
            if (!q)
                return false;
            // The x86_64 stub helper's binder is the one name without the
            // leading underscore of C names.
            const bool binder = std::strcmp(name, "dyld_stub_binder") == 0;
            if (!binder && name[0] != '_') {
                err = std::string("imports \"") + name + "\", which is no C name";
                return false;
            }
            void *target = resolve(binder ? name : name + 1);
            if (!target) {
                err = std::string("imports \"") + (name + 1) +
                      "\", which neither the host's API nor the C library provides";
                return false;
            }
            const uint64_t v = reinterpret_cast<uint64_t>(target) + static_cast<uint64_t>(addend);
            std::memcpy(q, &v, 8);
            off += 8;
            return true;
        };
        while (op.more()) {
            const uint8_t b = op.byte();
            const uint8_t imm = b & 0x0f;
            switch (b & 0xf0) {
            case 0x00: // DONE
                if (!lazy)
                    return true;
                break;
            case 0x10: // SET_DYLIB_ORDINAL_IMM: names resolve flat, whatever
            case 0x30: // SET_DYLIB_SPECIAL_IMM  library they name
                break;
            case 0x20: // SET_DYLIB_ORDINAL_ULEB
                op.uleb();
                break;
            case 0x40: // SET_SYMBOL_TRAILING_FLAGS_IMM
                name = op.cstring();
                break;
            case 0x50: // SET_TYPE_IMM
                if (imm != 1) {
                    err = "a bind of a kind other than a pointer";
                    return false;
                }
                break;
            case 0x60: // SET_ADDEND_SLEB
                addend = op.sleb();
                break;
            case 0x70: // SET_SEGMENT_AND_OFFSET_ULEB
                seg = imm;
                off = op.uleb();
                break;
            case 0x80: // ADD_ADDR_ULEB
                off += op.uleb();
                break;
            case 0x90: // DO_BIND
                if (!one())
                    return false;
                break;
            case 0xa0: // DO_BIND_ADD_ADDR_ULEB
                if (!one())
                    return false;
                off += op.uleb();
                break;
            case 0xb0: // DO_BIND_ADD_ADDR_IMM_SCALED
                if (!one())
                    return false;
                off += uint64_t(imm) * 8;
                break;
            case 0xc0: { // DO_BIND_ULEB_TIMES_SKIPPING_ULEB
                const uint64_t n = op.uleb(), skip = op.uleb();
                for (uint64_t i = 0; i < n && op.ok; ++i) {
                    if (!one())
                        return false;
                    off += skip;
                }
                break;
            }
            default:
                err = "an unknown bind opcode";
                return false;
            }
        }
        if (!op.ok)
            err = "a bind table ends inside an opcode";
        return op.ok;
    }

  private:
    const Slice &s_;
    unsigned char *base_;
    uint64_t low_;
};

// The address of the external symbol `_ext_main` in the slice's symbol table.
bool find_entry(const Slice &s, uint64_t &addr)
{
    for (uint64_t i = 0; i < s.nsyms; ++i) {
        const unsigned char *n = s.data + s.symoff + 16 * i;
        const uint32_t strx = le32(n);
        if ((n[4] & 0xef) != kExternalDefined || strx >= s.strsize)
            continue;
        const char *name = reinterpret_cast<const char *>(s.data + s.stroff + strx);
        const size_t room = s.strsize - strx;
        if (strnlen(name, room) < room && std::strcmp(name, "_ext_main") == 0) {
            addr = le64(n + 8);
            return true;
        }
    }
    return false;
}

int protection(uint32_t prot)
{
    return ((prot & kProtRead) ? PROT_READ : 0) | ((prot & kProtWrite) ? PROT_WRITE : 0) |
           ((prot & kProtExecute) ? PROT_EXEC : 0);
}

} // namespace

uint32_t process_cpu_type()
{
#if defined(__x86_64__)
    return kCpuX86_64;
#elif defined(__aarch64__)
    return kCpuArm64;
#else
    return 0;
#endif
}

std::string bundle_binary(const std::string &bundle_dir)
{
    std::string dir = bundle_dir;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    const size_t slash = dir.find_last_of('/');
    std::string name = dir.substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".mxo") == 0)
        name.resize(name.size() - 4);
    return dir + "/Contents/MacOS/" + name;
}

bool load(const unsigned char *data, size_t size, Image &image, std::string &err)
{
    image = Image{};
    Slice s;
    if (!pick_slice(data, size, s, err) || !read_commands(s, err))
        return false;

    const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    uint64_t low = UINT64_MAX, high = 0;
    for (const Segment &g : s.segments) {
        if (g.vmsize == 0)
            continue;
        if (g.vmaddr % page != 0) {
            err = "segment " + g.name + " does not start on a page of this system";
            return false;
        }
        low = g.vmaddr < low ? g.vmaddr : low;
        high = g.vmaddr + g.vmsize > high ? g.vmaddr + g.vmsize : high;
    }
    const uint64_t span = (high - low + page - 1) / page * page;
    if (span == 0 || span > (uint64_t(1) << 32)) {
        err = "the segments span an impossible size";
        return false;
    }
    void *map = mmap(nullptr, static_cast<size_t>(span), PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) {
        err = "no memory to map the image";
        return false;
    }
    auto *base = static_cast<unsigned char *>(map);
    for (const Segment &g : s.segments)
        if (g.vmsize > 0)
            std::memcpy(base + (g.vmaddr - low), s.data + g.fileoff,
                        static_cast<size_t>(g.filesize));

    auto fail = [&]() {
        munmap(map, static_cast<size_t>(span));
        return false;
    };
    Mapper m(s, base, low);
    if (s.have_dyld_info && (!m.rebase(err) || !m.bind(s.bind_off, s.bind_size, false, err) ||
                             !m.bind(s.lazy_off, s.lazy_size, true, err)))
        return fail();

    uint64_t entry = 0;
    if (!find_entry(s, entry)) {
        err = "exports no ext_main";
        return fail();
    }
    bool in_code = false;
    for (const Segment &g : s.segments)
        in_code = in_code ||
                  ((g.initprot & kProtExecute) && entry >= g.vmaddr && entry < g.vmaddr + g.vmsize);
    if (!in_code) {
        err = "ext_main lies outside the image's code";
        return fail();
    }
    // The code was written through the data cache: make the instruction
    // cache see it (a no-op on x86-64).
    __builtin___clear_cache(reinterpret_cast<char *>(base), reinterpret_cast<char *>(base + span));
    for (const Segment &g : s.segments) {
        if (g.vmsize == 0)
            continue;
        const uint64_t len = (g.vmsize + page - 1) / page * page;
        if (mprotect(base + (g.vmaddr - low), static_cast<size_t>(len), protection(g.initprot)) !=
            0) {
            err = "segment " + g.name + " cannot be given its protection";
            return fail();
        }
    }
    image.base = map;
    image.size = static_cast<size_t>(span);
    image.entry = reinterpret_cast<void (*)(void *)>(base + (entry - low));
    return true;
}

void unload(Image &image)
{
    if (image.base)
        munmap(image.base, image.size);
    image = Image{};
}

} // namespace qzhost::macho
