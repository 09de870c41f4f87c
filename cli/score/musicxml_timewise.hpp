// Timewise MusicXML (<score-timewise>: measures that hold the parts) seen
// as partwise (<score-partwise>: parts that hold the measures), the layout
// the reader and the writer work on.
#ifndef QZ_CLI_MUSICXML_TIMEWISE_HPP
#define QZ_CLI_MUSICXML_TIMEWISE_HPP

#include <pugixml.hpp>

#include <string>
#include <vector>

namespace qzcli {

// The part ids of a timewise score in the order its parts are read: as the
// measures first name them (a partwise score's parts are read in the order
// of its <part> elements, whatever its part-list says).
std::vector<std::string> timewise_part_ids(const pugi::xml_node &timewise);

// `partwise` becomes the same score partwise: the elements before the
// first measure as they are, then one <part> per id, whose measure i has
// the attributes of the timewise measure i and the children of its <part>
// (no children where the measure lacks the part), so that measure i is the
// same in every part.
void partwise_from_timewise(const pugi::xml_node &timewise, pugi::xml_document &partwise);

} // namespace qzcli

#endif // QZ_CLI_MUSICXML_TIMEWISE_HPP
