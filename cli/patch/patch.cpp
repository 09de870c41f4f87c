#include "patch.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>

namespace qzcli {

namespace {

// Deliveries nested deeper than this (a loop of boxes) are dropped, and so
// are those past this many from one user action or clock (boxes that fan out
// into a loop would otherwise multiply without end).
constexpr int kMaxDepth = 1000;
constexpr long kMaxDeliveries = 100000;

std::string first_word(const std::string &text)
{
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos)
        return {};
    const size_t end = text.find_first_of(" \t\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string rest_after_first_word(const std::string &text)
{
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos)
        return {};
    const size_t end = text.find_first_of(" \t\r\n", start);
    if (end == std::string::npos)
        return {};
    const size_t next = text.find_first_not_of(" \t\r\n", end);
    return next == std::string::npos ? std::string() : text.substr(next);
}

// Words separated by single spaces: how a message box's text is compared.
std::string normalised(const std::string &text)
{
    std::string out;
    size_t i = 0;
    while (true) {
        const size_t start = text.find_first_not_of(" \t\r\n", i);
        if (start == std::string::npos)
            break;
        const size_t end = text.find_first_of(" \t\r\n", start);
        if (!out.empty())
            out += ' ';
        out += text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos)
            break;
        i = end;
    }
    return out;
}

std::string atoms_text(const std::vector<t_atom> &atoms)
{
    std::string out;
    for (const t_atom &a : atoms) {
        if (!out.empty())
            out += ' ';
        out += qzhost::format_atom(a);
    }
    return out;
}

bool is_number(const t_atom &a)
{
    return a.a_type == A_LONG || a.a_type == A_FLOAT;
}

// What an integer number box makes of a value: truncated toward zero,
// held within 32 bits, NaN as 0.
double to_int(double v)
{
    if (std::isnan(v))
        return 0;
    return std::trunc(std::clamp(v, -2147483648.0, 2147483647.0));
}

double number_of(const t_atom &a)
{
    return a.a_type == A_LONG ? static_cast<double>(a.a_w.w_long) : a.a_w.w_float;
}

} // namespace

Patch::Patch(qzhost::Host &host, std::ostream &out, std::ostream &err, std::string source,
             bool posts, bool trace)
    : host_(host), out_(out), err_(err), source_(std::move(source)), trace_(trace), names_(host)
{
    host_.on_outlet([this](const qzhost::OutletEvent &e) {
        if (trace_)
            names_.write_outlet(out_, e);
        const auto it = of_host_.find(e.box);
        if (it == of_host_.end())
            return;
        const int from = it->second;
        t_atom a;
        atom_setfloat(&a, e.value);
        send_out(from, e.outlet, {a});
    });
    host_.on_console([this, posts](const qzhost::ConsoleLine &line) {
        // What the host says about a box it cannot make is folded into the
        // one report of that box.
        if (building_ && line.error && line.box < 0) {
            last_error_ = line.cls.empty() ? line.text : line.cls + ": " + line.text;
            return;
        }
        if (line.error || posts)
            names_.write_console(out_, line);
    });
}

void Patch::problem(const std::string &message)
{
    err_ << source_ << ": " << message << '\n';
    ++problems_;
}

int Patch::inlets_of(const Box &b) const
{
    switch (b.kind) {
    case Kind::Object:
        return host_.inlet_count(b.host);
    case Kind::Message:
    case Kind::Number:
    case Kind::Flonum:
    case Kind::Print:
        return 1;
    default:
        return 0;
    }
}

int Patch::outlets_of(const Box &b) const
{
    switch (b.kind) {
    case Kind::Object:
        return host_.outlet_count(b.host);
    case Kind::Message:
        return 1;
    case Kind::Number:
    case Kind::Flonum:
        return 2;
    default:
        return 0;
    }
}

int Patch::build(const Patcher &patcher)
{
    problems_ = 0;
    build_level(patcher, "");
    return problems_;
}

