// qz patch: the patcher loader's errors, the played boxes, subpatchers, and
// the documented walk of help patchers, against the real plug-ins.
#include "patch.hpp"
#include "patch_check.hpp"
#include "patcher_file.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace {

// A patch built from JSON text in a fresh host; what it printed in out/err.
struct Loaded {
    qzhost::Host host;
    std::ostringstream out;
    std::ostringstream err;
    qzcli::Patcher patcher;
    std::string error;
    bool parsed = false;
    int problems = 0;
    std::unique_ptr<qzcli::Patch> patch;

    explicit Loaded(const std::string &json)
    {
        host.add_search_path(QZ_EXTERNALS_DIR);
        parsed = qzcli::parse_patcher(json, "t.maxpat", patcher, error);
        if (!parsed)
            return;
        patch = std::make_unique<qzcli::Patch>(host, out, err, "t.maxpat", false, false);
        problems = patch->build(patcher);
    }
};

std::string box(const std::string &id, const std::string &cls, const std::string &text, int x,
                int y, const std::string &extra = "")
{
    std::string b = R"({"box":{"id":")" + id + R"(","maxclass":")" + cls + "\"";
    if (!text.empty())
        b += R"(,"text":")" + text + "\"";
    b += R"(,"patching_rect":[)" + std::to_string(x) + "," + std::to_string(y) + ",60,22]";
    return b + extra + "}}";
}

std::string line(const std::string &a, int o, const std::string &b, int i)
{
    return R"({"patchline":{"source":[")" + a + "\"," + std::to_string(o) +
           R"(],"destination":[")" + b + "\"," + std::to_string(i) + "]}}";
}

std::string patcher(const std::string &boxes, const std::string &lines)
{
    return R"({"fileversion":1,"classnamespace":"box","boxes":[)" + boxes + R"(],"lines":[)" +
           lines + "]}";
}

size_t count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

// Positions worked out by hand from the texts: line and column of the
// character where the JSON stops making sense, counted from 1.
TEST(PatcherFile, MalformedJsonNamesFileLineAndColumn)
{
    struct Case {
        const char *text;
        const char *where;
    } cases[] = {
        {"{\"patcher\": {,}}", "t.maxpat:1:14:"},
        {"{\n  \"patcher\": {\n    \"boxes\": [1,]\n}}", "t.maxpat:3:17:"},
        {"", "t.maxpat:1:1:"},
        {"{\"patcher\": {\"boxes\": [] }", "t.maxpat:1:27:"},
        {"{\"a\": \"\xff\"}", "t.maxpat:1:8:"},
    };
    for (const Case &c : cases) {
        qzcli::Patcher p;
        std::string error;
        EXPECT_FALSE(qzcli::parse_patcher(c.text, "t.maxpat", p, error)) << c.text;
        EXPECT_EQ(error.rfind(c.where, 0), 0u) << error;
        EXPECT_NE(error.find("malformed JSON"), std::string::npos) << error;
    }
}

TEST(PatcherFile, JsonThatIsNoPatcherSaysWhere)
{
    struct Case {
        const char *text;
        const char *message;
    } cases[] = {
        {"[1, 2]", "t.maxpat: not a patcher file"},
        {R"({"patcher": {"boxes": {}}})", "t.maxpat: patcher.boxes: expected an array"},
        {R"({"patcher": {"boxes": [{"box": {"maxclass": "message"}}]}})",
         "t.maxpat: patcher.boxes[0].box: no \"id\""},
        {R"({"patcher": {"boxes": [{"box": {"id": "a", "maxclass": "comment",
             "patching_rect": [1, 2, 3]}}]}})",
         "t.maxpat: patcher.boxes[0].box.patching_rect: expected [x, y, width, height]"},
        {R"({"patcher": {"lines": [{"patchline": {"source": ["a", -1],
             "destination": ["b", 0]}}]}})",
         "t.maxpat: patcher.lines[0].patchline.source[1]: expected a whole number from 0 to 999"},
        {R"({"patcher": {"boxes": [], "lines": [{"patchline": {"source": ["a", 1e999]}}]}})",
         "t.maxpat: malformed JSON"},
    };
    for (const Case &c : cases) {
        qzcli::Patcher p;
        std::string error;
        EXPECT_FALSE(qzcli::parse_patcher(c.text, "t.maxpat", p, error)) << c.text;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
    }
}

