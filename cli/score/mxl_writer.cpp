// Compressed MusicXML (.mxl) written with libzip: a "mimetype" entry first
// and stored (as the format asks), META-INF/container.xml naming the root
// file, and the score itself, deflated.
#include "score_writers.hpp"

#include <zip.h>

#include <string>

namespace qzcli {

namespace {

bool add(zip_t *z, const char *name, const std::string &data, bool store, std::string &error)
{
    zip_source_t *src = zip_source_buffer(z, data.data(), data.size(), 0);
    if (!src) {
        error = std::string(name) + ": " + zip_strerror(z);
        return false;
    }
    const zip_int64_t i = zip_file_add(z, name, src, ZIP_FL_ENC_UTF_8);
    if (i < 0) {
        zip_source_free(src);
        error = std::string(name) + ": " + zip_strerror(z);
        return false;
    }
    if (store && zip_set_file_compression(z, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0) != 0) {
        error = std::string(name) + ": " + zip_strerror(z);
        return false;
    }
    return true;
}

} // namespace

bool write_mxl_file(const std::string &path, const std::string &xml, std::string &error)
{
    int code = 0;
    zip_t *z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!z) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, code);
        error = std::string("cannot write: ") + zip_error_strerror(&ze);
        zip_error_fini(&ze);
        return false;
    }
    static const std::string kMimetype = "application/vnd.recordare.musicxml";
    static const std::string kContainer =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<container><rootfiles><rootfile full-path=\"score.musicxml\" "
        "media-type=\"application/vnd.recordare.musicxml+xml\"/></rootfiles></container>\n";
    // The sources read the strings when the archive is closed.
    if (!add(z, "mimetype", kMimetype, true, error) ||
        !add(z, "META-INF/container.xml", kContainer, false, error) ||
        !add(z, "score.musicxml", xml, false, error)) {
        zip_discard(z);
        return false;
    }
    if (zip_close(z) != 0) {
        error = std::string("cannot write: ") + zip_strerror(z);
        zip_discard(z);
        return false;
    }
    return true;
}

} // namespace qzcli
