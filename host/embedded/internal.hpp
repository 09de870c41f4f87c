// Internal records of the embedded host, shared by its source files.
//
// Every Host owns one Impl: symbols, classes, attributes, instances, boxes,
// clocks, modules and logs. The C operations reach the Impl that is running
// plug-in code through a thread-local pointer, installed by HostScope.
#ifndef QZ_HOST_EMBEDDED_INTERNAL_HPP
#define QZ_HOST_EMBEDDED_INTERNAL_HPP

#include "macho.hpp"
#include "maxapi.h"
#include "qzhost.hpp"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qzhost::detail {

// Values of t_object::o_magic telling the kinds of host-made objects apart
// (they fit the 32-bit host's pointer-sized field as well).
constexpr t_ptr_int kMagicInstance = 0x71'7a'69'6e; // live instance
constexpr t_ptr_int kMagicClock = 0x71'7a'63'6c;    // clock
constexpr t_ptr_int kMagicAttr = 0x71'7a'61'74;     // attribute
constexpr t_ptr_int kMagicFreed = 0x71'7a'64'65;    // instance whose destructor ran

// Longest console text kept; longer texts are cut.
constexpr size_t kConsoleTextMax = 2000;
// Nested outlet deliveries allowed before a delivery is dropped.
constexpr int kMaxDeliveryDepth = 1000;
// Most argument-type codes read for one method.
constexpr int kMaxArgTypes = 8;
// Atoms passed to a routine are copied into a local buffer of this size;
// longer messages use the heap.
constexpr size_t kLocalAtoms = 32;

struct MethodRec {
    t_symbol *name;
    method fn;
    std::vector<short> types; // without the closing 0
};

struct AttrAttr {
    t_symbol *name;
    t_symbol *type;
    std::vector<t_atom> atoms;
};

// An attribute object: t_object-headed so that object_method and freeobject
// can recognise it.
struct AttrRec {
    t_object ob;
    Host::Impl *host;
    t_symbol *name;
    t_symbol *type; // "long", "atom_long", "float32" or "float64"
    long flags;
    method getter; // null: the default getter
    method setter; // null: the default setter
    long offset;
    bool clip_min;
    bool clip_max;
    double min;
    double max;
    std::vector<AttrAttr> attrattrs; // in registration order
};

struct Connection {
    BoxId to;
    int inlet;
};

struct InstRec;

// What an outlet was made to send: the host's typed outlets (intout,
// floatout) always send their own message.
enum class OutletKind { Int, Float };

struct OutletRec {
    InstRec *owner;
    int order; // creation order within the instance
    OutletKind kind;
    std::vector<Connection> conns;
};

// The host's record of one instance. The instance's header holds the host's
// record pointers in all four fields, as the host's own header does:
//   o_messlist  the class (its message routines)
//   o_magic     kMagicInstance
//   o_inlet     this record (which lists the inlets)
//   o_outlet    the outlet made last (the leftmost), null before the first
// A plug-in whose own header is smaller than the host's overwrites the last
// of them with its first field; inst_of() then refuses the instance.
struct InstRec {
    Host::Impl *host;
    t_object *obj;
    struct ::_class *cls;
    BoxId box = -1;                   // -1: not (or not yet) a box
    std::vector<bool> inlets;         // inlets[n]: inlet n exists; inlet 0 always
    std::vector<OutletRec *> outlets; // creation order (index 0 = made first = rightmost)
    bool destroyed = false;           // destructor has run
    bool dying = false;               // freed while plug-in code ran: destructor pending
    bool header_reported = false;     // an overwritten header has been reported
};

struct ClockRec {
    t_object ob;
    Host::Impl *host;
    void *owner;
    method fn;
    double due;
    uint64_t seq;       // arming sequence number: ties fire in arming order
    ptrdiff_t heap_pos; // index in the pending heap, -1 when not armed
    size_t slot;        // index in Impl::clocks
};

