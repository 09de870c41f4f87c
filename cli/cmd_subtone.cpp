#include "cli_common.hpp"

#include <iostream>

int cmd_subtone(const qzcli::Context & /*ctx*/, const std::vector<std::string> & /*args*/)
{
    std::cerr << "qz subtone: not built yet\n";
    return qzcli::kFailure;
}
