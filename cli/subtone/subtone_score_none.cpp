// qz subtone --score and the scores -o writes, in a build without pugixml
// and libzip: they say so.
#include "subtone_score.hpp"

#include "cli_common.hpp"
#include "timed_score.hpp"

#include <iostream>

namespace qzcli {

int subtone_score(qzhost::Host &, const SubtoneOptions &, const SubtoneScore &,
                  const SubtoneAudio &, const std::string &)
{
    std::cerr << "qz subtone: this qz was built without score support (pugixml, libzip)\n";
    return kFailure;
}

bool write_timed_score(const std::string &, const std::vector<TimedChord> &, int,
                       const std::string &, std::string &error)
{
    error = "this qz was built without score support (pugixml, libzip)";
    return false;
}

} // namespace qzcli
