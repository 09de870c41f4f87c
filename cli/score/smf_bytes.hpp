// The bytes of a Standard MIDI File as qz writes them: variable-length
// numbers, big-endian words, and a track of events at absolute ticks.
#ifndef QZ_CLI_SMF_BYTES_HPP
#define QZ_CLI_SMF_BYTES_HPP

#include <cstdint>
#include <initializer_list>
#include <string>

namespace qzcli {

inline constexpr double kBendRange = 2.0; // semitones, set with RPN 0

inline void put_vlq(std::string &t, std::uint64_t v)
{
    char buf[10];
    int n = 0;
    buf[n++] = static_cast<char>(v & 0x7f);
    while ((v >>= 7) != 0 && n < 10)
        buf[n++] = static_cast<char>(0x80 | (v & 0x7f));
    while (n > 0)
        t += buf[--n];
}

inline void put_be(std::string &t, std::uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        t += static_cast<char>((v >> (8 * i)) & 0xff);
}

struct Track {
    std::string data;
    std::int64_t at = 0;
    void event(std::int64_t tick, std::initializer_list<unsigned> bytes)
    {
        // A delta time has at most 28 bits: longer waits go through empty
        // text events.
        auto delta = static_cast<std::uint64_t>(tick - at);
        while (delta > 0x0fffffff) {
            put_vlq(data, 0x0fffffff);
            data += std::string("\xff\x01\x00", 3);
            delta -= 0x0fffffff;
        }
        put_vlq(data, delta);
        at = tick;
        for (unsigned b : bytes)
            data += static_cast<char>(b);
    }
};

// RPN 0 (pitch bend range) on `channel` set to kBendRange semitones and 0
// cents at tick 0, then the null RPN, so that a later data entry changes
// nothing.
inline void put_bend_range(Track &t, unsigned channel)
{
    const unsigned control = 0xb0 | channel;
    t.event(0, {control, 101, 0});
    t.event(0, {control, 100, 0});
    t.event(0, {control, 6, static_cast<unsigned>(kBendRange)});
    t.event(0, {control, 38, 0});
    t.event(0, {control, 101, 127});
    t.event(0, {control, 100, 127});
}

} // namespace qzcli

#endif // QZ_CLI_SMF_BYTES_HPP
