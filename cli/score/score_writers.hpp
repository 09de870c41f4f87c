// Writing a score back with its virtual fundamentals added: a MusicXML
// part or a MIDI track, one note per chord.
#ifndef QZ_CLI_SCORE_WRITERS_HPP
#define QZ_CLI_SCORE_WRITERS_HPP

#include "score_chords.hpp"
#include "score_options.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace qzcli {

// The name of the added part or track: "Virtual fundamental", with
// " (+1 octave)", " (-2 octaves)" when --octave shifts it.
std::string fundamental_part_name(int octave);

// `xml`: the input MusicXML; the output is the same document with one part
// added to its part-list and after its last part.
bool write_score_musicxml(std::string_view xml, const Score &score,
                          const std::vector<ScoreChord> &chords, const SubtoneScore &opt,
                          std::string &out, std::string &error);

// A MusicXML score as a MIDI file (format 1): its tempo map, time and key
// signatures, one track per part at concert pitch, and the fundamentals'
// track.
bool write_musicxml_midi(const Score &score, const std::vector<ScoreChord> &chords,
                         const SubtoneScore &opt, std::string &out, std::string &error);

// `bytes` written to the file at `path`; false with `error` when it cannot.
bool write_bytes(const std::string &path, const std::string &bytes, std::string &error);

// Compressed MusicXML: a zip archive of META-INF/container.xml and `xml`
// (the written score), at `path`.
bool write_mxl_file(const std::string &path, const std::string &xml, std::string &error);

// `midi`: the input file; the output has one track more (format 1).
bool write_score_midi(std::string_view midi, const Score &score,
                      const std::vector<ScoreChord> &chords, const SubtoneScore &opt,
                      std::string &out, std::string &error);

} // namespace qzcli

#endif // QZ_CLI_SCORE_WRITERS_HPP