int Patch::build_level(const Patcher &patcher, const std::string &prefix)
{
    const int level = static_cast<int>(levels_.size());
    levels_.push_back({prefix, {}});
    std::vector<int> indexes;
    std::set<std::string> ids;
    for (const PatcherBox &pb : patcher.boxes) {
        const int index = static_cast<int>(boxes_.size());
        boxes_.push_back({});
        indexes.push_back(index);
        levels_[static_cast<size_t>(level)].boxes.push_back(index);
        if (!ids.insert(pb.id).second) {
            boxes_.back().name = prefix + pb.id + "#" + std::to_string(index);
            problem(prefix + pb.id + ": a second box with this id; it stays empty");
            continue;
        }
        make_box(pb, prefix, index);
    }
    // A fanned-out outlet sends to its destinations from right to left, as
    // in the host: lines are made in that order.
    std::vector<const PatchLine *> lines;
    for (const PatchLine &l : patcher.lines)
        lines.push_back(&l);
    std::map<std::string, double> x_of;
    std::map<std::string, int> index_of; // the first box of each id
    for (size_t i = 0; i < patcher.boxes.size(); ++i) {
        x_of.emplace(patcher.boxes[i].id, patcher.boxes[i].rect.x);
        index_of.emplace(patcher.boxes[i].id, indexes[i]);
    }
    std::stable_sort(lines.begin(), lines.end(), [&](const PatchLine *a, const PatchLine *b) {
        const auto xa = x_of.find(a->to);
        const auto xb = x_of.find(b->to);
        return (xa == x_of.end() ? 0 : xa->second) > (xb == x_of.end() ? 0 : xb->second);
    });
    for (const PatchLine *l : lines)
        make_line(*l, prefix, index_of);
    return level;
}

void Patch::make_box(const PatcherBox &pb, const std::string &prefix, int index)
{
    Box b;
    b.name = prefix + pb.id;
    b.maxclass = pb.maxclass;
    b.text = pb.text;
    b.rect = pb.rect;
    const std::string &c = pb.maxclass;
    const std::string word = first_word(pb.text);
    if (c == "message") {
        b.kind = Kind::Message;
        if (pb.text.find(';') != std::string::npos)
            problem(b.name + ": message '" + pb.text +
                    "' sends to named receivers (;), which are not played; only what comes "
                    "before the ';' is sent");
    } else if (c == "number") {
        b.kind = Kind::Number;
    } else if (c == "flonum") {
        b.kind = Kind::Flonum;
    } else if (c == "comment") {
        b.kind = Kind::Comment;
    } else if (c == "newobj" && word == "print") {
        b.kind = Kind::Print;
    } else if (c == "newobj" && (word == "p" || word == "patcher") && pb.sub) {
        b.kind = Kind::Subpatcher;
        std::string name = first_word(rest_after_first_word(pb.text));
        if (name.empty() || name.find('/') != std::string::npos)
            name = pb.id;
        std::string sub_prefix = prefix + name + "/";
        for (const Level &l : levels_)
            if (l.prefix == sub_prefix)
                sub_prefix = prefix + pb.id + "/";
        boxes_[static_cast<size_t>(index)] = b;
        const int level = build_level(*pb.sub, sub_prefix);
        boxes_[static_cast<size_t>(index)].sub = level;
        return;
    } else if (c == "newobj" && !word.empty()) {
        building_ = true;
        last_error_.clear();
        const qzhost::BoxId id = host_.create(pb.text);
        building_ = false;
        if (id >= 0) {
            b.kind = Kind::Object;
            b.host = id;
            names_.bind(b.name, id);
            of_host_[id] = index;
            apply_saved_attributes(b.name, id, pb.saved);
        } else {
            problem(b.name + ": cannot make '" + pb.text + "'" +
                    (last_error_.empty() ? "" : " (" + last_error_ + ")") +
                    "; the box stays empty");
        }
    } else {
        problem(b.name + ": box class '" + c + "'" + (pb.text.empty() ? "" : " '" + pb.text + "'") +
                " is not played here; the box stays empty");
    }
    b.out.resize(static_cast<size_t>(outlets_of(b)));
    boxes_[static_cast<size_t>(index)] = std::move(b);
}

