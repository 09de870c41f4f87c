#include "plot.hpp"

#include <algorithm>
#include <iostream>

namespace qzcli {

void TallyPicture::event(double time, double pitch, bool has_amp, double amp)
{
    if (!wanted())
        return;
    if (has_amp)
        amp_ = amp;
    stream_.push_back({time, pitch, amp_});
}

void TallyPicture::report(double time, double pitch, double avgamp, double proba)
{
    if (!wanted())
        return;
    // The events of the window that ends now, the agent's own first.
    const double start = time - window_;
    const auto first = std::lower_bound(stream_.begin(), stream_.end(), start,
                                        [](const StreamPoint &e, double t) { return e.time < t; });
    const auto last = std::lower_bound(first, stream_.end(), time,
                                       [](const StreamPoint &e, double t) { return e.time < t; });
    reports_.push_back({time, pitch, avgamp, proba, last - first <= 1});
}

bool TallyPicture::write(const std::string &title, const std::string &y_label, PitchAxis unit) const
{
    if (!wanted())
        return true;
    std::string error;
    if (!plot_pitchtally(path_, title, y_label, unit, stream_, reports_, error)) {
        std::cerr << "qz pitchtally: " << error << '\n';
        return false;
    }
    return true;
}

} // namespace qzcli