TEST(PatcherFile, NestingDeeperThanTheLimitIsAnError)
{
    std::string text = R"({"patcher": )";
    for (int i = 0; i <= qzcli::kMaxPatcherDepth; ++i)
        text +=
            R"({"boxes": [{"box": {"id": "p", "maxclass": "newobj", "text": "p x", "patcher": )";
    text += "{}";
    for (int i = 0; i <= qzcli::kMaxPatcherDepth; ++i)
        text += "}}]}";
    text += "}";
    qzcli::Patcher p;
    std::string error;
    EXPECT_FALSE(qzcli::parse_patcher(text, "t.maxpat", p, error));
    EXPECT_NE(error.find("nested deeper"), std::string::npos) << error;
}

// 440 550 660 at approximation 0.5 -> 110.0459 (the worked example of
// qz.subtone); a box the host cannot make and one it does not play are each
// reported once and the chain beside them still works.
TEST(Patch, UnknownBoxesAreReportedOnceAndTheRestWorks)
{
    Loaded l(R"({"patcher":)" +
             patcher(box("obj-1", "message", "440 550 660", 10, 10) + "," +
                         box("obj-2", "newobj", "qz.subtone", 10, 50) + "," +
                         box("obj-3", "flonum", "", 10, 90) + "," +
                         box("obj-4", "newobj", "qz.nosuch 1 2", 100, 50) + "," +
                         box("obj-5", "toggle", "", 200, 50),
                     line("obj-1", 0, "obj-2", 0) + "," + line("obj-2", 0, "obj-3", 0) + "," +
                         line("obj-1", 0, "obj-4", 0) + "," + line("obj-5", 0, "obj-2", 0)) +
             "}");
    ASSERT_TRUE(l.parsed) << l.error;
    EXPECT_EQ(l.problems, 2);
    ASSERT_TRUE(l.patch->click("obj-1"));
    ASSERT_TRUE(l.patch->click("440 550 660"));
    const std::string err = l.err.str();
    EXPECT_EQ(count(err, "obj-4"), 1u) << err;
    EXPECT_NE(err.find("cannot make 'qz.nosuch 1 2'"), std::string::npos) << err;
    EXPECT_EQ(count(err, "obj-5"), 1u) << err;
    EXPECT_EQ(count(l.out.str(), "obj-3 shows 110.0458"), 2u) << l.out.str();
}

// A number box truncates what it takes and sends an integer: 69.9 typed
// shows 69, and qz.subtone in MIDI mode answers the single pitch 69 with
// 69. A print box posts under its own name.
TEST(Patch, NumberBoxesAndPrint)
{
    Loaded l(R"({"patcher":)" +
             patcher(box("obj-1", "number", "", 10, 10) + "," +
                         box("obj-2", "newobj", "qz.subtone @mode 1", 10, 50) + "," +
                         box("obj-3", "flonum", "", 10, 90) + "," +
                         box("obj-4", "newobj", "print fund", 100, 90) + "," +
                         box("obj-5", "message", "set 3.5", 200, 10) + "," +
                         box("obj-6", "message", "$1 64 67", 300, 10),
                     line("obj-1", 0, "obj-2", 0) + "," + line("obj-2", 0, "obj-3", 0) + "," +
                         line("obj-2", 0, "obj-4", 0) + "," + line("obj-5", 0, "obj-3", 0) + "," +
                         line("obj-1", 0, "obj-6", 0) + "," + line("obj-6", 0, "obj-2", 0)) +
             "}");
    ASSERT_TRUE(l.parsed) << l.error;
    EXPECT_EQ(l.problems, 0) << l.err.str();
    ASSERT_TRUE(l.patch->type("obj-1", 69.9));
    const auto &boxes = l.patch->boxes();
    EXPECT_EQ(boxes[0].value, 69);
    const std::string out = l.out.str();
    EXPECT_NE(out.find("0 obj-1 shows 69\n"), std::string::npos) << out;
    EXPECT_NE(out.find("obj-4 print fund: 69"), std::string::npos) << out;
    // obj-6 (60 64 67 with $1 = 69: 69 64 67) fired too, and right to left
    // before qz.subtone got 69 directly.
    EXPECT_NE(out.find("obj-3 shows"), std::string::npos);
    EXPECT_EQ(boxes[2].value, 69);
    // "set" shows without sending.
    ASSERT_TRUE(l.patch->click("set 3.5"));
    EXPECT_EQ(boxes[2].value, 3.5);
    EXPECT_EQ(count(l.out.str(), "print fund"), 2u) << l.out.str();
    EXPECT_FALSE(l.patch->type("obj-2", 1)); // no number box
    EXPECT_FALSE(l.patch->click("obj-9"));   // no such box
}