struct SvHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept
    {
        return std::hash<std::string_view>{}(s);
    }
};

// Casts a routine back to its own type. The detour through a plain function
// pointer type keeps -Wcast-function-type quiet: it is the cast the host's API
// requires, and the routine is then called through its real type.
template <class F> F fn_cast(method m)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(m));
}

// Conversions shared by dispatch and attributes.
t_atom_long to_long(double v); // truncation toward zero, saturating to t_atom_long, NaN -> 0
bool is_number(const t_atom &a);
double number_of(const t_atom &a);    // 0 for a symbol
t_atom_long long_of(const t_atom &a); // 0 for a symbol
// The atom that a word of box text reads as when it is a number (as
// Host::parse_atom reads it); false for a word that is no number.
bool number_atom(std::string_view w, t_atom &out);

} // namespace qzhost::detail

// A class record (opaque to plug-ins).
struct _class {
    qzhost::Host::Impl *host;
    std::string name;
    method mnew;
    method mfree;
    long size;
    std::vector<short> ctor_types;
    std::vector<qzhost::detail::MethodRec> methods; // registration order
    std::vector<qzhost::detail::AttrRec *> attrs;   // registration order
    bool registered = false;
    bool internal = false; // the host's own classes (attribute, clock)

    const qzhost::detail::MethodRec *find_method(const t_symbol *s) const
    {
        for (const auto &m : methods)
            if (m.name == s)
                return &m;
        return nullptr;
    }
    qzhost::detail::AttrRec *find_attr(const t_symbol *s) const
    {
        for (auto *a : attrs)
            if (a->name == s)
                return a;
        return nullptr;
    }
};

namespace qzhost {

struct Module {
    std::string path;        // canonical path of the file asked for
    std::string loaded_path; // the file really loaded (a private copy or path)
    std::string temp_dir;    // folder of the private copy, "" when none
    void *handle = nullptr;
#if !defined(_WIN32)
    macho::Image image; // a macOS bundle's slice, mapped by our own loader
#endif
};

struct Host::Impl {
    Impl();
    ~Impl();
    Host *self = nullptr;

    // ---- symbols
    std::unordered_map<std::string, t_symbol *, detail::SvHash, std::equal_to<>> symtab;
    std::deque<t_symbol> symbols;
    t_symbol *intern(std::string_view text);
    t_symbol *s_int, *s_float, *s_list, *s_empty, *s_long, *s_atom_long, *s_float32, *s_float64,
        *s_assist, *s_inletinfo, *s_setmethod, *s_get, *s_set, *s_gettype, *s_getname, *s_box;
    t_symbol *s_ft[10];

    // ---- classes and attributes
    std::vector<std::unique_ptr<_class>> classes;
    std::unordered_map<std::string, _class *, detail::SvHash, std::equal_to<>> registry;
    std::vector<std::unique_ptr<detail::AttrRec>> attrs;
    _class attr_class;
    _class clock_class;
    _class *find_class(std::string_view name) const;

    // ---- instances and boxes
    std::unordered_set<detail::InstRec *> instances; // every live instance record
    std::vector<detail::InstRec *> boxes;            // by BoxId; null when freed
    std::vector<detail::InstRec *> graveyard;        // released while plug-in code runs
    std::vector<detail::InstRec *> doomed;           // freed while plug-in code runs
    struct Creating {
        _class *cls;
        detail::InstRec *rec; // placeholder for the box being made
        bool tied;
    };
    std::vector<Creating> creating;
    detail::InstRec *box_rec(BoxId b) const;
    detail::InstRec *new_instance(_class *c); // null on failure
    void destroy_instance(detail::InstRec *r, bool call_destructor);
    // Frees a box now, or, while plug-in code runs (depth > 1: a host call
    // below the caller's own), as soon as the outermost host call returns.
    void free_instance(detail::InstRec *r);
    void flush_deferred(); // doomed boxes' destructors, then the graveyard
    bool flushing = false;
    void release_record(detail::InstRec *r);
    void flush_graveyard();
    bool create_box(_class *c, std::string_view name, const t_atom *argv, long argc, BoxId &out);

