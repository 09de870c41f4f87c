// Host memory: plain malloc, with fault injection for tests.
#include "internal.hpp"

#include <cstdint>
#include <cstdlib>

extern "C" {

t_ptr sysmem_newptr(t_ptr_size size)
{
    // Memory needs no host; fault injection applies when a host is running.
    if (auto *h = qzhost::detail::current())
        if (qzhost::Host::Impl::take_fault(h->fail_newptr_after))
            return nullptr;
    if (size > static_cast<t_ptr_size>(PTRDIFF_MAX))
        return nullptr;
    // Size 0 still gives a unique pointer that sysmem_freeptr accepts.
    return static_cast<t_ptr>(std::malloc(size == 0 ? 1 : static_cast<size_t>(size)));
}

void sysmem_freeptr(void *ptr)
{
    std::free(ptr);
}

} // extern "C"