// A box's "saved_object_attributes" are applied after the box is made,
// through each attribute's setter and filter, so they win over the box
// text's own settings. The measured case: a qz.subtone box saving mode 1
// and approx 1.0 answers 60 64 67 with 40 in the host (36 at 0.5).
TEST(Patch, SavedAttributesAreAppliedAfterTheBoxText)
{
    const std::string saved1 = R"(,"saved_object_attributes":{"mode":1,"approx":1.0})";
    const std::string saved2 = R"(,"saved_object_attributes":{"approx":-2,"mode":[0]})";
    const std::string saved3 = R"(,"saved_object_attributes":{"mode":{"x":1},"nosuch":3})";
    Loaded l(R"({"patcher":)" +
             patcher(box("obj-1", "message", "60 64 67", 10, 10) + "," +
                         box("obj-2", "newobj", "qz.subtone @mode 0 @approx 0.5", 10, 50, saved1) +
                         "," + box("obj-3", "flonum", "", 10, 90) + "," +
                         box("obj-4", "newobj", "qz.subtone 3 @mode 1", 100, 50, saved2) + "," +
                         box("obj-5", "newobj", "qz.subtone", 200, 50, saved3),
                     line("obj-1", 0, "obj-2", 0) + "," + line("obj-2", 0, "obj-3", 0)) +
             "}");
    ASSERT_TRUE(l.parsed) << l.error;
    // obj-5: a dictionary is no attribute value (reported); "nosuch" is the
    // host's own console error.
    EXPECT_EQ(l.problems, 1) << l.err.str();
    EXPECT_NE(l.err.str().find("obj-5: saved attribute 'mode'"), std::string::npos) << l.err.str();
    EXPECT_NE(l.out.str().find("no attribute \"nosuch\""), std::string::npos) << l.out.str();
    ASSERT_TRUE(l.patch->click("obj-1"));
    EXPECT_EQ(l.patch->boxes()[2].value, 40);
    qzhost::Host &h = l.patch->host();
    std::vector<t_atom> v;
    const qzhost::BoxId b4 = l.patch->boxes()[3].host;
    ASSERT_TRUE(h.attr_get(b4, "mode", v));
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].a_w.w_long, 0); // a one-element array is that value
    ASSERT_TRUE(h.attr_get(b4, "approx", v));
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].a_w.w_float, 0); // -2 through the clip filter
}

TEST(Patch, SubpatchersLoadRecursivelyAndNamesAreQualified)
{
    const std::string inner = patcher(
        box("obj-1", "message", "440", 10, 10) + "," +
            box("obj-2", "newobj", "qz.subtone", 10, 50) + "," + box("obj-3", "flonum", "", 10, 90),
        line("obj-1", 0, "obj-2", 0) + "," + line("obj-2", 0, "obj-3", 0));
    const std::string deeper =
        patcher(box("obj-1", "newobj", "p inner", 10, 10, R"(,"patcher":)" + inner), "");
    Loaded l(R"({"patcher":)" +
             patcher(box("obj-1", "newobj", "p basic", 10, 10, R"(,"patcher":)" + deeper) + "," +
                         box("obj-2", "newobj", "p other", 100, 10, R"(,"patcher":)" + inner),
                     "") +
             "}");
    ASSERT_TRUE(l.parsed) << l.error;
    EXPECT_EQ(l.problems, 0) << l.err.str();
    EXPECT_EQ(l.patch->levels().size(), 4u);
    // "obj-1" is the full name of the top patcher's box (no message box);
    // obj-3 is in two subpatchers: the bare id is ambiguous.
    EXPECT_FALSE(l.patch->click("obj-1"));
    EXPECT_NE(l.err.str().find("obj-1 is no message box"), std::string::npos);
    EXPECT_FALSE(l.patch->type("obj-3", 1));
    EXPECT_NE(l.err.str().find("several boxes match"), std::string::npos);
    ASSERT_TRUE(l.patch->click("basic/inner/obj-1"));
    ASSERT_TRUE(l.patch->click("other/obj-1"));
    const std::string out = l.out.str();
    EXPECT_NE(out.find("basic/inner/obj-3 shows 440.1835"), std::string::npos) << out;
    EXPECT_NE(out.find("other/obj-3 shows 440.1835"), std::string::npos) << out;
}

