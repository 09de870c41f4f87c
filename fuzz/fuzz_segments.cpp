// Fuzzes the segment builder of qz subtone --audio --segments with any
// stream of frames and onsets: peaks of any frequency and level (0,
// negative, infinite, not a number), onsets anywhere and in any order,
// windows and hops from very short to very long. Every segment must come
// after the one before, end no earlier than it starts, hold at most
// kSegmentMaxFrames frames and at most `partials` peaks, each of a finite,
// positive frequency and a finite level, loudest first.
#include "fuzz_host.hpp"
#include "segments.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

using qzfuzz::fail;

// A value of one of five kinds: a finite number from `lo` to `hi` in
// hundredths, zero, not a number, or an infinity of either sign.
double value(FuzzedDataProvider &in, double lo, double hi)
{
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
        return 0.0;
    case 1:
        return std::numeric_limits<double>::quiet_NaN();
    case 2:
        return std::numeric_limits<double>::infinity();
    case 3:
        return -std::numeric_limits<double>::infinity();
    default: {
        const auto span = static_cast<std::uint32_t>((hi - lo) * 100.0);
        return lo + in.ConsumeIntegralInRange<std::uint32_t>(0, span) / 100.0;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    qzcli::SegmentOptions opt;
    opt.partials = in.ConsumeIntegralInRange<std::size_t>(1, 64);
    const double changes[] = {0.0, 0.1, 0.9};
    opt.change = changes[in.ConsumeIntegralInRange<int>(0, 2)];
    const double windows[] = {1.0, 92.9, 2000.0};
    const double hops[] = {0.5, 11.6, 250.0};
    const double lags[] = {0.0, 150.0, 5000.0};
    const double window = windows[in.ConsumeIntegralInRange<int>(0, 2)];
    const double hop = hops[in.ConsumeIntegralInRange<int>(0, 2)];
    const double lag = lags[in.ConsumeIntegralInRange<int>(0, 2)];

    bool first = true;
    double last_end = -std::numeric_limits<double>::infinity();
    auto check = [&](const qzcli::Segment &s) {
        if (!(s.start_ms <= s.end_ms))
            fail("a segment ends before it starts");
        if (!first && s.start_ms < last_end)
            fail("a segment starts before the one before it ends");
        first = false;
        last_end = s.end_ms;
        if (qzfuzz::tracing())
            std::fprintf(stderr, "segment %g - %g ms, %zu frames, %zu peaks\n", s.start_ms,
                         s.end_ms, s.frames, s.chord.size());
        if (s.frames > qzcli::kSegmentMaxFrames)
            fail("a segment holds more frames than kSegmentMaxFrames");
        if (s.chord.size() > opt.partials)
            fail("a chord holds more peaks than --partials");
        for (std::size_t i = 0; i < s.chord.size(); ++i) {
            const qzcli::Peak &p = s.chord[i];
            if (!(p.freq > 0.0) || !std::isfinite(p.freq) || !std::isfinite(p.amp))
                fail("a chord holds a peak of no finite, positive frequency or level");
            if (i > 0 && p.amp > s.chord[i - 1].amp)
                fail("a chord is not loudest first");
        }
    };
    qzcli::SegmentBuilder b(opt, window, hop, lag, check);
    std::vector<qzcli::Peak> peaks;
    double t = 0.0;
    for (int n = 0; n < 20000 && in.remaining_bytes() > 0; ++n) {
        if (in.ConsumeIntegralInRange<int>(0, 3) == 0) {
            b.onset(value(in, -1000.0, 100000.0));
            continue;
        }
        t += hop * in.ConsumeIntegralInRange<int>(1, 3);
        peaks.resize(in.ConsumeIntegralInRange<std::size_t>(0, 80));
        for (qzcli::Peak &p : peaks) {
            p.freq = value(in, -10.0, 30000.0);
            p.amp = value(in, -1.0, 2.0);
        }
        b.frame(t, peaks);
    }
    b.finish(t);
    return 0;
}
