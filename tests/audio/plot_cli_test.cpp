// --plot: every picture in both formats. A PNG must have the asked size (read
// from its header) and show marks in the plot area (decoded, not just
// written); an SVG must parse as XML (xmllint) and say its size.
#include "plot.hpp"
#include "sound_fixture.hpp"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>
#include <string>
#include <vector>

// Some of these tests draw in this process. fontconfig (under cairo's text)
// keeps what it parsed from its configuration files for the life of the
// process, as tests/audio/lsan.supp says for the qz runs; LeakSanitizer in
// the sanitizer build reads the same suppression from here.
extern "C" const char *__lsan_default_suppressions(); // NOLINT(bugprone-reserved-identifier)
extern "C" const char *__lsan_default_suppressions()  // NOLINT(bugprone-reserved-identifier)
{
    return "leak:libfontconfig.so\n";
}

namespace {

using qztest::qz;
using qztest::QzRun;

std::string bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t big_endian(const std::string &b, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = v << 8 | static_cast<unsigned char>(b.at(at + i));
    return v;
}

// The PNG is 1200x600 and, inside the axes (x 102 to 1100, right of the
// frame's left edge; y 100 to 500), has at least `min_marks` pixels that are
// not white nor grid grey (their count in `marks_out`) and at least three
// colours.
void expect_png(const std::string &path, int min_marks, int *marks_out = nullptr)
{
    const std::string b = bytes(path);
    ASSERT_GT(b.size(), 24u) << path;
    ASSERT_EQ(b.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << path;
    ASSERT_EQ(b.substr(12, 4), "IHDR");
    EXPECT_EQ(big_endian(b, 16), 1200u);
    EXPECT_EQ(big_endian(b, 20), 600u);

    cairo_surface_t *s = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
    const unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    int marks = 0;
    std::set<std::uint32_t> colours;
    for (int y = 100; y < 500; ++y)
        for (int x = 102; x < 1100; ++x) { // right of the frame's left edge
            std::uint32_t px = 0;
            for (int i = 0; i < 4; ++i)
                px = px << 8 | data[y * stride + x * 4 + i];
            colours.insert(px);
            const int b0 = data[y * stride + x * 4], g = data[y * stride + x * 4 + 1],
                      r = data[y * stride + x * 4 + 2];
            if (!(r == g && g == b0 && r >= 0xd0)) // neither white nor the light grid
                ++marks;
        }
    cairo_surface_destroy(s);
    EXPECT_GE(marks, min_marks) << path;
    EXPECT_GE(colours.size(), 3u) << path;
    if (marks_out)
        *marks_out = marks;
}

void expect_svg(const std::string &path)
{
    const QzRun r = qztest::shell(std::string("'") + QZ_XMLLINT + "' --noout '" + path + "'");
    EXPECT_EQ(r.status, 0) << path << "\n" << r.err;
    const std::string text = bytes(path);
    EXPECT_NE(text.find("<svg"), std::string::npos);
    EXPECT_NE(text.find("width=\"1200"), std::string::npos);
    EXPECT_NE(text.find("height=\"600"), std::string::npos);
}

std::string sine_notes()
{
    // A glide over an octave, 220 to 440 Hz in 0.6 s.
    return qztest::sox("plot_glide.wav", "-n -r 44100 -c 1 -b 16 OUT synth 0.6 sine 220:440");
}

TEST(Plot, EveryPictureInBothFormats)
{
    const std::string dir = qztest::scratch();
    const std::string notes = sine_notes();
    const std::string chord =
        qztest::sox("plot_chord.wav",
                    "-n -r 44100 -c 1 OUT synth 0.5 sine 220 sine 330 sine 440 remix - vol 0.8");
    const std::string stream =
        qztest::write_file("stream.txt", "0 60 0.5\n10 60 0.4\n20 62 0.3\n400 64 0.2\n");
    const std::string extreme =
        qztest::write_file("extreme.txt", "0 1e308 1\n1 -1e308 1\n2 nan 1\n3 inf\n");
    struct Case {
        std::string args;
        int min_marks;
    };
    const Case cases[] = {
        {"track '" + notes + "'", 2000},
        {"pitchtally --agents 50 --window 50 --audio '" + notes + "' --quantize 1", 2000},
        {"pitchtally --agents 8 --window 100 '" + stream + "'", 200},
        // Extreme and non-finite pitches: the finite ones set the axes, which
        // do not overflow; the rest is left out.
        {"pitchtally --agents 8 --minproba 0 '" + extreme + "'", 0},
        {"subtone --audio '" + chord + "'", 2000},
        // Hz: a logarithmic axis with note names.
        {"track --unit hz '" + notes + "'", 2000},
        {"pitchtally --agents 50 --window 50 --audio '" + notes + "' --unit hz --quantize 1", 2000},
    };
    int i = 0;
    for (const Case &c : cases) {
        for (const char *ext : {".png", ".svg"}) {
            const std::string out = dir + "picture" + std::to_string(i) + ext;
            const QzRun r = qz(c.args + " --plot '" + out + "'");
            ASSERT_EQ(r.status, 0) << c.args << "\n" << r.err;
            EXPECT_FALSE(r.out.empty()) << c.args; // the numbers are printed too
            if (ext[1] == 'p')
                expect_png(out, c.min_marks);
            else
                expect_svg(out);
        }
        ++i;
    }
}

// The pitch axes drawn straight: values that have no place on a
// logarithmic axis (0, negatives, not-a-number, inf) are left out and the
// others still drawn, whatever their range; a stream with nothing drawable
// still gives a picture. Each picture is checked as above (size, marks).
TEST(Plot, PitchAxesKeepOnlyWhatTheyCanPlace)
{
    using qzcli::PitchAxis;
    using qzcli::StreamPoint;
    const double inf = std::numeric_limits<double>::infinity();
    // 440 Hz in the middle of the time axis; the rest has no place in Hz.
    const std::vector<StreamPoint> mixed = {{0, 0, 1},    {10, -440, 1}, {25, 440, 1},
                                            {30, inf, 1}, {40, -inf, 1}, {50, std::nan(""), 1}};
    std::vector<StreamPoint> extreme, far, rising;
    for (int i = 0; i < 400; ++i) {
        // The extreme doubles: the axis has no room for a margin, so the
        // dots sit on the frame (outside the counted area); nothing else
        // may be drawn.
        extreme.push_back({i * 10.0, i % 2 ? 4.9e-324 : 1e308, 1});
        far.push_back({i * 10.0, i % 2 ? 1e-300 : 1e300, 1});
        rising.push_back({i * 10.0, 55.0 * std::exp2(i / 100.0), 1}); // A1 to A5
    }
    const std::vector<StreamPoint> nothing = {{0, 0, 1}, {10, -1, 1}};
    // Marks: about 20 pixels a dot inside the counted area (right of the
    // frame's left edge up to x 1100, y 100 to 500).
    const struct {
        const char *name;
        PitchAxis unit;
        const std::vector<StreamPoint> &stream;
        int min_marks, max_marks;
    } cases[] = {
        {"hz_mixed", PitchAxis::hz, mixed, 10, 60},
        {"hz_extreme", PitchAxis::hz, extreme, 0, 0},
        {"hz_rising", PitchAxis::hz, rising, 2000, 40000},
        {"hz_nothing", PitchAxis::hz, nothing, 0, 0},
        {"midi_mixed", PitchAxis::midi, mixed, 30, 120}, // 0, -440, 440
        // On a linear axis up to 1e300, 1e-300 is 0: the lower dots make a
        // row inside the area (200 dots, 5 px tall, 1000 px long), the upper
        // ones sit on the frame.
        {"midi_far", PitchAxis::midi, far, 2000, 8000},
    };
    for (const auto &c : cases) {
        const std::string out = qztest::scratch() + "axis_" + c.name + ".png";
        std::string error;
        ASSERT_TRUE(qzcli::plot_track(out, c.name, "pitch", c.unit, c.stream, error)) << error;
        int marks = -1;
        expect_png(out, c.min_marks, &marks);
        EXPECT_LE(marks, c.max_marks) << c.name;
    }
}

TEST(Plot, BadPictureNamesAndPlaces)
{
    const std::string notes = sine_notes();
    QzRun r = qz("track --plot picture.jpg '" + notes + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(".svg or .png"), std::string::npos) << r.err;
    // A folder that does not exist: the numbers are printed, the picture
    // fails with a message.
    r = qz("track --plot /nonexistent-dir/x.png '" + notes + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.out.empty());
    EXPECT_NE(r.err.find("cannot write the picture"), std::string::npos) << r.err;
    r = qz("pitchtally --agents 2 --plot /nonexistent-dir/x.svg /dev/null");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write the picture"), std::string::npos) << r.err;
}

} // namespace
