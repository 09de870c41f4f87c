/*
 * Base-2 exponential and logarithm, and rounding to the nearest integer, in
 * double precision, computed with IEEE additions, multiplications and
 * divisions only. The results do not depend on the C runtime: every build of
 * the objects (64-bit or 32-bit, Linux or Windows) gets the same bits.
 *
 * exp2 and log2 evaluate in double-double arithmetic with a relative error
 * below 2^-98 before the one final rounding, so each result is the correctly
 * rounded one unless the exact value lies that close to a midpoint between
 * two doubles. Exact cases (integer powers of two) are exact.
 *
 * The arithmetic relies on no contraction of a*b+c into a fused
 * multiply-add (the build passes -ffp-contract=off) and, on 32-bit x86, on
 * SSE2 arithmetic instead of the x87 unit.
 */
#ifndef QZ_HOST_CRMATH_H
#define QZ_HOST_CRMATH_H

#include <stdint.h>

#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#endif

namespace crmath {

namespace detail {

// An unevaluated sum hi + lo with |lo| <= ulp(hi) / 2.
struct dd {
    double hi, lo;
};

// Constants: scripts/gen-crmath-tables.py.
// clang-format off
// ln 2 and 1/ln 2
inline constexpr dd kLn2 = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};
inline constexpr dd kInvLn2 = {0x1.71547652b82fep+0, 0x1.777d0ffda0d24p-56};
// 2^(j/128), j = 0..127
inline constexpr dd kExp2Table[128] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.0163da9fb3335p+0, 0x1.b61299ab8cdb7p-54},
    {0x1.02c9a3e778061p+0, -0x1.19083535b085dp-56},
    {0x1.04315e86e7f85p+0, -0x1.0a31c1977c96ep-54},
    {0x1.059b0d3158574p+0, 0x1.d73e2a475b465p-55},
    {0x1.0706b29ddf6dep+0, -0x1.c91dfe2b13c27p-55},
    {0x1.0874518759bc8p+0, 0x1.186be4bb284ffp-57},
    {0x1.09e3ecac6f383p+0, 0x1.1487818316136p-54},
    {0x1.0b5586cf9890fp+0, 0x1.8a62e4adc610bp-54},
    {0x1.0cc922b7247f7p+0, 0x1.01edc16e24f71p-54},
    {0x1.0e3ec32d3d1a2p+0, 0x1.03a1727c57b53p-59},
    {0x1.0fb66affed31bp+0, -0x1.b9bedc44ebd7bp-57},
    {0x1.11301d0125b51p+0, -0x1.6c51039449b3ap-54},
    {0x1.12abdc06c31ccp+0, -0x1.1b514b36ca5c7p-58},
    {0x1.1429aaea92de0p+0, -0x1.32fbf9af1369ep-54},
    {0x1.15a98c8a58e51p+0, 0x1.2406ab9eeab0ap-55},
    {0x1.172b83c7d517bp+0, -0x1.19041b9d78a76p-55},
    {0x1.18af9388c8deap+0, -0x1.11023d1970f6cp-54},
    {0x1.1a35beb6fcb75p+0, 0x1.e5b4c7b4968e4p-55},
    {0x1.1bbe084045cd4p+0, -0x1.95386352ef607p-54},
    {0x1.1d4873168b9aap+0, 0x1.e016e00a2643cp-54},
    {0x1.1ed5022fcd91dp+0, -0x1.1df98027bb78cp-54},
    {0x1.2063b88628cd6p+0, 0x1.dc775814a8495p-55},
    {0x1.21f49917ddc96p+0, 0x1.2a97e9494a5eep-55},
    {0x1.2387a6e756238p+0, 0x1.9b07eb6c70573p-54},
    {0x1.251ce4fb2a63fp+0, 0x1.ac155bef4f4a4p-55},
    {0x1.26b4565e27cddp+0, 0x1.2bd339940e9d9p-55},
    {0x1.284dfe1f56381p+0, -0x1.a4c3a8c3f0d7ep-54},
    {0x1.29e9df51fdee1p+0, 0x1.612e8afad1255p-55},
    {0x1.2b87fd0dad990p+0, -0x1.10adcd6381aa4p-59},
    {0x1.2d285a6e4030bp+0, 0x1.0024754db41d5p-54},
    {0x1.2ecafa93e2f56p+0, 0x1.1ca0f45d52383p-56},
    {0x1.306fe0a31b715p+0, 0x1.6f46ad23182e4p-55},
    {0x1.32170fc4cd831p+0, 0x1.a9ce78e18047cp-55},
    {0x1.33c08b26416ffp+0, 0x1.32721843659a6p-54},
    {0x1.356c55f929ff1p+0, -0x1.b5cee5c4e4628p-55},
    {0x1.371a7373aa9cbp+0, -0x1.63aeabf42eae2p-54},
    {0x1.38cae6d05d866p+0, -0x1.e958d3c9904bdp-54},
    {0x1.3a7db34e59ff7p+0, -0x1.5e436d661f5e3p-56},
    {0x1.3c32dc313a8e5p+0, -0x1.efff8375d29c3p-54},
    {0x1.3dea64c123422p+0, 0x1.ada0911f09ebcp-55},
    {0x1.3fa4504ac801cp+0, -0x1.7d023f956f9f3p-54},
    {0x1.4160a21f72e2ap+0, -0x1.ef3691c309278p-58},
    {0x1.431f5d950a897p+0, -0x1.1c7dde35f7999p-55},
    {0x1.44e086061892dp+0, 0x1.89b7a04ef80d0p-59},
    {0x1.46a41ed1d0057p+0, 0x1.c944bd1648a76p-54},
    {0x1.486a2b5c13cd0p+0, 0x1.3c1a3b69062f0p-56},
    {0x1.4a32af0d7d3dep+0, 0x1.9cb62f3d1be56p-54},
    {0x1.4bfdad5362a27p+0, 0x1.d4397afec42e2p-56},
    {0x1.4dcb299fddd0dp+0, 0x1.8ecdbbc6a7833p-54},
    {0x1.4f9b2769d2ca7p+0, -0x1.4b309d25957e3p-54},
    {0x1.516daa2cf6642p+0, -0x1.f768569bd93efp-55},
    {0x1.5342b569d4f82p+0, -0x1.07abe1db13cadp-55},
    {0x1.551a4ca5d920fp+0, -0x1.d689cefede59bp-55},
    {0x1.56f4736b527dap+0, 0x1.9bb2c011d93adp-54},
    {0x1.58d12d497c7fdp+0, 0x1.295e15b9a1de8p-55},
    {0x1.5ab07dd485429p+0, 0x1.6324c054647adp-54},
    {0x1.5c9268a5946b7p+0, 0x1.c4b1b816986a2p-60},
    {0x1.5e76f15ad2148p+0, 0x1.ba6f93080e65ep-54},
    {0x1.605e1b976dc09p+0, -0x1.3e2429b56de47p-54},
    {0x1.6247eb03a5585p+0, -0x1.383c17e40b497p-54},
    {0x1.6434634ccc320p+0, -0x1.c483c759d8933p-55},
    {0x1.6623882552225p+0, -0x1.bb60987591c34p-54},
    {0x1.68155d44ca973p+0, 0x1.038ae44f73e65p-57},
    {0x1.6a09e667f3bcdp+0, -0x1.bdd3413b26456p-54},
    {0x1.6c012750bdabfp+0, -0x1.2895667ff0b0dp-56},
    {0x1.6dfb23c651a2fp+0, -0x1.bbe3a683c88abp-57},
    {0x1.6ff7df9519484p+0, -0x1.83c0f25860ef6p-55},
    {0x1.71f75e8ec5f74p+0, -0x1.16e4786887a99p-55},
    {0x1.73f9a48a58174p+0, -0x1.0a8d96c65d53cp-54},
    {0x1.75feb564267c9p+0, -0x1.0245957316dd3p-54},
    {0x1.780694fde5d3fp+0, 0x1.866b80a02162dp-54},
    {0x1.7a11473eb0187p+0, -0x1.41577ee04992fp-55},
    {0x1.7c1ed0130c132p+0, 0x1.f124cd1164dd6p-54},
    {0x1.7e2f336cf4e62p+0, 0x1.05d02ba15797ep-56},
    {0x1.80427543e1a12p+0, -0x1.27c86626d972bp-54},
    {0x1.82589994cce13p+0, -0x1.d4c1dd41532d8p-54},
    {0x1.8471a4623c7adp+0, -0x1.8d684a341cdfbp-55},
    {0x1.868d99b4492edp+0, -0x1.fc6f89bd4f6bap-54},
    {0x1.88ac7d98a6699p+0, 0x1.994c2f37cb53ap-54},
    {0x1.8ace5422aa0dbp+0, 0x1.6e9f156864b27p-54},
    {0x1.8cf3216b5448cp+0, -0x1.0d55e32e9e3aap-56},
    {0x1.8f1ae99157736p+0, 0x1.5cc13a2e3976cp-55},
    {0x1.9145b0b91ffc6p+0, -0x1.dd6792e582524p-54},
    {0x1.93737b0cdc5e5p+0, -0x1.75fc781b57ebcp-57},
    {0x1.95a44cbc8520fp+0, -0x1.64b7c96a5f039p-56},
    {0x1.97d829fde4e50p+0, -0x1.d185b7c1b85d1p-54},
    {0x1.9a0f170ca07bap+0, -0x1.173bd91cee632p-54},
    {0x1.9c49182a3f090p+0, 0x1.c7c46b071f2bep-56},
    {0x1.9e86319e32323p+0, 0x1.824ca78e64c6ep-56},
    {0x1.a0c667b5de565p+0, -0x1.359495d1cd533p-54},
    {0x1.a309bec4a2d33p+0, 0x1.6305c7ddc36abp-54},
    {0x1.a5503b23e255dp+0, -0x1.d2f6edb8d41e1p-54},
    {0x1.a799e1330b358p+0, 0x1.bcb7ecac563c7p-54},
    {0x1.a9e6b5579fdbfp+0, 0x1.0fac90ef7fd31p-54},
    {0x1.ac36bbfd3f37ap+0, -0x1.f9234cae76cd0p-55},
    {0x1.ae89f995ad3adp+0, 0x1.7a1cd345dcc81p-54},
    {0x1.b0e07298db666p+0, -0x1.bdef54c80e425p-54},
    {0x1.b33a2b84f15fbp+0, -0x1.2805e3084d708p-57},
    {0x1.b59728de5593ap+0, -0x1.c71dfbbba6de3p-54},
    {0x1.b7f76f2fb5e47p+0, -0x1.5584f7e54ac3bp-56},
    {0x1.ba5b030a1064ap+0, -0x1.efcd30e54292ep-54},
    {0x1.bcc1e904bc1d2p+0, 0x1.23dd07a2d9e84p-55},
    {0x1.bf2c25bd71e09p+0, -0x1.efdca3f6b9c73p-54},
    {0x1.c199bdd85529cp+0, 0x1.11065895048ddp-55},
    {0x1.c40ab5fffd07ap+0, 0x1.b4537e083c60ap-54},
    {0x1.c67f12e57d14bp+0, 0x1.2884dff483cadp-54},
    {0x1.c8f6d9406e7b5p+0, 0x1.1acbc48805c44p-56},
    {0x1.cb720dcef9069p+0, 0x1.503cbd1e949dbp-56},
    {0x1.cdf0b555dc3fap+0, -0x1.dd83b53829d72p-55},
    {0x1.d072d4a07897cp+0, -0x1.cbc3743797a9cp-54},
    {0x1.d2f87080d89f2p+0, -0x1.d487b719d8578p-54},
    {0x1.d5818dcfba487p+0, 0x1.2ed02d75b3707p-55},
    {0x1.d80e316c98398p+0, -0x1.11ec18beddfe8p-54},
    {0x1.da9e603db3285p+0, 0x1.c2300696db532p-54},
    {0x1.dd321f301b460p+0, 0x1.2da5778f018c3p-54},
    {0x1.dfc97337b9b5fp+0, -0x1.1a5cd4f184b5cp-54},
    {0x1.e264614f5a129p+0, -0x1.7b627817a1496p-54},
    {0x1.e502ee78b3ff6p+0, 0x1.39e8980a9cc8fp-55},
    {0x1.e7a51fbc74c83p+0, 0x1.2d522ca0c8de2p-54},
    {0x1.ea4afa2a490dap+0, -0x1.e9c23179c2893p-54},
    {0x1.ecf482d8e67f1p+0, -0x1.c93f3b411ad8cp-54},
    {0x1.efa1bee615a27p+0, 0x1.dc7f486a4b6b0p-54},
    {0x1.f252b376bba97p+0, 0x1.3a1a5bf0d8e43p-54},
    {0x1.f50765b6e4540p+0, 0x1.9d3e12dd8a18bp-54},
    {0x1.f7bfdad9cbe14p+0, -0x1.dbb12d006350ap-54},
    {0x1.fa7c1819e90d8p+0, 0x1.74853f3a5931ep-55},
    {0x1.fd3c22b8f71f1p+0, 0x1.2eb74966579e7p-57},
};
// 1/k!, k = 0..10
inline constexpr dd kInvFactorial[11] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.0000000000000p-1, 0x0.0p+0},
    {0x1.5555555555555p-3, 0x1.5555555555555p-57},
    {0x1.5555555555555p-5, 0x1.5555555555555p-59},
    {0x1.1111111111111p-7, 0x1.1111111111111p-63},
    {0x1.6c16c16c16c17p-10, -0x1.f49f49f49f49fp-65},
    {0x1.a01a01a01a01ap-13, 0x1.a01a01a01a01ap-73},
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76},
    {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73},
    {0x1.27e4fb7789f5cp-22, 0x1.cbbc05b4fa99ap-76},
};
// 1/(2k+1), k = 0..21
inline constexpr dd kInvOdd[22] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.5555555555555p-2, 0x1.5555555555555p-56},
    {0x1.999999999999ap-3, -0x1.999999999999ap-57},
    {0x1.2492492492492p-3, 0x1.2492492492492p-57},
    {0x1.c71c71c71c71cp-4, 0x1.c71c71c71c71cp-58},
    {0x1.745d1745d1746p-4, -0x1.745d1745d1746p-59},
    {0x1.3b13b13b13b14p-4, -0x1.3b13b13b13b14p-58},
    {0x1.1111111111111p-4, 0x1.1111111111111p-60},
    {0x1.e1e1e1e1e1e1ep-5, 0x1.e1e1e1e1e1e1ep-61},
    {0x1.af286bca1af28p-5, 0x1.af286bca1af28p-59},
    {0x1.8618618618618p-5, 0x1.8618618618618p-59},
    {0x1.642c8590b2164p-5, 0x1.642c8590b2164p-60},
    {0x1.47ae147ae147bp-5, -0x1.eb851eb851eb8p-61},
    {0x1.2f684bda12f68p-5, 0x1.2f684bda12f68p-59},
    {0x1.1a7b9611a7b96p-5, 0x1.1a7b9611a7b96p-61},
    {0x1.0842108421084p-5, 0x1.0842108421084p-60},
    {0x1.f07c1f07c1f08p-6, -0x1.f07c1f07c1f08p-61},
    {0x1.d41d41d41d41dp-6, 0x1.0750750750750p-60},
    {0x1.bacf914c1bad0p-6, -0x1.bacf914c1bad0p-60},
    {0x1.a41a41a41a41ap-6, 0x1.0690690690690p-60},
    {0x1.8f9c18f9c18fap-6, -0x1.f3831f3831f38p-61},
    {0x1.7d05f417d05f4p-6, 0x1.7d05f417d05f4p-62},
};
// clang-format on

