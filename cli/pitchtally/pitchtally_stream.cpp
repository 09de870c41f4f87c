#include "pitchtally_stream.hpp"

#include "audio.hpp" // quantize_pitch

#include "cli_common.hpp"
#include "fields.hpp"
#include "notes.hpp"
#include "plot.hpp"

#include <cmath>
#include <vector>

namespace qzcli {

namespace {

struct Event {
    double time = 0.0;
    bool stop = false;
    double pitch = 0.0;
    bool has_amp = false;
    double amp = 0.0;
};

// A pitch: a number, or a note name as its MIDI number (C4 = 60).
bool parse_pitch(const std::string &word, double &out)
{
    return parse_double(word, out) || parse_note(word, out);
}

// Parses one line. Returns false with `error` set when it does not parse;
// `empty` tells a blank/comment line, `header` a header line.
bool parse_line(std::string_view raw, bool header_allowed, Event &ev, bool &empty, bool &header,
                std::string &error)
{
    empty = false;
    header = false;
    std::vector<Field> f;
    std::size_t column = 0;
    if (!split_fields(strip_comment(raw), f, column)) {
        error = "empty field (column " + std::to_string(column) + ")";
        return false;
    }
    if (f.empty()) {
        empty = true;
        return true;
    }
    double t = 0.0;
    if (!parse_double(f[0].text, t)) {
        if (header_allowed) {
            header = true;
            return true;
        }
        error = "time '" + f[0].text + "' is not a number";
        return false;
    }
    if (!std::isfinite(t) || t < 0.0) {
        error = "time '" + f[0].text + "' must be a finite number of ms, at least 0";
        return false;
    }
    ev = Event{};
    ev.time = t;
    if (f.size() < 2) {
        error = "expected TIME PITCH [AMP] or TIME stop";
        return false;
    }
    if (f[1].text == "stop") {
        if (f.size() != 2) {
            error = "nothing may follow 'stop'";
            return false;
        }
        ev.stop = true;
        return true;
    }
    if (!parse_pitch(f[1].text, ev.pitch)) {
        error = "pitch '" + f[1].text + "' is neither a number nor a note name";
        return false;
    }
    if (f.size() > 3) {
        error = "too many fields (expected TIME PITCH [AMP])";
        return false;
    }
    if (f.size() == 3) {
        if (!parse_double(f[2].text, ev.amp)) {
            error = "amplitude '" + f[2].text + "' is not a number";
            return false;
        }
        ev.has_amp = true;
    }
    return true;
}

} // namespace

int play_pitch_stream(qzhost::Host &host, qzhost::BoxId box, std::string_view text,
                      const std::string &where, int digits, std::ostream &out_stream,
                      std::ostream &err, TallyPicture *picture, double quantize)
{
    // A report leaves as probability, average amplitude, pitch: the line is
    // complete when the pitch arrives.
    double proba = 0.0, avgamp = 0.0;
    std::string out;
    host.on_outlet([&](const qzhost::OutletEvent &e) {
        if (e.box != box)
            return;
        if (e.outlet == 2) {
            proba = e.value;
        } else if (e.outlet == 1) {
            avgamp = e.value;
        } else if (e.outlet == 0) {
            out += format_value(e.time, digits);
            out += ' ';
            out += format_value(e.value, digits);
            out += ' ';
            out += format_value(avgamp, digits);
            out += ' ';
            out += format_value(proba, digits);
            out += '\n';
            if (picture)
                picture->report(e.time, e.value, avgamp, proba);
        }
    });
    auto flush = [&] {
        out_stream << out;
        out.clear();
    };

    std::size_t pos = 0;
    long lineno = 0;
    bool seen_data = false;
    long events = 0, header_line = 0;
    double last_time = 0.0;
    int status = kOk;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = text.size();
        const std::string_view line = text.substr(pos, nl - pos);
        pos = nl + 1;
        ++lineno;

        Event ev;
        bool empty = false, header = false;
        std::string error;
        if (!parse_line(line, !seen_data, ev, empty, header, error)) {
            flush();
            err << "qz pitchtally: " << where << " line " << lineno << ": " << error << '\n';
            status = kFailure;
            break;
        }
        if (empty)
            continue;
        seen_data = true; // a header is allowed only before any other line
        if (header) {
            header_line = lineno;
            continue;
        }
        ++events;
        if (ev.time < last_time) {
            flush();
            err << "qz pitchtally: " << where << " line " << lineno << ": time "
                << qzhost::format_number(ev.time) << " is before the previous line's "
                << qzhost::format_number(last_time) << '\n';
            status = kFailure;
            break;
        }
        last_time = ev.time;

        host.advance_to(ev.time);
        if (ev.stop) {
            host.send(box, 0, "stop", {});
        } else {
            if (ev.has_amp)
                host.send_float(box, 1, ev.amp);
            ev.pitch = quantize_pitch(ev.pitch, quantize);
            host.send_float(box, 0, ev.pitch);
            if (picture)
                picture->event(ev.time, ev.pitch, ev.has_amp, ev.amp);
        }
        if (out.size() > 1 << 16)
            flush();
    }
    // A text whose only line is taken for a header is no stream (a stray
    // text file, a line of words): an error rather than nothing at all.
    if (status == kOk && events == 0 && header_line > 0) {
        err << "qz pitchtally: " << where << " line " << header_line
            << ": no event line; the only line is no 'TIME PITCH [AMP]' event\n";
        status = kFailure;
    }
    if (status == kOk)
        host.run_until_idle();
    flush();
    return status;
}

} // namespace qzcli
