// Sound in through aubio: its file reader (mono mixdown at the file's own
// rate), its pitch tracker and its phase vocoder.
#include "audio.hpp"
#include "cli_common.hpp"
#include "notes.hpp"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace qzcli {

namespace {

// Collects aubio's log lines while alive instead of letting aubio print
// them, so that a failure can be reported once, in our words.
class AubioLog {
  public:
    AubioLog() { aubio_log_set_function(&AubioLog::collect, this); }
    ~AubioLog() { aubio_log_reset(); }
    AubioLog(const AubioLog &) = delete;
    AubioLog &operator=(const AubioLog &) = delete;

    // The last error line, without aubio's prefix and line end.
    std::string last() const { return last_; }

  private:
    static void collect(sint_t level, const char_t *message, void *data)
    {
        if (level != AUBIO_LOG_ERR || message == nullptr)
            return;
        std::string m(message);
        const std::string prefix = "AUBIO ERROR: ";
        if (m.rfind(prefix, 0) == 0)
            m.erase(0, prefix.size());
        while (!m.empty() && (m.back() == '\n' || m.back() == '\r'))
            m.pop_back();
        static_cast<AubioLog *>(data)->last_ = m;
    }
    std::string last_;
};

struct SourceDeleter {
    void operator()(aubio_source_t *s) const { del_aubio_source(s); }
};
struct PitchDeleter {
    void operator()(aubio_pitch_t *p) const { del_aubio_pitch(p); }
};
struct PvocDeleter {
    void operator()(aubio_pvoc_t *p) const { del_aubio_pvoc(p); }
};
struct OnsetDeleter {
    void operator()(aubio_onset_t *o) const { del_aubio_onset(o); }
};
struct FvecDeleter {
    void operator()(fvec_t *v) const { del_fvec(v); }
};
struct CvecDeleter {
    void operator()(cvec_t *v) const { del_cvec(v); }
};
using Source = std::unique_ptr<aubio_source_t, SourceDeleter>;
using Fvec = std::unique_ptr<fvec_t, FvecDeleter>;

// Opens a sound file at its own sample rate, reading `hopsize` samples at a
// time. Null with `error` set when it is no readable sound.
Source open_sound(const std::string &path, long hopsize, const AubioLog &log, std::string &error)
{
    if (!check_readable(path, error))
        return nullptr;
    Source s(new_aubio_source(path.c_str(), 0, static_cast<uint_t>(hopsize)));
    if (!s || aubio_source_get_samplerate(s.get()) == 0) {
        error = "cannot read '" + path + "' as sound";
        if (!log.last().empty())
            error += " (aubio: " + log.last() + ")";
        return nullptr;
    }
    return s;
}

// Reads the file hop by hop and calls `frame(hop samples, samples read,
// time in ms at the end of the hop)`; the last hop is padded with zeros and
// its time is the end of the file.
// false with `error` set when the file holds no samples.
template <typename Frame>
bool for_each_hop(aubio_source_t *s, fvec_t *hop, const std::string &path, Frame frame,
                  std::string &error)
{
    const double rate = aubio_source_get_samplerate(s);
    const uint_t length = hop->length;
    unsigned long long total = 0;
    for (;;) {
        uint_t read = 0;
        aubio_source_do(s, hop, &read);
        if (read > length)
            read = length;
        if (read == 0)
            break;
        for (uint_t j = read; j < length; ++j)
            hop->data[j] = 0.0f;
        total += read;
        const double end = static_cast<double>(total) / rate * 1000.0;
        if (!frame(hop, read, end))
            return true;
        if (read < length)
            break;
    }
    if (total == 0) {
        error = "'" + path + "' holds no samples";
        return false;
    }
    return true;
}

} // namespace

bool track_sound(const std::string &path, const TrackOptions &opt, std::vector<TrackEvent> &events,
                 std::string &error, double *end_ms)
{
    events.clear();
    AubioLog log;
    Source src = open_sound(path, opt.hopsize, log, error);
    if (!src)
        return false;
    const uint_t rate = aubio_source_get_samplerate(src.get());
    std::unique_ptr<aubio_pitch_t, PitchDeleter> pitch(
        new_aubio_pitch(opt.method.c_str(), static_cast<uint_t>(opt.bufsize),
                        static_cast<uint_t>(opt.hopsize), rate));
    if (!pitch) {
        error = "aubio cannot track with method " + opt.method + ", bufsize " +
                std::to_string(opt.bufsize) + ", hopsize " + std::to_string(opt.hopsize) + " at " +
                std::to_string(rate) + " Hz";
        if (!log.last().empty())
            error += " (aubio: " + log.last() + ")";
        return false;
    }
    aubio_pitch_set_unit(pitch.get(), "Hz");
    aubio_pitch_set_silence(pitch.get(), static_cast<smpl_t>(opt.silence));
    if (opt.have_tolerance)
        aubio_pitch_set_tolerance(pitch.get(), static_cast<smpl_t>(opt.tolerance));

    Fvec hop(new_fvec(static_cast<uint_t>(opt.hopsize)));
    Fvec out(new_fvec(1));
    double end = 0.0;
    const double floor = confidence_floor(opt);
    auto frame = [&](fvec_t *in, uint_t, double time) {
        end = time;
        aubio_pitch_do(pitch.get(), in, out.get());
        const double hz = out->data[0]; // aubio computes in single; widened once here
        const double confidence = aubio_pitch_get_confidence(pitch.get());
        const double amp = std::sqrt(static_cast<double>(aubio_level_lin(in)));
        if (!(hz > 0.0) || !std::isfinite(hz) || !std::isfinite(amp) || !(confidence >= floor))
            return true;
        double p = quantize_pitch(hz_to_note(hz, kA4Hz), opt.quantize);
        if (!opt.midi)
            p = opt.quantize > 0.0 ? note_to_hz(p, kA4Hz) : hz;
        events.push_back({time, p, amp, confidence});
        return true;
    };
    const bool ok = for_each_hop(src.get(), hop.get(), path, frame, error);
    if (end_ms)
        *end_ms = end;
    return ok;
}

