#include "sha256.h"

#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__) || defined(_M_IX86)
#  define MERRO_SHA_X86 1
#  include <immintrin.h>
#  ifdef _MSC_VER
#    include <intrin.h>
#  else
#    include <cpuid.h>
#  endif
#endif

namespace {

constexpr std::uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

alignas(16) constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
    0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
    0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
    0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
    0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
    0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
    0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

inline std::uint32_t rotr(std::uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

void portableBlocks(std::uint32_t* state, const unsigned char* data, qint64 count)
{
    for (; count > 0; --count, data += 64) {
        std::uint32_t w[64];
        for (int t = 0; t < 16; ++t)
            w[t] = std::uint32_t(data[4 * t]) << 24 | std::uint32_t(data[4 * t + 1]) << 16
                   | std::uint32_t(data[4 * t + 2]) << 8 | std::uint32_t(data[4 * t + 3]);
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25))
                                     + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
            const std::uint32_t t2 =
                (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef MERRO_SHA_X86

bool processorHasSha()
{
#  ifdef _MSC_VER
    int info[4];
    __cpuidex(info, 7, 0);
    const bool sha = (info[1] & (1 << 29)) != 0;
    __cpuidex(info, 1, 0);
    return sha && (info[2] & (1 << 19)) != 0; // and SSE4.1
#  else
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d) || (b & (1u << 29)) == 0)
        return false;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & (1u << 19)) != 0;
#  endif
}

#  ifndef _MSC_VER
__attribute__((target("sha,sse4.1")))
#  endif
void shaBlocks(std::uint32_t* state, const unsigned char* data, qint64 count)
{
    const __m128i order = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    // The state as the instructions want it: ABEF and CDGH.
    __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<__m128i*>(state)), 0xB1);
    __m128i efgh =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<__m128i*>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (; count > 0; --count, data += 64) {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        __m128i m[4];
        // Sixteen groups of four rounds; the message words for later groups
        // are made from earlier ones as the rounds go.
#  ifdef __GNUC__
#    pragma GCC unroll 16
#  endif
        for (int g = 0; g < 16; ++g) {
            if (g < 4)
                m[g] = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), order);
            __m128i words = _mm_add_epi32(
                m[g % 4], _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * g)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, words);
            if (g >= 3 && g <= 14) {
                const __m128i next = _mm_add_epi32(m[(g + 1) % 4],
                                                   _mm_alignr_epi8(m[g % 4], m[(g + 3) % 4], 4));
                m[(g + 1) % 4] = _mm_sha256msg2_epu32(next, m[g % 4]);
            }
            words = _mm_shuffle_epi32(words, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, words);
            if (g >= 1 && g <= 12)
                m[(g + 3) % 4] = _mm_sha256msg1_epu32(m[(g + 3) % 4], m[g % 4]);
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

std::atomic<bool> useSha{processorHasSha()};

#else

std::atomic<bool> useSha{false};

#endif

} // namespace

Sha256::Sha256()
{
    std::memcpy(state, kInitial, sizeof state);
}

bool Sha256::accelerated()
{
    return useSha;
}

void Sha256::setAccelerated(bool on)
{
#ifdef MERRO_SHA_X86
    useSha = on && processorHasSha();
#else
    (void)on;
#endif
}

void Sha256::blocks(const unsigned char* data, qint64 count)
{
#ifdef MERRO_SHA_X86
    if (useSha) {
        shaBlocks(state, data, count);
        return;
    }
#endif
    portableBlocks(state, data, count);
}

void Sha256::add(const char* data, qint64 length)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    total += static_cast<std::uint64_t>(length);
    if (pendingLength > 0) {
        const int take = static_cast<int>(std::min<qint64>(64 - pendingLength, length));
        std::memcpy(pending + pendingLength, bytes, static_cast<size_t>(take));
        pendingLength += take;
        bytes += take;
        length -= take;
        if (pendingLength < 64)
            return;
        blocks(pending, 1);
        pendingLength = 0;
    }
    if (length >= 64) {
        blocks(bytes, length / 64);
        bytes += length / 64 * 64;
        length %= 64;
    }
    std::memcpy(pending, bytes, static_cast<size_t>(length));
    pendingLength = static_cast<int>(length);
}

QByteArray Sha256::result()
{
    const std::uint64_t bits = total * 8;
    unsigned char tail[128] = {};
    std::memcpy(tail, pending, static_cast<size_t>(pendingLength));
    tail[pendingLength] = 0x80;
    const int length = pendingLength < 56 ? 64 : 128;
    for (int i = 0; i < 8; ++i)
        tail[length - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    blocks(tail, length / 64);
    QByteArray digest(32, '\0');
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<char>(state[i] >> (24 - 8 * j));
    std::memcpy(state, kInitial, sizeof state);
    pendingLength = 0;
    total = 0;
    return digest;
}
