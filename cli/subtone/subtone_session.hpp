// One qz.subtone box in the embedded host, fed chord by chord, with the
// results printed as qz subtone prints them (and traced with --explain).
#ifndef QZ_CLI_SUBTONE_SESSION_HPP
#define QZ_CLI_SUBTONE_SESSION_HPP

#include "chords.hpp"
#include "notes.hpp"
#include "qzhost.hpp"
#include "subtone_alternatives.h"

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace qzcli {

struct SubtoneOptions {
    PitchUnits units;      // --mode, --a4
    bool explain = false;  // --explain
    bool stats = false;    // --stats
    bool echo = false;     // --echo
    bool names = false;    // --names
    int digits = -1;       // --digits; -1: shortest exact text
    bool midpoint = false; // trace every chord to keep its interval's midpoint
    bool have_approx = false;
    t_atom approx{};                   // --approx, the box's creation argument
    long alternatives = -1;            // --alternatives N; -1: not listed
    double floor_hz = kSubtoneFloorHz; // --floor
};

class SubtoneSession {
  public:
    // Makes the box "qz.subtone [A] @mode 0|1" in `host` (whose plug-in is
    // loaded already); ok() tells whether that worked.
    SubtoneSession(qzhost::Host &host, const SubtoneOptions &opt, std::ostream &out,
                   std::ostream &err);
    bool ok() const { return box_ >= 0; }
    // The box, and what it has sent since the last chord (for front ends
    // that feed it themselves, such as --audio).
    qzhost::BoxId box() const { return box_; }
    std::vector<double> &sent() { return sent_; }

    // Sends one chord and prints its result. false when the box sent no
    // result or the trace failed.
    bool chord(const Chord &c);

    // Reads chords from `in`, one a line, `where` naming it in errors
    // ("FILE:LINE:COLUMN: ..."). A line that is no chord stops the reading.
    // Returns 0, or 1 after an input error or a chord without result.
    int read(std::istream &in, const std::string &where);
    // Whether a read stopped at a line that is no chord.
    bool input_error() const { return input_error_; }
    // With `midpoint`: the midpoint in Hz of the last interval of the last
    // chord's search, the box's result before its rounding (NaN: none).
    double midpoint_hz() const { return midpoint_hz_; }

  private:
    std::string value_text(double v) const;
    std::string result_text(double v) const;
    bool trace(const Chord &c, const double *sent);
    void print_path(const Chord &c, const std::vector<float> &p, std::int64_t mode,
                    const subtone_explanation &e);

    qzhost::Host &host_;
    const SubtoneOptions &opt_;
    std::ostream &out_;
    std::ostream &err_;
    qzhost::BoxId box_ = -1;
    std::vector<double> sent_;
    bool input_error_ = false;
    Spelling spelling_ = Spelling::sharps; // of the chord being sent
    double midpoint_hz_ = 0.0;
};

} // namespace qzcli

#endif // QZ_CLI_SUBTONE_SESSION_HPP