// A box's saved attribute values, applied once the box is made, as the host
// does when it opens a patch: each through the attribute's setter and
// filters, as a message "name value..." would. They come after the box
// text's own "@name value" settings (which the constructor applied), so
// where both set an attribute the saved value wins. They are applied in
// name order (the file's dictionary order is not kept). An attribute the
// class does not have is the host's console error, as such a message is.
void Patch::apply_saved_attributes(const std::string &name, qzhost::BoxId id,
                                   const std::vector<SavedAttribute> &saved)
{
    constexpr long long lo = std::numeric_limits<t_atom_long>::min();
    constexpr long long hi = std::numeric_limits<t_atom_long>::max();
    std::vector<t_atom> atoms;
    for (const SavedAttribute &a : saved) {
        if (!a.readable) {
            problem(name + ": saved attribute '" + a.name +
                    "' is not a number, a text or a list of them; not applied");
            continue;
        }
        atoms.clear();
        for (const SavedValue &v : a.values) {
            t_atom at;
            // An integer beyond the host's integers is a float, as in box text.
            if (v.kind == SavedValue::Kind::Int && v.i >= lo && v.i <= hi)
                atom_setlong(&at, static_cast<t_atom_long>(v.i));
            else if (v.kind == SavedValue::Kind::Int)
                atom_setfloat(&at, static_cast<double>(v.i));
            else if (v.kind == SavedValue::Kind::Float)
                atom_setfloat(&at, v.f);
            else
                atom_setsym(&at, host_.sym(v.s));
            atoms.push_back(at);
        }
        host_.attr_set(id, a.name, atoms);
    }
}

bool Patch::make_line(const PatchLine &line, const std::string &prefix,
                      const std::map<std::string, int> &index_of)
{
    const auto a_it = index_of.find(line.from);
    const auto b_it = index_of.find(line.to);
    const int from = a_it == index_of.end() ? -1 : a_it->second;
    const int to = b_it == index_of.end() ? -1 : b_it->second;
    const std::string what = "line from " + prefix + line.from + " outlet " +
                             std::to_string(line.outlet) + " to " + prefix + line.to + " inlet " +
                             std::to_string(line.inlet);
    if (from < 0 || to < 0) {
        problem(what + ": no such box");
        return false;
    }
    Box &a = boxes_[static_cast<size_t>(from)];
    const Box &b = boxes_[static_cast<size_t>(to)];
    // A box that could not be made was reported already; its lines go quietly.
    if (a.kind == Kind::Empty || b.kind == Kind::Empty)
        return false;
    if (a.kind == Kind::Subpatcher || b.kind == Kind::Subpatcher) {
        problem(what + ": lines into or out of a subpatcher are not played");
        return false;
    }
    if (line.outlet >= outlets_of(a) || line.inlet >= inlets_of(b)) {
        problem(what + ": no such outlet or inlet");
        return false;
    }
    if (a.kind == Kind::Object && b.kind == Kind::Object) {
        if (!host_.connect(a.host, line.outlet, b.host, line.inlet)) {
            problem(what + ": the host cannot connect them");
            return false;
        }
        return true;
    }
    a.out[static_cast<size_t>(line.outlet)].push_back({to, line.inlet});
    return true;
}

int Patch::find(const std::string &which, bool message_text)
{
    for (size_t i = 0; i < boxes_.size(); ++i)
        if (boxes_[i].name == which)
            return static_cast<int>(i);
    std::vector<int> found;
    for (size_t i = 0; i < boxes_.size(); ++i) {
        const std::string &n = boxes_[i].name;
        const size_t slash = n.rfind('/');
        if (n.substr(slash == std::string::npos ? 0 : slash + 1) == which)
            found.push_back(static_cast<int>(i));
    }
    if (found.empty() && message_text) {
        const std::string want = normalised(which);
        for (size_t i = 0; i < boxes_.size(); ++i)
            if (boxes_[i].kind == Kind::Message && normalised(boxes_[i].text) == want)
                found.push_back(static_cast<int>(i));
    }
    if (found.size() == 1)
        return found[0];
    if (found.empty())
        problem("no box '" + which + "'");
    else
        problem("several boxes match '" + which + "'; give the full name, e.g. " +
                boxes_[static_cast<size_t>(found[0])].name);
    return -1;
}

bool Patch::click(const std::string &which)
{
    const int i = find(which, true);
    if (i < 0)
        return false;
    if (boxes_[static_cast<size_t>(i)].kind != Kind::Message) {
        problem(boxes_[static_cast<size_t>(i)].name + " is no message box");
        return false;
    }
    fire_message(i, {});
    return true;
}

