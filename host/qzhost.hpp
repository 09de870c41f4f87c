// The embedded host: a small runtime that stands in for the Max host.
//
// It loads plug-ins the way the host does (load the module, call its `main`
// once), makes boxes from text, connects them, sends messages, sets and gets
// attributes and advances a virtual clock. The plug-ins call the host's C
// operations (maxapi.h); those reach the Host instance that is currently
// running them. Several Host instances may live at once; each keeps its own
// symbols, classes, boxes, clocks and console.
#ifndef QZ_HOST_QZHOST_HPP
#define QZ_HOST_QZHOST_HPP

#include "maxapi.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qzhost {

// Box handle; boxes are numbered from 0 in creation order. -1: no box.
using BoxId = int;

// One value that left an outlet.
struct OutletEvent {
    double time; // logical time in milliseconds
    BoxId box;   // the box that sent it
    int outlet;  // outlet index counted from the left from 0
    double value;
};

// One console line.
struct ConsoleLine {
    double time;     // logical time in milliseconds
    BoxId box;       // the posting box, or -1 (no object, e.g. a banner)
    std::string cls; // class name of the posting object ("" when none is known)
    bool error;      // object_error (true) or object_post (false)
    std::string text;
};

// What a class registered, as its `main` left it: for reference pages and
// other tools that describe a class without making a box.
struct MethodInfo {
    std::string name;
    std::vector<short> types; // argument-type codes, without the closing 0
};
struct AttrAttrInfo {
    std::string name;                // "label", "style", "enumvals", "save", ...
    std::string type;                // type symbol given at registration
    std::vector<std::string> values; // the atoms as text
};
struct AttrInfo {
    std::string name;
    std::string type; // "long", "atom_long", "float32" or "float64"
    long flags;
    bool clip_min, clip_max; // clip filter bounds in use
    double min, max;
    bool custom_get, custom_set;     // accessor replaced by the class
    std::vector<AttrAttrInfo> attrs; // registration order
};
struct ClassInfo {
    std::string name;
    std::vector<short> ctor_types;    // the constructor's argument-type codes
    std::vector<MethodInfo> methods;  // registration order
    std::vector<AttrInfo> attributes; // registration order
};

class Host {
  public:
    Host();
    ~Host(); // drops the observers, frees every box, then unloads every module
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    // ---- Loading ----------------------------------------------------------
    // Directories searched, in order, for "<class><ext>" (ext: ".so" on
    // ELF systems, ".mxe64" on 64-bit and ".mxe" on 32-bit Windows).
    void add_search_path(std::string dir);
    static const char *plugin_extension();
    // Loads the module that defines `classname` unless its class is already
    // registered, and calls its `main` once. false (and an error on the
    // console) when the file is missing, does not load, exports no `main`, or
    // registers no class of that name.
    bool load(std::string_view classname);
    // Loads a module by path and calls its `main`; false with an error line.
    bool load_file(const std::string &path);
    // Unloads every module (frees every box first).
    void unload_all();
    // How many times a `main` has been called by this host.
    int mains_called() const;

    // ---- Boxes ------------------------------------------------------------
    // Parses box text the way the host does ("qz.subtone 0.5 @mode 1"):
    // the first word names the class (loaded on demand), the others become
    // atoms. Returns the new box, or -1 with an error on the console
    // (unknown class, or the constructor returned null).
    BoxId create(std::string_view text);
    BoxId create(std::string_view classname, const std::vector<t_atom> &args);
    void free_box(BoxId box); // destructor, then the record; no-op on a freed box
    bool alive(BoxId box) const;
    t_object *object(BoxId box) const; // null for a freed or unknown box
    std::string class_name(BoxId box) const;
    int inlet_count(BoxId box) const;
    int outlet_count(BoxId box) const;

    // Connects outlet `outlet` of `from` to inlet `inlet` of `to`. Values
    // reach connected inlets in connection order. false if an index is out
    // of range or a box is unknown.
    bool connect(BoxId from, int outlet, BoxId to, int inlet);

