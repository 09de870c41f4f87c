// qz subtone --score in a build without pugixml and libzip: it says so.
#include "subtone_score.hpp"

#include "cli_common.hpp"

#include <iostream>

namespace qzcli {

int subtone_score(qzhost::Host &, const SubtoneOptions &, const SubtoneScore &,
                  const SubtoneAudio &, const std::string &)
{
    std::cerr << "qz subtone: this qz was built without score support (pugixml, libzip)\n";
    return kFailure;
}

} // namespace qzcli
