// Named boxes over an embedded host, and the lines printed for their
// traffic: what `qz run` (script) and `qz patch` (patcher files) share.
#ifndef QZ_CLI_BOXES_HPP
#define QZ_CLI_BOXES_HPP

#include "qzhost.hpp"

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace qzcli {

class BoxNames {
  public:
    explicit BoxNames(const qzhost::Host &host) : host_(host) {}

    // Gives a host box a name. A box keeps its name after `forget`, so that
    // what its destructor posts still carries it.
    void bind(const std::string &name, qzhost::BoxId box);
    // The live box of that name, or -1.
    qzhost::BoxId find(const std::string &name) const;
    void forget(const std::string &name);
    // The box's name, "#N" for an unnamed box, "-" for none (-1).
    std::string name_of(qzhost::BoxId box) const;

    // "TIME NAME OUTLET VALUE": a value left an outlet.
    void write_outlet(std::ostream &out, const qzhost::OutletEvent &e) const;
    // "TIME NAME post|error [CLASS: ]TEXT": a console line.
    void write_console(std::ostream &out, const qzhost::ConsoleLine &line) const;

  private:
    const qzhost::Host &host_;
    std::map<std::string, qzhost::BoxId> boxes_;
    std::map<qzhost::BoxId, std::string> names_;
};

} // namespace qzcli

#endif // QZ_CLI_BOXES_HPP
