// qzhost::Host: the driver interface over the host's records.
#include "internal.hpp"

#include <cmath>
#include <cstdio>
#include <limits>

namespace qzhost {

using detail::AttrRec;
using detail::HostScope;
using detail::InstRec;

// ---- current host ---------------------------------------------------------

namespace detail {

namespace {
thread_local Host::Impl *t_current = nullptr;
}

Host::Impl *current()
{
    return t_current;
}

Host::Impl *current_or_complain(const char *op)
{
    if (!t_current)
        std::fprintf(stderr, "qzhost: %s called with no host running\n", op);
    return t_current;
}

HostScope::HostScope(Host::Impl *h) : self_(h), prev_(t_current)
{
    t_current = h;
    ++h->depth;
}

HostScope::~HostScope()
{
    if (--self_->depth == 0 && (!self_->doomed.empty() || !self_->graveyard.empty()))
        self_->flush_deferred();
    t_current = prev_;
}

} // namespace detail

// ---- Impl -------------------------------------------------------------------

Host::Impl::Impl()
{
    s_int = intern("int");
    s_float = intern("float");
    s_list = intern("list");
    s_empty = intern("");
    s_long = intern("long");
    s_atom_long = intern("atom_long");
    s_float32 = intern("float32");
    s_float64 = intern("float64");
    s_assist = intern("assist");
    s_inletinfo = intern("inletinfo");
    s_setmethod = intern("setmethod");
    s_get = intern("get");
    s_set = intern("set");
    s_gettype = intern("gettype");
    s_getname = intern("getname");
    s_box = intern("box");
    s_ft[0] = s_float;
    for (int i = 1; i < 10; ++i)
        s_ft[i] = intern("ft" + std::to_string(i));
    attr_class.host = this;
    attr_class.name = "attribute";
    attr_class.internal = true;
    clock_class.host = this;
    clock_class.name = "clock";
    clock_class.internal = true;
}

Host::Impl::~Impl() = default;

InstRec *Host::Impl::box_rec(BoxId b) const
{
    if (b < 0 || static_cast<size_t>(b) >= boxes.size())
        return nullptr;
    return boxes[static_cast<size_t>(b)];
}

// Makes a box: its id is reserved before the constructor runs, so console
// lines posted by the constructor carry it. A failed creation gives the id
// back when no other box was made meanwhile.
bool Host::Impl::create_box(_class *c, std::string_view name, const t_atom *argv, long argc,
                            BoxId &out)
{
    out = -1;
    auto *placeholder = new InstRec{};
    placeholder->box = static_cast<BoxId>(boxes.size());
    boxes.push_back(nullptr);
    creating.push_back({c, placeholder, false});

    void *result = nullptr;
    t_symbol *sel = intern(name);
    std::vector<t_atom> args(argv, argv + (argc > 0 ? argc : 0));
    if (c->ctor_types.empty()) {
        result = detail::fn_cast<void *(*)()>(c->mnew)();
    } else if (c->ctor_types[0] == A_GIMME) {
        result = detail::fn_cast<void *(*)(t_symbol *, long, t_atom *)>(c->mnew)(
            sel, static_cast<long>(args.size()), args.data());
    } else if (c->ctor_types[0] == A_LONG) {
        result = detail::fn_cast<void *(*)(t_atom_long)>(c->mnew)(
            args.empty() ? 0 : detail::long_of(args[0]));
    } else {
        result = detail::fn_cast<void *(*)(double)>(c->mnew)(
            args.empty() ? 0.0 : detail::number_of(args[0]));
    }
    Creating done = creating.back();
    creating.pop_back();
    const BoxId id = placeholder->box;

    InstRec *r = detail::inst_of(result);
    if (r && r->destroyed)
        r = nullptr;
    if (!r) {
        // The constructor failed: release what it allocated, without its destructor.
        if (done.tied && !placeholder->destroyed) {
            destroy_instance(placeholder, false);
        } else if (!done.tied) {
            delete placeholder;
        }
        if (static_cast<size_t>(id) + 1 == boxes.size())
            boxes.pop_back();
        postf(nullptr, true, "%.*s: could not create", static_cast<int>(name.size()), name.data());
        return false;
    }
    if (r != placeholder) {
        // The constructor returned an instance other than the one allocated
        // for the box: that one becomes the box.
        if (!done.tied)
            delete placeholder;
        r->box = id;
    }
    boxes[static_cast<size_t>(id)] = r;
    out = id;
    return true;
}

// ---- Host -------------------------------------------------------------------

Host::Host() : impl_(std::make_unique<Impl>())
{
    impl_->self = this;
}

// Observers are dropped first: what they capture is often declared after the
// host and gone by now, and the lines of the final destructors tell nobody.
Host::~Host()
{
    HostScope scope(impl_.get());
    impl_->outlet_observers.clear();
    impl_->console_observers.clear();
    impl_->unload_all();
}

void Host::add_search_path(std::string dir)
{
    impl_->search_paths.push_back(std::move(dir));
}

const char *Host::plugin_extension()
{
#if defined(_WIN32)
#if defined(_WIN64)
    return ".mxe64";
#else
    return ".mxe";
#endif
#else
    return ".so";
#endif
}

bool Host::load(std::string_view classname)
{
    HostScope scope(impl_.get());
    return impl_->load_class(classname, true);
}

bool Host::load_file(const std::string &path)
{
    HostScope scope(impl_.get());
    return impl_->load_file(path);
}

void Host::unload_all()
{
    HostScope scope(impl_.get());
    impl_->unload_all();
}

int Host::mains_called() const
{
    return impl_->mains_called;
}

BoxId Host::create(std::string_view text)
{
    HostScope scope(impl_.get());
    std::vector<t_atom> atoms = parse_atoms(text);
    if (atoms.empty() || atoms[0].a_type != A_SYM) {
        std::string t(text);
        impl_->postf(nullptr, true, "%s: no such object", t.c_str());
        return -1;
    }
    std::string name = atoms[0].a_w.w_sym->s_name;
    atoms.erase(atoms.begin());
    return create(name, atoms);
}

BoxId Host::create(std::string_view classname, const std::vector<t_atom> &args)
{
    HostScope scope(impl_.get());
    if (!impl_->load_class(classname, true))
        return -1;
    _class *c = impl_->find_class(classname);
    BoxId id = -1;
    impl_->create_box(c, classname, args.data(), static_cast<long>(args.size()), id);
    return id;
}

void Host::free_box(BoxId box)
{
    HostScope scope(impl_.get());
    if (InstRec *r = impl_->box_rec(box))
        impl_->free_instance(r);
}

bool Host::alive(BoxId box) const
{
    return impl_->box_rec(box) != nullptr;
}

t_object *Host::object(BoxId box) const
{
    InstRec *r = impl_->box_rec(box);
    return r ? r->obj : nullptr;
}

std::string Host::class_name(BoxId box) const
{
    InstRec *r = impl_->box_rec(box);
    return r ? r->cls->name : std::string();
}

int Host::inlet_count(BoxId box) const
{
    InstRec *r = impl_->box_rec(box);
    return r ? static_cast<int>(r->inlets.size()) : 0;
}

int Host::outlet_count(BoxId box) const
{
    InstRec *r = impl_->box_rec(box);
    return r ? static_cast<int>(r->outlets.size()) : 0;
}

bool Host::connect(BoxId from, int outlet, BoxId to, int inlet)
{
    InstRec *a = impl_->box_rec(from);
    InstRec *b = impl_->box_rec(to);
    if (!a || !b || outlet < 0 || outlet >= static_cast<int>(a->outlets.size()) || inlet < 0 ||
        inlet >= static_cast<int>(b->inlets.size()) || !b->inlets[static_cast<size_t>(inlet)])
        return false;
    // Outlet index 0 is the leftmost, i.e. the one made last.
    a->outlets[a->outlets.size() - 1 - static_cast<size_t>(outlet)]->conns.push_back({to, inlet});
    return true;
}

bool Host::send(BoxId box, int inlet, std::string_view selector, const std::vector<t_atom> &args)
{
    HostScope scope(impl_.get());
    InstRec *r = impl_->box_rec(box);
    if (!r) {
        impl_->postf(nullptr, true, "send: no box %d", box);
        return false;
    }
    return impl_->send_to(r, inlet, impl_->intern(selector), static_cast<long>(args.size()),
                          args.data());
}

// One number to a box's inlet, without building a vector: the per-event path
// of the drivers.
bool Host::Impl::send_one(BoxId box, int inlet, t_symbol *sel, const t_atom &a, const double *exact)
{
    HostScope scope(this);
    InstRec *r = box_rec(box);
    if (!r) {
        postf(nullptr, true, "send: no box %d", box);
        return false;
    }
    return send_to(r, inlet, sel, 1, &a, exact);
}

// A float message as another object's outlet sends it: the receiver's number
// routine gets the double itself.
bool Host::send_float(BoxId box, int inlet, double f)
{
    t_atom a;
    atom_setfloat(&a, f);
    return impl_->send_one(box, inlet, impl_->s_float, a, &f);
}

bool Host::send_int(BoxId box, int inlet, t_atom_long n)
{
    t_atom a;
    atom_setlong(&a, n);
    return impl_->send_one(box, inlet, impl_->s_int, a);
}

bool Host::send_message(BoxId box, int inlet, const std::vector<t_atom> &atoms)
{
    if (atoms.empty())
        return false;
    if (atoms[0].a_type == A_SYM)
        return send(box, inlet, atoms[0].a_w.w_sym->s_name,
                    std::vector<t_atom>(atoms.begin() + 1, atoms.end()));
    if (atoms.size() == 1)
        return send(box, inlet, atoms[0].a_type == A_LONG ? "int" : "float", atoms);
    return send(box, inlet, "list", atoms);
}

bool Host::send_text(BoxId box, int inlet, std::string_view text)
{
    const std::vector<t_atom> atoms = parse_atoms(text);
    if (atoms.empty()) {
        HostScope scope(impl_.get());
        impl_->post(nullptr, true, "send: empty message");
        return false;
    }
    return send_message(box, inlet, atoms);
}

bool Host::attr_set(BoxId box, std::string_view name, const std::vector<t_atom> &args)
{
    HostScope scope(impl_.get());
    InstRec *r = impl_->box_rec(box);
    if (!r)
        return false;
    AttrRec *a = r->cls->find_attr(impl_->intern(name));
    if (!a) {
        impl_->postf(r->obj, true, "no attribute \"%.*s\"", static_cast<int>(name.size()),
                     name.data());
        return false;
    }
    return impl_->attr_set(r, a, static_cast<long>(args.size()), args.data());
}

bool Host::attr_get(BoxId box, std::string_view name, std::vector<t_atom> &out)
{
    HostScope scope(impl_.get());
    out.clear();
    InstRec *r = impl_->box_rec(box);
    if (!r)
        return false;
    AttrRec *a = r->cls->find_attr(impl_->intern(name));
    if (!a)
        return false;
    return impl_->attr_get(r, a, out);
}

std::vector<std::string> Host::attr_names(std::string_view classname) const
{
    std::vector<std::string> out;
    if (_class *c = impl_->find_class(classname))
        for (auto *a : c->attrs)
            out.emplace_back(a->name->s_name);
    return out;
}

bool Host::attr_attr(std::string_view classname, std::string_view attr, std::string_view name,
                     std::vector<t_atom> &out) const
{
    out.clear();
    _class *c = impl_->find_class(classname);
    if (!c)
        return false;
    for (auto *a : c->attrs) {
        if (a->name->s_name != attr)
            continue;
        for (const auto &aa : a->attrattrs) {
            if (aa.name->s_name == name) {
                out = aa.atoms;
                return true;
            }
        }
        return false;
    }
    return false;
}

std::vector<std::string> Host::method_names(std::string_view classname) const
{
    std::vector<std::string> out;
    if (_class *c = impl_->find_class(classname))
        for (const auto &m : c->methods)
            out.emplace_back(m.name->s_name);
    return out;
}

std::string Host::assist(BoxId box, long kind, long index, bool *written)
{
    HostScope scope(impl_.get());
    if (written)
        *written = false;
    InstRec *r = impl_->box_rec(box);
    if (!r)
        return {};
    const auto *m = r->cls->find_method(impl_->s_assist);
    if (!m)
        return {};
    // The routine may write ASSIST_MAX_STRING_LEN characters, its terminator
    // included.
    char buf[ASSIST_MAX_STRING_LEN] = {};
    detail::fn_cast<void (*)(void *, void *, long, long, char *)>(m->fn)(r->obj, nullptr, kind,
                                                                         index, buf);
    buf[ASSIST_MAX_STRING_LEN - 1] = '\0';
    if (written)
        *written = buf[0] != '\0';
    return buf;
}

double Host::now() const
{
    return impl_->now;
}

void Host::advance_to(double t)
{
    if (std::isnan(t))
        return;
    HostScope scope(impl_.get());
    while (impl_->fire_next(t)) {
    }
    if (t > impl_->now)
        impl_->now = t;
}

void Host::advance_by(double ms)
{
    advance_to(impl_->now + ms);
}

bool Host::run_until_idle(long limit)
{
    HostScope scope(impl_.get());
    for (long i = 0; i < limit; ++i)
        if (!impl_->fire_next(std::numeric_limits<double>::infinity()))
            return true;
    return impl_->heap.empty();
}

long Host::fire_until(double t, long limit)
{
    HostScope scope(impl_.get());
    long fired = 0;
    while (fired < limit && impl_->fire_next(t))
        ++fired;
    return fired;
}

size_t Host::pending_clocks() const
{
    return impl_->heap.size();
}

size_t Host::live_clocks() const
{
    return impl_->clocks.size();
}

void Host::on_outlet(OutletObserver fn)
{
    impl_->outlet_observers.push_back(std::move(fn));
}

void Host::on_console(ConsoleObserver fn)
{
    impl_->console_observers.push_back(std::move(fn));
}

void Host::clear_observers()
{
    impl_->outlet_observers.clear();
    impl_->console_observers.clear();
}

const std::vector<OutletEvent> &Host::outlet_log() const
{
    return impl_->outlet_log;
}

const std::vector<ConsoleLine> &Host::console_log() const
{
    return impl_->console_log;
}

void Host::clear_logs()
{
    impl_->outlet_log.clear();
    impl_->console_log.clear();
}

void Host::set_recording(bool on)
{
    impl_->recording = on;
}

void Host::inject_fault(Fault what, int after)
{
    int n = after < 0 ? 0 : after;
    if (what == Fault::ObjectAlloc)
        impl_->fail_alloc_after = n;
    else
        impl_->fail_newptr_after = n;
}

t_symbol *Host::sym(std::string_view text)
{
    return impl_->intern(text);
}

} // namespace qzhost
