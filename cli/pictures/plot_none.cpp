// The pictures in a build without cairo: every use says so.
#include "plot.hpp"

namespace qzcli {

namespace {
const char *const kNoPlot = "this qz was built without pictures (cairo)";
}

bool plot_track(const std::string &, const std::string &, const std::string &, PitchAxis,
                const std::vector<StreamPoint> &, std::string &error)
{
    error = kNoPlot;
    return false;
}

bool plot_pitchtally(const std::string &, const std::string &, const std::string &, PitchAxis,
                     const std::vector<StreamPoint> &, const std::vector<TallyReport> &,
                     std::string &error)
{
    error = kNoPlot;
    return false;
}

bool plot_subtone(const std::string &, const std::string &, const std::vector<SubtoneFrame> &,
                  std::string &error)
{
    error = kNoPlot;
    return false;
}

bool plot_segments(const std::string &, const std::string &, const std::vector<SubtoneFrame> &,
                   const std::vector<PlotSegment> &, std::string &error)
{
    error = kNoPlot;
    return false;
}

bool plot_score(const std::string &, const std::string &, const std::string &,
                const std::vector<RollChord> &, std::string &error)
{
    error = kNoPlot;
    return false;
}

} // namespace qzcli
