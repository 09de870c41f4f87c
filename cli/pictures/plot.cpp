// The pictures, drawn with cairo. Every picture is a Figure: a frame with a
// title, axes, ticks and labels, and marks placed through its scales.
#include "plot.hpp"

#include "cli_common.hpp"
#include "notes.hpp"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

namespace qzcli {

namespace {

struct Range {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    void add(double v)
    {
        if (!std::isfinite(v))
            return;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    // A pitch: in Hz only a value above 0 has a place on the axis.
    void add_pitch(double v, PitchAxis unit)
    {
        if (unit == PitchAxis::midi || v > 0.0)
            add(v);
    }
    bool empty() const { return !(lo <= hi); }
};

// A linear or logarithmic axis over [lo, hi]; a pitch axis (`notes`) is
// ticked at notes: MIDI pitches when linear, Hz when logarithmic.
struct Axis {
    double lo = 0.0, hi = 1.0;
    bool log = false;
    bool notes = false;
    std::string label;
    double frac(double v) const
    {
        if (log)
            return (std::log(v) - std::log(lo)) / (std::log(hi) - std::log(lo));
        return (v * 0.5 - lo * 0.5) / (hi * 0.5 - lo * 0.5); // halves: no overflow at 1e308
    }
};

// The data range with a margin; a range without width gets one.
Axis linear_axis(Range r, std::string label)
{
    Axis a;
    a.label = std::move(label);
    if (r.empty())
        return a;
    // A margin of 5 % of the range on each side, from the half range so
    // that extreme values do not overflow.
    double margin = (r.hi * 0.5 - r.lo * 0.5) * 0.1;
    if (margin <= 0.0)
        margin = std::max(1.0, std::fabs(r.lo) * 0.05);
    a.lo = r.lo - margin;
    a.hi = r.hi + margin;
    if (!std::isfinite(a.lo) || !std::isfinite(a.hi)) {
        a.lo = r.lo;
        a.hi = r.hi;
    }
    return a;
}

Axis log_axis(Range r, std::string label)
{
    Axis a;
    a.log = true;
    a.label = std::move(label);
    if (r.empty() || r.lo <= 0.0) {
        a.lo = 20.0;
        a.hi = 2000.0;
        return a;
    }
    a.lo = r.lo / 1.2;
    a.hi = r.hi * 1.2;
    if (!std::isfinite(a.hi))
        a.hi = r.hi;
    if (!(a.lo > 0.0))
        a.lo = r.lo;
    if (!(a.lo < a.hi)) { // a single value (or one so extreme it has no margin)
        a.lo = r.lo / 2.0;
        a.hi = r.lo * 2.0;
    }
    if (!(a.lo > 0.0) || !std::isfinite(a.hi) || !(a.lo < a.hi)) {
        a.lo = 20.0;
        a.hi = 2000.0;
    }
    return a;
}

// The pitch axis of a picture: MIDI pitches on a linear axis, Hz on a
// logarithmic one (only values above 0 count there), ticked at notes.
Axis pitch_axis(const Range &r, std::string label, PitchAxis unit)
{
    Axis a =
        unit == PitchAxis::hz ? log_axis(r, std::move(label)) : linear_axis(r, std::move(label));
    a.notes = true;
    return a;
}

// Tick values: a 1-2-5 step giving about `target` ticks on a linear axis;
// 1-2-5 values of every decade on a logarithmic one. Never more than
// kMaxTicks, whatever the range.
constexpr int kMaxTicks = 40;

// Note ticks: MIDI pitches at a step of 1, 2, 3, 4 or 6 semitones or a
// whole number of octaves, the smallest that gives at most `target` ticks;
// every step divides an octave or is octaves, so each C is a tick. The
// values are MIDI pitches on a linear axis, their Hz on a logarithmic one.
std::vector<double> note_ticks(const Axis &a, int target)
{
    std::vector<double> t;
    const double lo = a.log ? hz_to_note(a.lo, kA4Hz) : a.lo;
    const double hi = a.log ? hz_to_note(a.hi, kA4Hz) : a.hi;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(lo < hi))
        return t;
    const double span = hi * 0.5 - lo * 0.5; // half the span: no overflow
    double step = 0.0;
    for (double s : {1.0, 2.0, 3.0, 4.0, 6.0})
        if (span * 2.0 / s <= target) {
            step = s;
            break;
        }
    if (step == 0.0)
        step = 12.0 * std::ceil(span * 2.0 / 12.0 / target);
    const double first = std::ceil(lo / step);
    if (!std::isfinite(step) || !std::isfinite(first))
        return t;
    for (int i = 0; i < kMaxTicks; ++i) {
        const double m = (first + i) * step;
        if (m > hi)
            break;
        t.push_back(a.log ? note_to_hz(m, kA4Hz) : m);
    }
    return t;
}

std::string tick_text(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// A note tick's text: the note and its value ("C4 (60)", "A4 (440)").
std::string note_tick_text(const Axis &a, double v)
{
    if (std::fabs(v) >= 1e6) // beyond note names: the number alone
        return tick_text(v);
    const double midi = a.log ? std::round(hz_to_note(v, kA4Hz)) : v;
    char buf[48];
    std::snprintf(buf, sizeof buf, std::fabs(v) >= 10.0 ? "%.0f" : "%.2g", v);
    return note_name(midi) + " (" + buf + ")";
}

std::vector<double> ticks(const Axis &a, int target)
{
    std::vector<double> t;
    if (a.notes)
        return note_ticks(a, target);
    if (a.log) {
        const double first = std::floor(std::log10(a.lo));
        for (int d = 0; d < kMaxTicks && first + d <= std::log10(a.hi); ++d)
            for (double m : {1.0, 2.0, 5.0}) {
                const double v = std::pow(10.0, first + d) * m;
                if (v >= a.lo && v <= a.hi && t.size() < kMaxTicks)
                    t.push_back(v);
            }
        return t;
    }
    const double raw = (a.hi * 0.5 - a.lo * 0.5) / target * 2.0;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    const double n = raw / mag;
    const double step = (n < 1.5 ? 1.0 : n < 3.0 ? 2.0 : n < 7.0 ? 5.0 : 10.0) * mag;
    const double first = std::ceil(a.lo / step);
    if (!std::isfinite(step) || !std::isfinite(first) || step <= 0.0)
        return t;
    for (int i = 0; i < kMaxTicks; ++i) {
        const double v = (first + i) * step;
        if (v > a.hi + step * 1e-9)
            break;
        t.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
    }
    return t;
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t *s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t *c) const { cairo_destroy(c); }
};

// One picture: the surface (the only thing that differs between SVG and
// PNG), the frame and the scales from data to the page.
class Figure {
  public:
    Figure(const std::string &path, Axis x, Axis y)
        : path_(path), x_(std::move(x)), y_(std::move(y))
    {
        svg_ = has_extension(path, ".svg");
        surface_.reset(
            svg_ ? cairo_svg_surface_create(path.c_str(), kPlotWidth, kPlotHeight)
                 : cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPlotWidth, kPlotHeight));
        cr_.reset(cairo_create(surface_.get()));
    }

