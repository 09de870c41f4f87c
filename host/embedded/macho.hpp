// Loading the macOS plug-ins (NAME.mxo bundles) into this process. A bundle's
// binary is a Mach-O MH_BUNDLE, often a universal file with one slice per
// architecture. The loader takes the slice of this process's architecture,
// maps its segments, applies its rebases and binds (the lazy ones at once),
// and resolves every imported name against the host's C API or the few C
// library functions that plug-ins may call (macho_symbols.cpp). The x86_64
// slice passes arguments as this process does on x86-64 Linux, so its
// routines and ours call each other directly.
#ifndef QZ_HOST_EMBEDDED_MACHO_HPP
#define QZ_HOST_EMBEDDED_MACHO_HPP

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qzhost::macho {

// A mapped slice. `entry` is its ext_main; null after a failed load.
struct Image {
    void *base = nullptr; // start of the mapping
    size_t size = 0;      // bytes mapped
    void (*entry)(void *) = nullptr;
};

// The binary inside a bundle folder: NAME.mxo/Contents/MacOS/NAME.
std::string bundle_binary(const std::string &bundle_dir);

// Maps the slice of this process's architecture out of the file's bytes.
// false with the reason in `err` (a missing slice, a malformed command, an
// imported name that is neither the host's nor the C library's, ...); the
// image is then empty.
bool load(const unsigned char *data, size_t size, Image &image, std::string &err);

// Unmaps an image that load() filled.
void unload(Image &image);

// What an imported name (without Mach-O's leading underscore) resolves to:
// a routine of the host's C API or of the C library, or null for a name a
// plug-in may not import.
void *resolve(std::string_view name);

// On arm64, the shim through which an arm64 macOS slice calls the variadic
// routine `name` (macho_variadic.cpp); null for a name without one.
void *variadic_shim(std::string_view name);

// The Mach-O CPU type of this process's architecture; 0 where no slice can
// run.
uint32_t process_cpu_type();

} // namespace qzhost::macho

#endif // QZ_HOST_EMBEDDED_MACHO_HPP