namespace {

// The onset detector's window: its own, or the hop when that is longer.
uint_t onset_bufsize(const OnsetOptions &opt, long hopsize)
{
    return static_cast<uint_t>(std::max(opt.bufsize, hopsize));
}

} // namespace

double onset_lag_ms(const OnsetOptions &opt, long hopsize, double samplerate)
{
    // aubio places an onset by its delay (4.3 hops) before the hop that
    // reported it, and its peak picker looks a few hops ahead; the window
    // and two hops more are a margin.
    const double hops = 4.3 + 6.0 + 2.0;
    const double samples =
        hops * static_cast<double>(hopsize) + static_cast<double>(onset_bufsize(opt, hopsize));
    return samples / samplerate * 1000.0;
}

bool read_spectra(const std::string &path, long bufsize, long hopsize,
                  const std::function<bool(const Spectrum &)> &sink, std::string &error,
                  const OnsetOptions *onsets, double *end_ms)
{
    AubioLog log;
    Source src = open_sound(path, hopsize, log, error);
    if (!src)
        return false;
    const uint_t rate = aubio_source_get_samplerate(src.get());
    std::unique_ptr<aubio_pvoc_t, PvocDeleter> pv(
        new_aubio_pvoc(static_cast<uint_t>(bufsize), static_cast<uint_t>(hopsize)));
    if (!pv) {
        error = "aubio cannot analyse with bufsize " + std::to_string(bufsize) + ", hopsize " +
                std::to_string(hopsize);
        if (!log.last().empty())
            error += " (aubio: " + log.last() + ")";
        return false;
    }
    std::unique_ptr<aubio_onset_t, OnsetDeleter> onset;
    Fvec onset_out;
    if (onsets) {
        onset.reset(new_aubio_onset(onsets->method.c_str(), onset_bufsize(*onsets, hopsize),
                                    static_cast<uint_t>(hopsize), rate));
        if (!onset) {
            error = "aubio cannot detect onsets with method " + onsets->method;
            if (!log.last().empty())
                error += " (aubio: " + log.last() + ")";
            return false;
        }
        aubio_onset_set_threshold(onset.get(), static_cast<smpl_t>(onsets->threshold));
        aubio_onset_set_minioi_ms(onset.get(), static_cast<smpl_t>(onsets->minioi_ms));
        aubio_onset_set_silence(onset.get(), static_cast<smpl_t>(onsets->silence));
        onset_out.reset(new_fvec(1));
    }
    Fvec hop(new_fvec(static_cast<uint_t>(hopsize)));
    std::unique_ptr<cvec_t, CvecDeleter> grain(new_cvec(static_cast<uint_t>(bufsize)));
    std::vector<float> mags(grain->length);
    // aubio's default window is a Hann window, whose sum is bufsize / 2: a
    // sine of amplitude A peaks at A * bufsize / 4.
    const float scale = 4.0f / static_cast<float>(bufsize);
    double end = 0.0;
    auto frame = [&](fvec_t *in, uint_t, double time) {
        end = time;
        Spectrum s;
        if (onset) {
            aubio_onset_do(onset.get(), in, onset_out.get());
            if (onset_out->data[0] != 0.0f)
                s.onset_ms = static_cast<double>(aubio_onset_get_last(onset.get())) /
                             static_cast<double>(rate) * 1000.0;
        }
        aubio_pvoc_do(pv.get(), in, grain.get());
        for (uint_t k = 0; k < grain->length; ++k)
            mags[k] = grain->norm[k] * scale;
        s.time = time;
        s.samplerate = rate;
        s.bufsize = static_cast<std::size_t>(bufsize);
        s.mags = mags.data();
        s.bins = mags.size();
        return sink(s);
    };
    const bool ok = for_each_hop(src.get(), hop.get(), path, frame, error);
    if (end_ms)
        *end_ms = end;
    return ok;
}

} // namespace qzcli