    cairo_t *cr() const { return cr_.get(); }
    double px(double v) const { return left_ + x_.frac(v) * (right_ - left_); }
    double py(double v) const { return bottom_ - y_.frac(v) * (bottom_ - top_); }
    bool inside(double x, double y) const
    {
        return std::isfinite(x) && std::isfinite(y) && (!y_.log || y > 0.0);
    }

    // White page, grid, axes with ticks and labels, the title on top.
    void frame(const std::string &title)
    {
        cairo_t *c = cr();
        cairo_set_source_rgb(c, 1, 1, 1);
        cairo_paint(c);
        cairo_select_font_face(c, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_line_width(c, 1.0);
        cairo_set_font_size(c, 13.0);
        for (double v : ticks(x_, 10)) {
            const double x = px(v);
            grid_line(x, top_, x, bottom_);
            text(tick_text(v), x, bottom_ + 8, 0.5, 1.0);
        }
        for (double v : ticks(y_, y_.notes ? 16 : 8)) {
            const double y = py(v);
            grid_line(left_, y, right_, y);
            text(y_.notes ? note_tick_text(y_, v) : tick_text(v), left_ - 8, y, 1.0, 0.5);
        }
        cairo_set_source_rgb(c, 0.15, 0.15, 0.15);
        cairo_set_line_width(c, 1.5);
        cairo_rectangle(c, left_, top_, right_ - left_, bottom_ - top_);
        cairo_stroke(c);

        cairo_set_font_size(c, 15.0);
        text(x_.label, (left_ + right_) / 2, kPlotHeight - 32, 0.5, 0.0);
        cairo_save(c);
        cairo_translate(c, 18, (top_ + bottom_) / 2);
        cairo_rotate(c, -M_PI / 2);
        text(y_.label, 0, 0, 0.5, 0.5);
        cairo_restore(c);

        // The title shrinks until it fits the width.
        double size = 17.0;
        cairo_text_extents_t e;
        for (;; size -= 1.0) {
            cairo_set_font_size(c, size);
            cairo_text_extents(c, title.c_str(), &e);
            if (e.x_advance <= kPlotWidth - 40 || size <= 8.0)
                break;
        }
        text(title, kPlotWidth / 2.0, 18, 0.5, 0.0);
        cairo_rectangle(c, left_, top_, right_ - left_, bottom_ - top_);
        cairo_clip(c);
    }

    // A line of small text under the plot area, on the right, clear of the
    // marks and of the axis label in the middle.
    void legend(const std::string &line, int row)
    {
        cairo_t *c = cr();
        cairo_save(c);
        cairo_reset_clip(c);
        cairo_set_font_size(c, 12.0);
        text(line, right_, bottom_ + 30 + row * 17, 1.0, 0.0);
        cairo_restore(c);
    }

    // Writes the file; false with `error` when cairo could not.
    bool finish(std::string &error)
    {
        cairo_status_t st = cairo_status(cr());
        if (st == CAIRO_STATUS_SUCCESS && !svg_)
            st = cairo_surface_write_to_png(surface_.get(), path_.c_str());
        cr_.reset();
        cairo_surface_finish(surface_.get());
        if (st == CAIRO_STATUS_SUCCESS)
            st = cairo_surface_status(surface_.get());
        surface_.reset();
        // One picture per run: cairo's font caches (and fontconfig's, which
        // they hold) are let go here, so that leak checkers see none of them.
        cairo_debug_reset_static_data();
        if (st != CAIRO_STATUS_SUCCESS) {
            error = "cannot write the picture '" + path_ + "': " + cairo_status_to_string(st);
            return false;
        }
        return true;
    }

  private:
    void grid_line(double x0, double y0, double x1, double y1)
    {
        cairo_t *c = cr();
        cairo_set_source_rgb(c, 0.88, 0.88, 0.88);
        cairo_move_to(c, x0, y0);
        cairo_line_to(c, x1, y1);
        cairo_stroke(c);
        cairo_set_source_rgb(c, 0.1, 0.1, 0.1);
    }

    // Text placed by its box: ax, ay 0..1 from the left and top.
    void text(const std::string &s, double x, double y, double ax, double ay)
    {
        cairo_t *c = cr();
        cairo_text_extents_t e;
        cairo_text_extents(c, s.c_str(), &e);
        cairo_move_to(c, x - e.x_advance * ax, y - e.y_bearing - e.height * ay);
        cairo_set_source_rgb(c, 0.1, 0.1, 0.1);
        cairo_show_text(c, s.c_str());
    }

    std::string path_;
    Axis x_, y_;
    bool svg_ = false;
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface_;
    std::unique_ptr<cairo_t, ContextDeleter> cr_;
    double left_ = 100, right_ = kPlotWidth - 30, top_ = 50, bottom_ = kPlotHeight - 80;
};

const char *const kTimeLabel = "time (s)";

double max_of(const std::vector<StreamPoint> &s)
{
    double m = 0.0;
    for (const StreamPoint &p : s)
        if (std::isfinite(p.amp))
            m = std::max(m, p.amp);
    return m;
}

void dot(cairo_t *c, double x, double y, double r)
{
    cairo_new_sub_path(c);
    cairo_arc(c, x, y, r, 0, 2 * M_PI);
}

// 0 for the quietest, 1 for the loudest.
double shade(double amp, double max_amp)
{
    if (!(max_amp > 0.0) || !std::isfinite(amp))
        return 0.0;
    return std::clamp(amp / max_amp, 0.0, 1.0);
}

} // namespace

bool plot_track(const std::string &path, const std::string &title, const std::string &y_label,
                PitchAxis unit, const std::vector<StreamPoint> &stream, std::string &error)
{
    Range t, p;
    t.add(0.0);
    for (const StreamPoint &e : stream) {
        t.add(e.time / 1000.0);
        p.add_pitch(e.pitch, unit);
    }
    Figure fig(path, linear_axis(t, kTimeLabel), pitch_axis(p, y_label, unit));
    fig.frame(title);
    cairo_t *c = fig.cr();
    const double max_amp = max_of(stream);
    for (const StreamPoint &e : stream) {
        if (!fig.inside(e.time, e.pitch))
            continue;
        const double s = shade(e.amp, max_amp);
        cairo_set_source_rgba(c, 0.1, 0.25, 0.7, 0.2 + 0.8 * s);
        dot(c, fig.px(e.time / 1000.0), fig.py(e.pitch), 2.5);
        cairo_fill(c);
    }
    fig.legend("one dot per frame with a pitch; darker: louder", 0);
    return fig.finish(error);
}

bool plot_pitchtally(const std::string &path, const std::string &title, const std::string &y_label,
                     PitchAxis unit, const std::vector<StreamPoint> &stream,
                     const std::vector<TallyReport> &reports, std::string &error)
{
    Range t, p;
    t.add(0.0);
    for (const StreamPoint &e : stream) {
        t.add(e.time / 1000.0);
        p.add_pitch(e.pitch, unit);
    }
    double max_amp = 0.0;
    for (const TallyReport &r : reports) {
        t.add(r.time / 1000.0);
        p.add_pitch(r.pitch, unit);
        if (std::isfinite(r.avgamp))
            max_amp = std::max(max_amp, r.avgamp);
    }
    Figure fig(path, linear_axis(t, kTimeLabel), pitch_axis(p, y_label, unit));
    fig.frame(title);
    cairo_t *c = fig.cr();
    cairo_set_source_rgba(c, 0.35, 0.35, 0.35, 0.3);
    for (const StreamPoint &e : stream)
        if (fig.inside(e.time, e.pitch))
            dot(c, fig.px(e.time / 1000.0), fig.py(e.pitch), 1.8);
    cairo_fill(c);
    cairo_set_line_width(c, 0.6);
    for (const TallyReport &r : reports) {
        if (!fig.inside(r.time, r.pitch))
            continue;
        const double proba = std::isfinite(r.proba) ? std::clamp(r.proba, 0.0, 1.0) : 0.0;
        const double s = shade(r.avgamp, max_amp);
        dot(c, fig.px(r.time / 1000.0), fig.py(r.pitch), 1.5 + 6.0 * std::sqrt(proba));
        // A report whose window held only its own event is a ring: its
        // probability says nothing of recurrence.
        cairo_set_source_rgba(c, 0.95 - 0.6 * s, 0.6 - 0.45 * s, 0.3 - 0.25 * s,
                              r.alone ? 0.0 : 0.6);
        cairo_fill_preserve(c);
        cairo_set_source_rgba(c, 0.4, 0.15, 0.05, r.alone ? 0.9 : 0.6);
        cairo_stroke(c);
    }
    fig.legend("faint: incoming pitches; discs: reports; rings: a window with one event", 0);
    fig.legend("disc area: probability; darker: louder average amplitude", 1);
    return fig.finish(error);
}

namespace {

// The time (s) and frequency ranges of frames of qz subtone --audio, from
// 0 s; returns the level of their loudest peak.
double frame_ranges(const std::vector<SubtoneFrame> &frames, Range &t, Range &f)
{
    t.add(0.0);
    double max_amp = 0.0;
    for (const SubtoneFrame &fr : frames) {
        t.add(fr.time / 1000.0);
        for (const Peak &p : fr.partials) {
            f.add_pitch(p.freq, PitchAxis::hz);
            max_amp = std::max(max_amp, p.amp);
        }
        if (fr.has_f0)
            f.add_pitch(fr.f0_hz, PitchAxis::hz);
    }
    return max_amp;
}

// A peak's shade on a 60 dB scale: 0 at 60 dB or more below the loudest, 1 for it.
double db_shade(double amp, double max_amp)
{
    const double db = max_amp > 0.0 && amp > 0.0 ? 20.0 * std::log10(amp / max_amp) : -60.0;
    return std::clamp(1.0 + db / 60.0, 0.0, 1.0);
}

} // namespace

bool plot_subtone(const std::string &path, const std::string &title,
                  const std::vector<SubtoneFrame> &frames, std::string &error)
{
    Range t, f;
    const double max_amp = frame_ranges(frames, t, f);
    Figure fig(path, linear_axis(t, kTimeLabel), pitch_axis(f, "frequency (Hz)", PitchAxis::hz));
    fig.frame(title);
    cairo_t *c = fig.cr();
    for (const SubtoneFrame &fr : frames)
        for (const Peak &p : fr.partials) {
            if (!fig.inside(fr.time, p.freq))
                continue;
            cairo_set_source_rgba(c, 0.1, 0.25, 0.7, 0.15 + 0.85 * db_shade(p.amp, max_amp));
            dot(c, fig.px(fr.time / 1000.0), fig.py(p.freq), 2.5);
            cairo_fill(c);
        }
    // The fundamental: a line through consecutive frames that have one.
    cairo_set_source_rgb(c, 0.85, 0.1, 0.1);
    cairo_set_line_width(c, 2.5);
    bool drawing = false;
    for (const SubtoneFrame &fr : frames) {
        if (!fr.has_f0 || !fig.inside(fr.time, fr.f0_hz)) {
            drawing = false;
            continue;
        }
        const double x = fig.px(fr.time / 1000.0), y = fig.py(fr.f0_hz);
        if (drawing)
            cairo_line_to(c, x, y);
        else
            cairo_move_to(c, x, y);
        cairo_line_to(c, x, y); // a lone frame still shows (round caps)
        drawing = true;
    }
    cairo_set_line_cap(c, CAIRO_LINE_CAP_ROUND);
    cairo_stroke(c);
    fig.legend("dots: spectral peaks sent to qz.subtone (darker: louder)", 0);
    fig.legend("red line: virtual fundamental", 1);
    return fig.finish(error);
}

bool plot_segments(const std::string &path, const std::string &title,
                   const std::vector<SubtoneFrame> &frames,
                   const std::vector<PlotSegment> &segments, std::string &error)
{
    Range t, f;
    const double max_amp = frame_ranges(frames, t, f);
    for (const PlotSegment &sg : segments) {
        t.add(sg.end);
        if (sg.has_f0)
            f.add_pitch(sg.f0_hz, PitchAxis::hz);
    }
    Figure fig(path, linear_axis(t, kTimeLabel), pitch_axis(f, "frequency (Hz)", PitchAxis::hz));
    fig.frame(title);
    cairo_t *c = fig.cr();
    cairo_set_source_rgba(c, 0.1, 0.25, 0.7, 0.12);
    for (const SubtoneFrame &fr : frames)
        for (const Peak &p : fr.partials)
            if (fig.inside(fr.time, p.freq)) {
                dot(c, fig.px(fr.time / 1000.0), fig.py(p.freq), 1.8);
                cairo_fill(c);
            }
    // Each segment's stable peaks, shaded on a 60 dB scale below the
    // loudest peak, then its fundamental.
    for (const PlotSegment &sg : segments) {
        const double x0 = fig.px(sg.start), x1 = fig.px(sg.end);
        const double w = std::max(1.0, x1 - x0 - 1.0);
        for (const Peak &p : sg.chord) {
            if (!fig.inside(sg.start, p.freq))
                continue;
            cairo_set_source_rgba(c, 0.1, 0.25, 0.7, 0.3 + 0.7 * db_shade(p.amp, max_amp));
            cairo_rectangle(c, x0, fig.py(p.freq) - 1.5, w, 3.0);
            cairo_fill(c);
        }
        if (sg.has_f0 && fig.inside(sg.start, sg.f0_hz)) {
            cairo_set_source_rgb(c, 0.85, 0.1, 0.1);
            cairo_rectangle(c, x0, fig.py(sg.f0_hz) - 2.5, w, 5.0);
            cairo_fill(c);
        }
    }
    fig.legend("dots: spectral peaks of each frame; blue bars: a segment's stable peaks, sent "
               "to qz.subtone (darker: louder)",
               0);
    fig.legend("red bars: virtual fundamental of each segment", 1);
    return fig.finish(error);
}

bool plot_score(const std::string &path, const std::string &title, const std::string &x_label,
                const std::vector<RollChord> &chords, std::string &error)
{
    Range t, p;
    t.add(0.0);
    for (const RollChord &c : chords) {
        t.add(c.end);
        for (double v : c.pitches)
            p.add(v);
        p.add(c.f0);
    }
    Figure fig(path, linear_axis(t, x_label), linear_axis(p, "pitch (MIDI)"));
    fig.frame(title);
    cairo_t *c = fig.cr();
    // The piano roll: a bar a semitone high per sounding pitch.
    const double h = std::max(2.0, std::fabs(fig.py(0.0) - fig.py(1.0)) * 0.8);
    cairo_set_source_rgba(c, 0.1, 0.25, 0.7, 0.55);
    for (const RollChord &ch : chords)
        for (double v : ch.pitches) {
            if (!fig.inside(ch.start, v))
                continue;
            const double x0 = fig.px(ch.start), x1 = fig.px(ch.end);
            cairo_rectangle(c, x0, fig.py(v) - h / 2, std::max(1.0, x1 - x0 - 1.0), h);
        }
    cairo_fill(c);
    // The fundamental: a step line through the chords that have one.
    cairo_set_source_rgb(c, 0.85, 0.1, 0.1);
    cairo_set_line_width(c, 3.0);
    bool drawing = false;
    double last_end = 0.0;
    for (const RollChord &ch : chords) {
        if (!fig.inside(ch.start, ch.f0)) {
            drawing = false;
            continue;
        }
        const double y = fig.py(ch.f0);
        if (drawing && ch.start == last_end)
            cairo_line_to(c, fig.px(ch.start), y);
        else
            cairo_move_to(c, fig.px(ch.start), y);
        cairo_line_to(c, fig.px(ch.end), y);
        drawing = true;
        last_end = ch.end;
    }
    cairo_stroke(c);
    fig.legend("bars: the pitches of each chord", 0);
    fig.legend("red line: virtual fundamental (qz.subtone, midi mode)", 1);
    return fig.finish(error);
}

} // namespace qzcli