// A loop of boxes is cut, reported once, and does not crash.
TEST(Patch, ALoopOfBoxesIsCut)
{
    Loaded l(R"({"patcher":)" +
             patcher(box("obj-1", "flonum", "", 10, 10) + "," + box("obj-2", "flonum", "", 10, 50),
                     line("obj-1", 0, "obj-2", 0) + "," + line("obj-2", 0, "obj-1", 0)) +
             "}");
    ASSERT_TRUE(l.parsed);
    ASSERT_TRUE(l.patch->type("obj-1", 1));
    EXPECT_EQ(count(l.err.str(), "loop"), 1u) << l.err.str();
}

TEST(PatchCheck, ExpectationsAndTheirDecimals)
{
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double shown;
        const char *comment;
        bool parses;
        bool agrees;
    } cases[] = {
        {110.04588317871094, "= 110.0459", true, true},
        {110.0458, "= 110.0459 Hz", true, false},
        {36.4, "= 36", true, true},
        {36.5, "= 36", true, false},
        {36.04, "= 36.0", true, true},
        {36.06, "= 36.0", true, false},
        {-inf, "= -inf", true, true},
        {-1e308, "= -inf", true, false},
        {0, "= nan", false, false},
        {0, "=36", false, false},
        {0, "wait 100 ms", false, false},
        {0, "= 1e3", false, false},
    };
    for (const Case &c : cases) {
        double v = 0;
        int d = 0;
        EXPECT_EQ(qzcli::parse_expectation(c.comment, v, d), c.parses) << c.comment;
        if (c.parses) {
            EXPECT_EQ(qzcli::agrees(c.shown, v, d), c.agrees) << c.comment << " vs " << c.shown;
        }
    }
}

// The walk clicks in reading order, waits where a comment says so, and
// compares: here a wrong expectation, a right one, and one beside nothing.
TEST(PatchCheck, TheWalkFindsDisagreements)
{
    auto comment = [](const std::string &id, const std::string &text, int x, int y) {
        return box(id, "comment", text, x, y);
    };
    Loaded l(R"({"patcher":)" +
             patcher(box("obj-1", "message", "440 550 660", 10, 10) + "," +
                         box("obj-2", "newobj", "qz.subtone", 10, 50) + "," +
                         box("obj-3", "flonum", "", 10, 90) + "," +
                         comment("obj-4", "= 110.0459", 76, 90) + "," +
                         box("obj-5", "message", "440", 200, 10) + "," +
                         box("obj-6", "newobj", "qz.subtone", 200, 50) + "," +
                         box("obj-7", "flonum", "", 200, 90) + "," +
                         comment("obj-8", "= 440.3", 266, 90) + "," +
                         comment("obj-9", "= 1", 400, 300),
                     line("obj-1", 0, "obj-2", 0) + "," + line("obj-2", 0, "obj-3", 0) + "," +
                         line("obj-5", 0, "obj-6", 0) + "," + line("obj-6", 0, "obj-7", 0)) +
             "}");
    ASSERT_TRUE(l.parsed);
    std::ostringstream report;
    // 440.1835 is not 440.3 to one decimal; "= 1" sits beside no number box.
    EXPECT_EQ(qzcli::check_patch(*l.patch, report), 2) << report.str();
    EXPECT_NE(report.str().find("ok obj-3"), std::string::npos) << report.str();
    EXPECT_NE(report.str().find("FAIL obj-7"), std::string::npos) << report.str();
    EXPECT_NE(report.str().find("FAIL obj-9"), std::string::npos) << report.str();
}

} // namespace