    // ---- Messages ---------------------------------------------------------
    // Sends a message to an inlet as the host would: "int", "float",
    // "list", or any other selector. A number to inlet n > 0 of a box whose
    // inlet was made with floatin arrives as "ft<n>". A message the class
    // does not understand posts an error naming the class and the selector;
    // false is returned then.
    bool send(BoxId box, int inlet, std::string_view selector, const std::vector<t_atom> &args);
    bool send_float(BoxId box, int inlet, double f);
    bool send_int(BoxId box, int inlet, t_atom_long n);
    // A message as a message box sends its atoms: a leading symbol is the
    // selector ("stop", "approx 1"), one number an int or float, several
    // numbers a list. false when the box does not take it (reported on the
    // console) or the message is empty.
    bool send_message(BoxId box, int inlet, const std::vector<t_atom> &atoms);
    // The same message written as text, as in a message box: "60 64 67",
    // "440", "stop", "approx 1". An empty text posts "send: empty message".
    bool send_text(BoxId box, int inlet, std::string_view text);

    // ---- Attributes -------------------------------------------------------
    // Sets an attribute through its setter and filters, as a message
    // "name value..." would. false with an error for an unknown attribute.
    bool attr_set(BoxId box, std::string_view name, const std::vector<t_atom> &args);
    // The attribute's value through its getter; false for an unknown one.
    bool attr_get(BoxId box, std::string_view name, std::vector<t_atom> &out);
    // Names of a class's attributes, in registration order.
    std::vector<std::string> attr_names(std::string_view classname) const;
    // An attribute-of-attribute as registered ("label", "save", "style",
    // "enumvals", "min", ...): false when absent; out holds its atoms.
    bool attr_attr(std::string_view classname, std::string_view attr, std::string_view name,
                   std::vector<t_atom> &out) const;
    // Message selectors of a class, in registration order.
    std::vector<std::string> method_names(std::string_view classname) const;
    // Everything a loaded class registered; false for an unknown class.
    bool describe(std::string_view classname, ClassInfo &out) const;

    // ---- Assistance -------------------------------------------------------
    // Calls the class's "assist" routine; `written` tells whether it wrote
    // anything into the (pre-cleared) buffer.
    std::string assist(BoxId box, long kind, long index, bool *written = nullptr);

    // ---- Time -------------------------------------------------------------
    double now() const; // logical time in milliseconds
    // Fires, in due-time order (ties in arming order), every clock due at or
    // before t, with the logical time set to each clock's due time while it
    // runs; then sets the logical time to t (if later).
    void advance_to(double t);
    void advance_by(double ms);
    // Fires clocks until none is armed, or until `limit` firings (false then).
    bool run_until_idle(long limit = 100000000);
    // Fires, in due-time order, the clocks due at or before t, but at most
    // `limit` of them; returns how many fired. Unlike advance_to, the
    // logical time is left at the last clock's due time.
    long fire_until(double t, long limit);
    // Number of armed clocks.
    size_t pending_clocks() const;
    // Number of clocks made and not yet freed, armed or not.
    size_t live_clocks() const;

    // ---- Observing --------------------------------------------------------
    // Every value that leaves any outlet is recorded and passed to the
    // observers the moment it leaves, before the connected inlets receive
    // it, so the log follows the order of the sends even when a receiver
    // sends on (or back) in turn.
    using OutletObserver = std::function<void(const OutletEvent &)>;
    using ConsoleObserver = std::function<void(const ConsoleLine &)>;
    void on_outlet(OutletObserver fn);
    void on_console(ConsoleObserver fn);
    // Drops every observer: for a driver that outlives what they capture.
    void clear_observers();
    const std::vector<OutletEvent> &outlet_log() const;
    const std::vector<ConsoleLine> &console_log() const;
    void clear_logs();
    // Recording into the logs can be turned off for long runs (observers
    // still see everything).
    void set_recording(bool on);

    // ---- Fault injection (for tests) ---------------------------------------
    enum class Fault { ObjectAlloc, SysmemNewptr };
    // Makes one later call of the operation fail (return null): the call
    // after `after` successful ones (0: the very next call).
    void inject_fault(Fault what, int after = 0);

    // ---- Text helpers -----------------------------------------------------
    // Interns a symbol in this host.
    t_symbol *sym(std::string_view text);
    // Parses one word as the host parses atoms: integer, float or symbol.
    t_atom parse_atom(std::string_view word);
    std::vector<t_atom> parse_atoms(std::string_view text);

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// Formats a double as the shortest decimal text that reads back as the same
// value ("-inf", "inf", "nan" for those).
std::string format_number(double v);
// Formats an atom: a number as above, a symbol as its text.
std::string format_atom(const t_atom &a);

} // namespace qzhost

#endif // QZ_HOST_QZHOST_HPP
