// Compressed MusicXML (.mxl): a zip archive, read with libzip, whose
// META-INF/container.xml names the score's root file.
#include "score.hpp"

#include <pugixml.hpp>
#include <zip.h>

#include <memory>
#include <string>

namespace qzcli {

namespace {

struct ArchiveCloser {
    void operator()(zip_t *z) const { zip_discard(z); }
};
struct FileCloser {
    void operator()(zip_file_t *f) const { zip_fclose(f); }
};

bool read_entry(zip_t *z, const std::string &name, std::string &out, std::string &error)
{
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(z, name.c_str(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
        error = name + ": not in the archive";
        return false;
    }
    if (st.size > kScoreMaxBytes) {
        error = name + ": larger than " + std::to_string(kScoreMaxBytes) + " bytes";
        return false;
    }
    std::unique_ptr<zip_file_t, FileCloser> f(zip_fopen(z, name.c_str(), 0));
    if (!f) {
        error = name + ": cannot be read: " + zip_strerror(z);
        return false;
    }
    out.assign(static_cast<std::size_t>(st.size), '\0');
    std::size_t got = 0;
    while (got < out.size()) {
        const zip_int64_t n = zip_fread(f.get(), out.data() + got, out.size() - got);
        if (n <= 0) {
            error = name + ": truncated or damaged entry";
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool read_mxl(std::string_view bytes, std::string &xml, std::string &error)
{
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t *src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &ze);
    if (!src) {
        error = std::string("archive: ") + zip_error_strerror(&ze);
        zip_error_fini(&ze);
        return false;
    }
    std::unique_ptr<zip_t, ArchiveCloser> z(zip_open_from_source(src, ZIP_RDONLY, &ze));
    if (!z) {
        zip_source_free(src);
        error = std::string("archive: not a readable zip archive: ") + zip_error_strerror(&ze);
        zip_error_fini(&ze);
        return false;
    }
    zip_error_fini(&ze);
    std::string container;
    if (!read_entry(z.get(), "META-INF/container.xml", container, error))
        return false;
    pugi::xml_document doc;
    const pugi::xml_parse_result r = doc.load_buffer(container.data(), container.size());
    if (!r) {
        error = "META-INF/container.xml: byte " + std::to_string(r.offset) +
                ": malformed XML: " + r.description();
        return false;
    }
    const std::string root =
        doc.select_node("/container/rootfiles/rootfile").node().attribute("full-path").value();
    if (root.empty()) {
        error = "META-INF/container.xml: no <rootfile full-path=...>";
        return false;
    }
    return read_entry(z.get(), root, xml, error);
}

bool read_score(std::string_view bytes, Score &score, std::string &error)
{
    if (bytes.size() > kScoreMaxBytes) {
        error = "byte 0: larger than " + std::to_string(kScoreMaxBytes) + " bytes";
        return false;
    }
    if (bytes.substr(0, 4) == "MThd")
        return read_midi(bytes, score, error);
    if (bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4)) {
        std::string xml;
        if (!read_mxl(bytes, xml, error))
            return false;
        return read_musicxml(xml, score, error);
    }
    return read_musicxml(bytes, score, error);
}

} // namespace qzcli
