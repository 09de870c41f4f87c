// What the sound tests share: a scratch folder, sounds made with sox, and
// qz run with its output split into rows of numbers.
#ifndef QZ_TESTS_SOUND_FIXTURE_HPP
#define QZ_TESTS_SOUND_FIXTURE_HPP

#include "qz_run.hpp"

#include <string>
#include <vector>

namespace qztest {

// A folder of its own for this test process.
const std::string &scratch();

// Runs a shell command line; stdout and stderr are captured.
QzRun shell(const std::string &command);

// Runs `qz ARGS` (the built tool, the built plug-ins).
QzRun qz(const std::string &args);

// Makes scratch()/NAME with `sox ARGS` (ARGS name the output as OUT);
// returns its path. A failure of sox fails the test.
std::string sox(const std::string &name, const std::string &args);

// Writes scratch()/NAME with `content`; returns its path.
std::string write_file(const std::string &name, const std::string &content);

// The lines of `text` as rows of numbers (a line that is no row of numbers
// gives an empty row).
std::vector<std::vector<double>> rows(const std::string &text);

// MIDI pitch of a frequency and back (69 is 440 Hz).
double midi(double hz);
double hz(double midi_pitch);

} // namespace qztest

#endif // QZ_TESTS_SOUND_FIXTURE_HPP
