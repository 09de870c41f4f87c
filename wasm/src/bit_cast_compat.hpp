// std::bit_cast for C++ libraries that predate it (emscripten 3.1.6 ships
// one): the compiler's builtin, which std::bit_cast wraps where it exists.
// The wasm build includes this header before every source, so the cores
// compile unchanged.
#ifndef QZ_WASM_BIT_CAST_COMPAT_HPP
#define QZ_WASM_BIT_CAST_COMPAT_HPP

#include <bit>

#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From> constexpr To bit_cast(const From &from) noexcept
{
    static_assert(sizeof(To) == sizeof(From), "bit_cast between types of one size");
    return __builtin_bit_cast(To, from);
}
} // namespace std
#endif

#endif // QZ_WASM_BIT_CAST_COMPAT_HPP