bool Patch::type(const std::string &which, double value)
{
    const int i = find(which, false);
    if (i < 0)
        return false;
    const Kind k = boxes_[static_cast<size_t>(i)].kind;
    if (k != Kind::Number && k != Kind::Flonum) {
        problem(boxes_[static_cast<size_t>(i)].name + " is no number box");
        return false;
    }
    t_atom a;
    atom_setfloat(&a, value);
    deliver(i, 0, {a});
    return true;
}

void Patch::show(int index, double value)
{
    Box &b = boxes_[static_cast<size_t>(index)];
    b.value = value;
    out_ << qzhost::format_number(host_.now()) << ' ' << b.name << " shows "
         << qzhost::format_number(value) << '\n';
}

// A message box sends its text; commas separate messages sent one after the
// other, and $1..$9 stand for the atoms of the message that set it off.
void Patch::fire_message(int index, const std::vector<t_atom> &input)
{
    std::string text = boxes_[static_cast<size_t>(index)].text;
    text = text.substr(0, text.find(';'));
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos)
            comma = text.size();
        std::vector<t_atom> msg = host_.parse_atoms(text.substr(pos, comma - pos));
        for (t_atom &a : msg) {
            if (a.a_type != A_SYM)
                continue;
            const std::string s = a.a_w.w_sym->s_name;
            if (s.size() == 2 && s[0] == '$' && s[1] >= '1' && s[1] <= '9') {
                const size_t n = static_cast<size_t>(s[1] - '1');
                if (n < input.size())
                    a = input[n];
                else
                    atom_setlong(&a, 0);
            }
        }
        if (!msg.empty())
            send_out(index, 0, msg);
        pos = comma + 1;
    }
}

void Patch::send_out(int from, int outlet, const std::vector<t_atom> &msg)
{
    const Box &b = boxes_[static_cast<size_t>(from)];
    if (outlet < 0 || static_cast<size_t>(outlet) >= b.out.size())
        return;
    // Copied: a delivery may reach this box again.
    const std::vector<Link> links = b.out[static_cast<size_t>(outlet)];
    for (const Link &l : links)
        deliver(l.to, l.inlet, msg);
}

void Patch::deliver(int to, int inlet, const std::vector<t_atom> &msg)
{
    if (msg.empty())
        return;
    if (depth_ == 0)
        deliveries_ = 0;
    if (depth_ >= kMaxDepth || ++deliveries_ > kMaxDeliveries) {
        if (!depth_reported_)
            problem("messages loop through the boxes; deliveries nested deeper than " +
                    std::to_string(kMaxDepth) + ", or more than " + std::to_string(kMaxDeliveries) +
                    " from one action, are dropped");
        depth_reported_ = true;
        return;
    }
    ++depth_;
    Box &b = boxes_[static_cast<size_t>(to)];
    const std::string sel = msg[0].a_type == A_SYM ? msg[0].a_w.w_sym->s_name : "";
    const std::string time = qzhost::format_number(host_.now());
    switch (b.kind) {
    case Kind::Object:
        host_.send_message(b.host, inlet, msg);
        break;
    case Kind::Message:
        if (sel == "set")
            b.text = atoms_text(std::vector<t_atom>(msg.begin() + 1, msg.end()));
        else
            fire_message(to, sel == "bang" ? std::vector<t_atom>() : msg);
        break;
    case Kind::Number:
    case Kind::Flonum: {
        const bool is_int = b.kind == Kind::Number;
        const bool set = sel == "set" && msg.size() > 1 && is_number(msg[1]);
        if (is_number(msg[0]) || set) {
            double v = number_of(msg[set ? 1 : 0]);
            if (is_int)
                v = to_int(v);
            show(to, v);
            if (set)
                break;
        } else if (sel != "bang") {
            out_ << time << ' ' << b.name << " error " << b.maxclass << ": doesn't understand \""
                 << sel << "\"\n";
            break;
        }
        t_atom a;
        if (is_int)
            atom_setlong(&a, static_cast<t_atom_long>(b.value));
        else
            atom_setfloat(&a, b.value);
        send_out(to, 0, {a});
        break;
    }
    case Kind::Print: {
        std::string label = rest_after_first_word(b.text);
        label = label.empty() ? "print" : first_word(label);
        out_ << time << ' ' << b.name << " print " << label << ": " << atoms_text(msg) << '\n';
        break;
    }
    default:
        break;
    }
    --depth_;
}

} // namespace qzcli
