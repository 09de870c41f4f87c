// Reference pages (NAME.maxref.xml) made from what a class registers, with
// prose from a small documentation file per object.
//
// The documentation file is JSON:
//   { "name": "qz.subtone", "digest": "...", "description": "...",
//     "tags": ["..."], "seealso": ["..."],
//     "argument": { "name": "...", "type": "float", "optional": true,
//                   "example": "1", "digest": "...", "description": "..." },
//     "inlets":  [ { "description": "..." }, ... ],   one per inlet
//     "outlets": [ { "description": "..." }, ... ],   one per outlet
//     "methods":    { "list": { "digest": "...", "description": "..." }, ... },
//     "attributes": { "mode": { "digest": "...", "description": "...",
//                               "enum": { "Freq": "...", "MIDI": "..." } }, ... } }
// Everything else comes from the class as its `main` registered it: method
// argument types, attribute types and attributes-of-attributes, clip ranges,
// and the inlets' and outlets' assistance texts, asked of a box as the host
// asks. Prose missing for something registered, or prose for something not
// registered, is an error: the page is not written.
#ifndef QZ_CLI_REFPAGE_HPP
#define QZ_CLI_REFPAGE_HPP

#include "qzhost.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace qzcli {

// Makes the page for the class the documentation file names. false with the
// problems (one line each) when docs and class disagree or the file is bad.
bool make_refpage(qzhost::Host &host, std::string_view doc_text, const std::string &doc_source,
                  std::string &xml, std::vector<std::string> &problems);

} // namespace qzcli

#endif // QZ_CLI_REFPAGE_HPP