    // ---- dispatch
    // `exact`, when given, is the double of a float message that came as a
    // double (an outlet's, or a driver's send_float): number routines get it
    // unnarrowed, while its atom holds a t_atom_float (single in the 32-bit
    // host), as a typed message's does.
    bool dispatch(detail::InstRec *r, t_symbol *sel, long argc, const t_atom *argv,
                  const double *exact = nullptr);
    bool call_method(detail::InstRec *r, const detail::MethodRec &m, t_symbol *sel, long argc,
                     const t_atom *argv, const double *exact = nullptr);
    bool deliver(BoxId to, int inlet, double f);
    bool deliver_int(BoxId to, int inlet, t_atom_long n);
    // The common part of outlet_float and outlet_int: checks, logs and
    // observers, then delivery along every connection.
    template <class Deliver> void send_out(detail::OutletRec *out, double logged, Deliver each);
    bool send_to(detail::InstRec *r, int inlet, t_symbol *sel, long argc, const t_atom *argv,
                 const double *exact = nullptr);
    bool send_one(BoxId box, int inlet, t_symbol *sel, const t_atom &a,
                  const double *exact = nullptr);
    int delivery_depth = 0;

    // ---- attributes
    bool attr_set(detail::InstRec *r, detail::AttrRec *a, long argc, const t_atom *argv);
    bool attr_get(detail::InstRec *r, detail::AttrRec *a, std::vector<t_atom> &out);

    // ---- clocks
    std::vector<detail::ClockRec *> clocks; // every live clock
    std::vector<detail::ClockRec *> heap;   // armed clocks, a binary min-heap on (due, seq)
    uint64_t arm_seq = 0;
    double now = 0.0;
    void heap_insert(detail::ClockRec *c);
    void heap_remove(detail::ClockRec *c);
    void heap_sift_up(size_t i);
    void heap_sift_down(size_t i);
    bool fire_next(double limit);
    void free_clock(detail::ClockRec *c);
    void disarm_owned_by(void *owner);

    // ---- console and logs
    std::vector<OutletEvent> outlet_log;
    std::vector<ConsoleLine> console_log;
    std::deque<OutletObserver> outlet_observers;
    std::deque<ConsoleObserver> console_observers;
    bool recording = true;
    void post(t_object *x, bool error, const char *text);
    void postf(t_object *x, bool error, const char *fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
        ;
    void post_box(BoxId box, const std::string &cls, bool error, const std::string &text);

    // ---- modules
    std::vector<std::string> search_paths;
    std::vector<Module> modules;
    int mains_called = 0;
    bool load_file(const std::string &path);
    bool load_class(std::string_view classname, bool report_missing);
    void unload_all();

    // ---- fault injection
    int fail_alloc_after = -1;
    int fail_newptr_after = -1;
    static bool take_fault(int &counter);

    // ---- scope
    int depth = 0; // HostScope nesting
};

namespace detail {

// The host running plug-in code on this thread, or null.
Host::Impl *current();
// Like current(), but writes a line naming `op` to stderr when there is none.
Host::Impl *current_or_complain(const char *op);

class HostScope {
  public:
    explicit HostScope(Host::Impl *h);
    ~HostScope();
    HostScope(const HostScope &) = delete;
    HostScope &operator=(const HostScope &) = delete;

  private:
    Host::Impl *self_;
    Host::Impl *prev_;
};

// The host's record of an instance, or null when x is no live host instance
// or its header no longer holds what the host wrote there (reported once).
InstRec *inst_of(const void *x);
// Writes the host's four header fields of an instance.
void write_header(InstRec *r);

} // namespace detail
} // namespace qzhost

#endif // QZ_HOST_EMBEDDED_INTERNAL_HPP
