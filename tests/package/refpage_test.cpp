// qz refpage: the page says what the objects register, and the prose and the
// registration cannot drift apart: each mutation of a real documentation
// file below must stop the page with the named problem.
#include "refpage.hpp"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

json read_doc(const std::string &relative)
{
    std::ifstream in(std::string(QZ_SOURCE_DIR) + "/" + relative);
    std::stringstream s;
    s << in.rdbuf();
    return json::parse(s.str());
}

bool generate(const json &doc, std::string &xml, std::vector<std::string> &problems)
{
    qzhost::Host host;
    host.add_search_path(QZ_EXTERNALS_DIR);
    return qzcli::make_refpage(host, doc.dump(), "doc.json", xml, problems);
}

std::string joined(const std::vector<std::string> &lines)
{
    std::string out;
    for (const auto &l : lines)
        out += l + "\n";
    return out;
}

// The texts below are the objects' own, as their registration and
// assistance routines give them (labels, menu items, clip bounds, assist).
TEST(Refpage, PagesCarryWhatTheObjectsRegister)
{
    struct Case {
        const char *doc;
        std::vector<std::string> wanted;
    } cases[] = {
        {"subtone/qz.subtone.doc.json",
         {R"(<c74object name="qz.subtone")", "<digest>Ordered list of frequencies (Hz)</digest>",
          "<digest>Virtual Fundamental</digest>",
          R"(<attribute name="mode" get="1" set="1" type="int" size="1">)",
          R"(<attribute name="style" get="1" set="1" type="symbol" size="1" value="enumindex"/>)",
          R"(<enum name="Freq">)", R"(<enum name="MIDI">)", R"x(value="Approximation (MIDI)")x",
          R"(<attribute name="min" get="1" set="1" type="float32" size="1" value="0"/>)",
          R"(<arg name="values" optional="0" type="list"/>)",
          R"(<objarg name="approximation" optional="1" type="float">)"}},
        {"pitchtally/qz.pitchtally.doc.json",
         {"<digest>pitch</digest>", "<digest>amplitude</digest>", "<digest>coocked pitch</digest>",
          "<digest>average amplitude</digest>", "<digest>probability</digest>",
          R"x(value="Window (ms)")x", R"(value="Probability Threshold")",
          R"(<attribute name="max" get="1" set="1" type="float64" size="1" value="1"/>)",
          R"(<method name="stop">)", R"(<method name="ft1">)"}},
    };
    for (const Case &c : cases) {
        std::string xml;
        std::vector<std::string> problems;
        ASSERT_TRUE(generate(read_doc(c.doc), xml, problems)) << joined(problems);
        for (const std::string &w : c.wanted)
            EXPECT_NE(xml.find(w), std::string::npos) << c.doc << ": " << w;
        // Private routines are no messages.
        EXPECT_EQ(xml.find(R"(<method name="assist">)"), std::string::npos);
    }
}

TEST(Refpage, ProseAndRegistrationCannotDrift)
{
    struct Case {
        const char *what;
        const char *doc;
        std::function<void(json &)> change;
        const char *problem;
    } cases[] = {
        {"attribute without prose", "subtone/qz.subtone.doc.json",
         [](json &d) { d["attributes"].erase("approx"); }, "attribute 'approx' has no prose"},
        {"prose for an attribute not registered", "subtone/qz.subtone.doc.json",
         [](json &d) {
             d["attributes"]["tempo"] = {{"digest", "x"}, {"description", "y"}};
         },
         "prose for attribute 'tempo'"},
        {"method without prose", "pitchtally/qz.pitchtally.doc.json",
         [](json &d) { d["methods"].erase("stop"); }, "method 'stop' has no prose"},
        {"prose for a method not registered", "pitchtally/qz.pitchtally.doc.json",
         [](json &d) {
             d["methods"]["bang"] = {{"digest", "x"}, {"description", "y"}};
         },
         "prose for method 'bang'"},
        {"an empty digest", "pitchtally/qz.pitchtally.doc.json",
         [](json &d) { d["methods"]["float"]["digest"] = ""; }, "method float has no \"digest\""},
        {"an outlet without prose", "pitchtally/qz.pitchtally.doc.json",
         [](json &d) { d["outlets"].erase(2); }, "the object has 3 outlets, the prose 2"},
        {"an inlet too many", "subtone/qz.subtone.doc.json",
         [](json &d) {
             d["inlets"].push_back({{"description", "x"}});
         },
         "the object has 1 inlets, the prose 2"},
        {"a menu item without prose", "subtone/qz.subtone.doc.json",
         [](json &d) { d["attributes"]["mode"]["enum"].erase("MIDI"); },
         "menu item 'MIDI' has no prose"},
        {"prose for a menu item not offered", "subtone/qz.subtone.doc.json",
         [](json &d) { d["attributes"]["mode"]["enum"]["Cents"] = "x"; },
         "prose for menu item 'Cents'"},
        {"no creation argument prose", "subtone/qz.subtone.doc.json",
         [](json &d) { d.erase("argument"); }, "no \"argument\" prose"},
        {"an example argument the object complains about", "pitchtally/qz.pitchtally.doc.json",
         [](json &d) { d["argument"]["example"] = "16.5"; },
         "Number of stat agents needed as first argument"},
        {"a class that does not exist", "subtone/qz.subtone.doc.json",
         [](json &d) { d["name"] = "qz.nosuch"; }, "class 'qz.nosuch' does not load"},
    };
    for (const Case &c : cases) {
        json doc = read_doc(c.doc);
        c.change(doc);
        std::string xml;
        std::vector<std::string> problems;
        EXPECT_FALSE(generate(doc, xml, problems)) << c.what;
        EXPECT_NE(joined(problems).find(c.problem), std::string::npos) << c.what << ":\n"
                                                                       << joined(problems);
    }
}

} // namespace
