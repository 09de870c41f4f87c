// A patcher file made live in the embedded host: object boxes become host
// boxes, the interface boxes (message, number, flonum, print, comment) are
// played here, and lines connect them all. A user's actions are scripted:
// click a message box, type into a number box, let time pass.
#ifndef QZ_CLI_PATCH_HPP
#define QZ_CLI_PATCH_HPP

#include "boxes.hpp"
#include "patcher_file.hpp"
#include "qzhost.hpp"

#include <map>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

namespace qzcli {

class Patch {
  public:
    enum class Kind { Object, Message, Number, Flonum, Print, Comment, Subpatcher, Empty };

    struct Link {
        int to;    // box index
        int inlet; // inlet of that box
    };

    struct Box {
        std::string name; // id, qualified by the subpatchers that hold it ("basic/obj-3")
        std::string maxclass;
        std::string text;
        Rect rect;
        Kind kind = Kind::Empty;
        qzhost::BoxId host = -1;            // Object: the host box
        int sub = -1;                       // Subpatcher: its patcher's index
        double value = 0;                   // Number, Flonum: what the box shows
        std::vector<std::vector<Link>> out; // per outlet: links played here
    };

    struct Level {
        std::string prefix;     // "" for the top patcher, "basic/" for a tab
        std::vector<int> boxes; // indexes into boxes()
    };

    // Prints to `out`: "TIME NAME shows VALUE" when a number box takes a
    // value, "TIME print NAME: VALUE..." for what a print box posts, console
    // errors of the objects (posts only with `posts`), and with `trace`
    // every value leaving an object's outlet ("TIME NAME OUTLET VALUE").
    // Problems with the patch go to `err` as "SOURCE: message".
    Patch(qzhost::Host &host, std::ostream &out, std::ostream &err, std::string source, bool posts,
          bool trace);
    Patch(const Patch &) = delete;
    Patch &operator=(const Patch &) = delete;

    // Makes the boxes and lines of a patcher and of the patchers it holds.
    // A box that cannot be made is reported once, by id and text, and stays
    // empty; a line that cannot be made is reported and left out. Returns
    // the number of problems reported.
    int build(const Patcher &patcher);

    // Finds a box by its name, by its id when only one box has it, or (a
    // message box) by its text; -1 with a report when none or several.
    int find(const std::string &which, bool message_text);
    // Clicks a message box: it sends its text.
    bool click(const std::string &which);
    // Types a number into a number box: it shows it and sends it on.
    bool type(const std::string &which, double value);

    const std::vector<Box> &boxes() const { return boxes_; }
    const std::vector<Level> &levels() const { return levels_; }
    const std::string &source() const { return source_; }
    qzhost::Host &host() { return host_; }

  private:
    int build_level(const Patcher &patcher, const std::string &prefix);
    void make_box(const PatcherBox &pb, const std::string &prefix, int index);
    void apply_saved_attributes(const std::string &name, qzhost::BoxId id,
                                const std::vector<SavedAttribute> &saved);
    bool make_line(const PatchLine &line, const std::string &prefix,
                   const std::map<std::string, int> &index_of);
    void problem(const std::string &message);
    int inlets_of(const Box &b) const;
    int outlets_of(const Box &b) const;

    void deliver(int to, int inlet, const std::vector<t_atom> &msg);
    void send_out(int from, int outlet, const std::vector<t_atom> &msg);
    void show(int index, double value);
    void fire_message(int index, const std::vector<t_atom> &input);

    qzhost::Host &host_;
    std::ostream &out_;
    std::ostream &err_;
    std::string source_;
    bool trace_;
    BoxNames names_;
    std::vector<Box> boxes_;
    std::vector<Level> levels_;
    std::unordered_map<qzhost::BoxId, int> of_host_; // host box -> box index
    int depth_ = 0;                                  // nested deliveries
    long deliveries_ = 0;                            // deliveries since the outermost one began
    bool depth_reported_ = false;
    bool building_ = false;
    std::string last_error_; // console error seen while a box was made
    int problems_ = 0;
};

} // namespace qzcli

#endif // QZ_CLI_PATCH_HPP
