#include "plot.hpp"

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
    if (wanted())
        reports_.push_back({time, pitch, avgamp, proba});
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
