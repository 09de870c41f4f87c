// Console: posts and errors, recorded with the logical time and the posting box.
#include "internal.hpp"

#include <cstdarg>
#include <cstdio>

namespace qzhost {

namespace {

// Formats into a bounded buffer; longer texts are cut.
std::string vformat(const char *fmt, va_list ap)
{
    if (!fmt)
        return {};
    char buf[detail::kConsoleTextMax + 1];
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    if (n < 0)
        return {};
    return std::string(buf, std::min(static_cast<size_t>(n), detail::kConsoleTextMax));
}

} // namespace

void Host::Impl::post_box(BoxId box, const std::string &cls, bool error, const std::string &text)
{
    ConsoleLine line{now, box, cls, error, text.substr(0, detail::kConsoleTextMax)};
    if (recording)
        console_log.push_back(line);
    // By index: an observer may add observers (a deque keeps references valid).
    for (size_t i = 0; i < console_observers.size(); ++i)
        console_observers[i](line);
}

void Host::Impl::post(t_object *x, bool error, const char *text)
{
    BoxId box = -1;
    std::string cls;
    if (x) {
        if (auto *r = detail::inst_of(x)) {
            box = r->box;
            cls = r->cls->name;
        }
    }
    post_box(box, cls, error, text ? text : "");
}

void Host::Impl::postf(t_object *x, bool error, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string text = vformat(fmt, ap);
    va_end(ap);
    post(x, error, text.c_str());
}

} // namespace qzhost

namespace {

void vpost(const char *op, t_object *x, bool error, const char *fmt, va_list ap)
{
    std::string text = qzhost::vformat(fmt, ap);
    auto *h = qzhost::detail::current();
    if (!h) {
        std::fprintf(stderr, "qzhost: %s without a running host: %s\n", op, text.c_str());
        return;
    }
    h->post(x, error, text.c_str());
}

} // namespace

extern "C" {

void object_post(t_object *x, const char *s, ...)
{
    va_list ap;
    va_start(ap, s);
    vpost("object_post", x, false, s, ap);
    va_end(ap);
}

void object_error(t_object *x, const char *s, ...)
{
    va_list ap;
    va_start(ap, s);
    vpost("object_error", x, true, s, ap);
    va_end(ap);
}

} // extern "C"