inline dd two_sum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// Requires |a| >= |b| (or a == 0).
inline dd fast_two_sum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

// Dekker's product: a * b exactly as hi + lo.
inline dd two_prod(double a, double b)
{
    constexpr double kSplit = 134217729.0; // 2^27 + 1
    const double p = a * b;
    const double ca = kSplit * a, cb = kSplit * b;
    const double ah = ca - (ca - a), al = a - ah;
    const double bh = cb - (cb - b), bl = b - bh;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

inline dd add(dd a, dd b)
{
    dd s = two_sum(a.hi, b.hi);
    const dd t = two_sum(a.lo, b.lo);
    s = fast_two_sum(s.hi, s.lo + t.hi);
    return fast_two_sum(s.hi, s.lo + t.lo);
}

inline dd mul(dd a, dd b)
{
    const dd p = two_prod(a.hi, b.hi);
    return fast_two_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

inline dd mul(dd a, double b)
{
    const dd p = two_prod(a.hi, b);
    return fast_two_sum(p.hi, p.lo + a.lo * b);
}

inline dd div(dd a, dd b)
{
    const double q1 = a.hi / b.hi;
    dd r = add(a, mul(b, -q1));
    const double q2 = r.hi / b.hi;
    r = add(r, mul(b, -q2));
    const double q3 = r.hi / b.hi;
    return add(fast_two_sum(q1, q2), dd{q3, 0.0});
}

// 2^e for a normal exponent e (-1022..1023).
inline double pow2(int e)
{
    return __builtin_bit_cast(double, static_cast<uint64_t>(e + 1023) << 52);
}

// Nearest integer of 0 <= a < 2^52, halves to even.
inline double nearest_int(double a)
{
    return (a + 0x1p52) - 0x1p52;
}

} // namespace detail

// 2^x.
inline double exp2(double x)
{
    using namespace detail;
    if (x != x)
        return x + x;
    if (x >= 1024.0)
        return __builtin_huge_val();
    if (x <= -1075.0) // 2^-1075 and below round to 0
        return 0.0;

    // x = e + j/128 + r with |r| <= 1/256. x * 128 is exact, and so is r.
    const double t128 = x * 128.0;
    const double kd = t128 < 0.0 ? -nearest_int(-t128) : nearest_int(t128);
    const int k = static_cast<int>(kd);
    const int e = k >> 7; // floor(k / 128)
    const int j = k - e * 128;
    const double r = x - kd * 0x1p-7;

    // 2^r = exp(r ln 2): Taylor series to degree 10, whose remainder is
    // below 2^-118 for |r ln 2| <= 2^-8.47.
    dd t = two_prod(r, kLn2.hi);
    t = fast_two_sum(t.hi, t.lo + r * kLn2.lo);
    dd p = kInvFactorial[10];
    for (int i = 9; i >= 0; --i)
        p = add(mul(p, t), kInvFactorial[i]);
    const dd y = mul(kExp2Table[j], p); // 2^(j/128 + r), in [0.997, 1.995)

    if (e >= -1021) {
        const double v = y.hi + y.lo; // the one rounding
        return e > 1023 ? v * pow2(e - 1) * 2.0 : v * pow2(e);
    }
    // Below 2^-1021 the results are multiples of 2^-1074: round y * 2^(e+1074)
    // to an integer (below 2^53), then scale exactly.
    const int s = e + 1074; // -1 .. 52
    const double f = s >= 0 ? pow2(s) : 0.5;
    const dd z{y.hi * f, y.lo * f};
    double n = z.hi < 0x1p52 ? nearest_int(z.hi) : z.hi;
    const double d = (z.hi - n) + z.lo;
    if (d > 0.5 || (d == 0.5 && nearest_int(n * 0.5) * 2.0 != n))
        n += 1.0;
    else if (d < -0.5 || (d == -0.5 && nearest_int(n * 0.5) * 2.0 != n))
        n -= 1.0;
    return n * 0x1p-1074;
}

// Base-2 logarithm.
inline double log2(double x)
{
    using namespace detail;
    if (x != x)
        return x + x;
    if (x < 0.0)
        return __builtin_nan("");
    if (x == 0.0)
        return -__builtin_huge_val();
    if (x == __builtin_huge_val())
        return x;

    // x = 2^e * m with m in [sqrt(1/2), sqrt(2)].
    uint64_t b = __builtin_bit_cast(uint64_t, x);
    int e = static_cast<int>(b >> 52);
    if (e == 0) { // subnormal: scale into the normal range
        b = __builtin_bit_cast(uint64_t, x * 0x1p54);
        e = static_cast<int>(b >> 52) - 54;
    }
    e -= 1023;
    double m = __builtin_bit_cast(double, (b & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL);
    if (m > 0x1.6a09e667f3bcdp+0) {
        m *= 0.5;
        e += 1;
    }

    // ln m = 2 atanh(u) = 2 (u + u^3/3 + u^5/5 + ...), u = (m - 1) / (m + 1),
    // |u| <= 0.1716: 22 terms leave a remainder below 2^-117.
    const dd u = div(dd{m - 1.0, 0.0}, two_sum(m, 1.0)); // m - 1 is exact
    const dd u2 = mul(u, u);
    dd s = kInvOdd[21];
    for (int i = 20; i >= 0; --i)
        s = add(mul(s, u2), kInvOdd[i]);
    const dd ln_m = mul(dd{u.hi * 2.0, u.lo * 2.0}, s);
    const dd r = add(dd{static_cast<double>(e), 0.0}, mul(ln_m, kInvLn2));
    return r.hi + r.lo; // the one rounding
}

// Nearest integer; halves go away from zero. Keeps the sign of zero.
inline double round(double x)
{
    using detail::nearest_int;
    const uint64_t sign = __builtin_bit_cast(uint64_t, x) & 0x8000000000000000ULL;
    const double a = __builtin_bit_cast(double, __builtin_bit_cast(uint64_t, x) ^ sign); // |x|
    if (!(a < 0x1p52)) // already an integer, infinite or not a number
        return x;
    double t = nearest_int(a);
    if (t > a)
        t -= 1.0;     // floor(a)
    if (a - t >= 0.5) // exact difference
        t += 1.0;
    return __builtin_bit_cast(double, __builtin_bit_cast(uint64_t, t) | sign);
}

} // namespace crmath

#endif /* QZ_HOST_CRMATH_H */
