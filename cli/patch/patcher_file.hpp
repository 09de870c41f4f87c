// Reads the host's patcher files (.maxpat, .maxhelp): JSON with a
// "patcher" object of "boxes" and "lines", boxes possibly holding a patcher
// of their own (a "p name" subpatcher, a tab of a help patcher).
#ifndef QZ_CLI_PATCHER_FILE_HPP
#define QZ_CLI_PATCHER_FILE_HPP

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qzcli {

struct Rect {
    double x = 0, y = 0, w = 0, h = 0;
};

struct Patcher;

// One value of a saved attribute: a JSON number (integer or not) or string.
struct SavedValue {
    enum class Kind { Int, Float, Symbol } kind = Kind::Int;
    long long i = 0;
    double f = 0;
    std::string s;
};

// One entry of a box's "saved_object_attributes": a name and its value (a
// single value, or the elements of an array). `readable` is false for a
// value that is none of those (an object, true/false, null, a nested array).
struct SavedAttribute {
    std::string name;
    std::vector<SavedValue> values;
    bool readable = true;
};

struct PatcherBox {
    std::string id;       // "obj-3"
    std::string maxclass; // "newobj", "message", "flonum", "comment", ...
    std::string text;     // what the box holds ("" when it has none)
    Rect rect;            // patching_rect
    int numinlets = 0;
    int numoutlets = 0;
    std::unique_ptr<Patcher> sub;      // an embedded patcher, or null
    std::vector<SavedAttribute> saved; // "saved_object_attributes", by name
};

struct PatchLine {
    std::string from;
    int outlet = 0;
    std::string to;
    int inlet = 0;
};

struct Patcher {
    std::vector<PatcherBox> boxes;
    std::vector<PatchLine> lines;
};

// Deepest nesting of embedded patchers read.
constexpr int kMaxPatcherDepth = 32;

// Parses a patcher file's text. false, with "SOURCE:LINE:COLUMN: message"
// (malformed JSON) or "SOURCE: WHERE: message" (JSON that is no patcher) in
// `error`.
bool parse_patcher(std::string_view text, const std::string &source, Patcher &out,
                   std::string &error);

} // namespace qzcli

#endif // QZ_CLI_PATCHER_FILE_HPP
