#include "patch_check.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>

namespace qzcli {

namespace {

// How far right of a number box its expectation may start, in points.
constexpr double kBesideGap = 60;
// How far the tops of a number box and its expectation may differ.
constexpr double kSameRow = 10;

using Kind = Patch::Kind;

bool is_number_box(const Patch::Box &b)
{
    return b.kind == Kind::Number || b.kind == Kind::Flonum;
}

// "wait 1000 ms ..." -> 1000; false for any other text.
bool parse_wait(const std::string &text, double &ms)
{
    if (text.rfind("wait ", 0) != 0)
        return false;
    const char *start = text.c_str() + 5;
    char *end = nullptr;
    ms = std::strtod(start, &end);
    return end != start && std::isfinite(ms) && ms >= 0 && std::string(end).rfind(" ms", 0) == 0;
}

class Walker {
  public:
    Walker(Patch &patch, std::ostream &out) : patch_(patch), out_(out) { pair(); }

    int run()
    {
        if (!patch_.levels().empty())
            walk(0);
        if (checks_ == 0) {
            out_ << "FAIL " << patch_.source() << ": nothing to compare (no \"= VALUE\" comment)\n";
            ++failures_;
        }
        out_ << (failures_ == 0 ? "ok " : "FAIL ") << patch_.source() << ": " << checks_
             << " values compared, " << failures_ << " failures\n";
        return failures_;
    }

  private:
    // Pairs each expectation comment with the number box it sits beside.
    void pair()
    {
        const auto &boxes = patch_.boxes();
        for (const Patch::Level &level : patch_.levels()) {
            for (int c : level.boxes) {
                const Patch::Box &comment = boxes[static_cast<size_t>(c)];
                double value = 0;
                int decimals = 0;
                if (comment.kind != Kind::Comment ||
                    !parse_expectation(comment.text, value, decimals))
                    continue;
                int best = -1;
                double best_gap = kBesideGap;
                for (int n : level.boxes) {
                    const Patch::Box &b = boxes[static_cast<size_t>(n)];
                    const double gap = comment.rect.x - (b.rect.x + b.rect.w);
                    if (is_number_box(b) && std::fabs(comment.rect.y - b.rect.y) <= kSameRow &&
                        gap >= -2 && gap <= best_gap) {
                        best = n;
                        best_gap = gap;
                    }
                }
                if (best < 0) {
                    out_ << "FAIL " << comment.name << " '" << comment.text
                         << "' sits beside no number box\n";
                    ++failures_;
                } else if (expect_.count(best) != 0) {
                    out_ << "FAIL " << comment.name << ": a second expectation for "
                         << boxes[static_cast<size_t>(best)].name << '\n';
                    ++failures_;
                } else {
                    expect_[best] = c;
                }
            }
        }
    }

    void walk(int level)
    {
        const auto &boxes = patch_.boxes();
        std::vector<int> order = patch_.levels()[static_cast<size_t>(level)].boxes;
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const Rect &ra = boxes[static_cast<size_t>(a)].rect;
            const Rect &rb = boxes[static_cast<size_t>(b)].rect;
            return ra.y != rb.y ? ra.y < rb.y : ra.x < rb.x;
        });
        for (int i : order) {
            const Patch::Box &b = boxes[static_cast<size_t>(i)];
            double ms = 0;
            if (b.kind == Kind::Message) {
                out_ << qzhost::format_number(patch_.host().now()) << " click " << b.name << ": "
                     << b.text << '\n';
                patch_.click(b.name);
            } else if (b.kind == Kind::Comment && parse_wait(b.text, ms)) {
                out_ << qzhost::format_number(patch_.host().now()) << " wait " << ms << " ms\n";
                patch_.host().advance_by(ms);
            } else if (b.kind == Kind::Subpatcher && b.sub >= 0) {
                walk(b.sub);
            } else if (is_number_box(b) && expect_.count(i) != 0) {
                compare(b, boxes[static_cast<size_t>(expect_[i])]);
            }
        }
    }

    void compare(const Patch::Box &b, const Patch::Box &comment)
    {
        double value = 0;
        int decimals = 0;
        parse_expectation(comment.text, value, decimals);
        ++checks_;
        const bool ok = agrees(b.value, value, decimals);
        if (!ok)
            ++failures_;
        out_ << (ok ? "ok " : "FAIL ") << b.name << " shows " << qzhost::format_number(b.value)
             << ", the comment says '" << comment.text << "'\n";
    }

    Patch &patch_;
    std::ostream &out_;
    std::map<int, int> expect_; // number box -> its expectation comment
    int checks_ = 0;
    int failures_ = 0;
};

} // namespace

bool parse_expectation(const std::string &comment, double &value, int &decimals)
{
    if (comment.rfind("= ", 0) != 0)
        return false;
    const size_t start = comment.find_first_not_of(' ', 2);
    if (start == std::string::npos)
        return false;
    const size_t end = comment.find_first_of(" \t\r\n", start);
    const std::string word = comment.substr(start, end == std::string::npos ? end : end - start);
    if (word == "inf" || word == "-inf") {
        const double inf = std::numeric_limits<double>::infinity();
        value = word[0] == '-' ? -inf : inf;
        decimals = 0;
        return true;
    }
    char *stop = nullptr;
    value = std::strtod(word.c_str(), &stop);
    if (stop == word.c_str() || *stop != '\0' || !std::isfinite(value) ||
        word.find_first_of("eExXnN") != std::string::npos)
        return false;
    const size_t dot = word.find('.');
    decimals = dot == std::string::npos ? 0 : static_cast<int>(word.size() - dot - 1);
    return true;
}

bool agrees(double shown, double expected, int decimals)
{
    if (std::isinf(expected))
        return shown == expected;
    // Strictly within half a unit of the last written decimal: "= 36" holds
    // for 36.4 but not for 36.5, which would be written "= 36.5".
    return std::fabs(shown - expected) < 0.5 * std::pow(10.0, -decimals);
}

int check_patch(Patch &patch, std::ostream &out)
{
    return Walker(patch, out).run();
}

} // namespace qzcli
