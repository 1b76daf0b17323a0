#pragma once
// Dividing area sums by the picture's size, rounded, many at a time.

#include <cstddef>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kvx {

// Rounded division of sums of at most 255 times the divisor, the divisor at most 2^24 (a
// picture's pixels), by multiplying with a 32-bit reciprocal: with shift = 31 + floor(log2 d)
// and magic = ceil(2^shift / d), the estimate for n <= 255.5 d is off by less than
// 511 / 2^31, so it is the quotient or one more, and one correction downwards makes it exact.
// Every step is 32-bit, or 32 by 32 bits into 64, so blocks of sixteen become vector code.
class RoundedDivision {
public:
    explicit RoundedDivision(std::uint32_t divisor) : m_divisor(divisor), m_half(divisor / 2) {
        while ((std::uint64_t(2) << m_shift) <= divisor)
            ++m_shift;
        m_shift += 31;
        m_magic =
            static_cast<std::uint32_t>(((std::uint64_t(1) << m_shift) + divisor - 1) / divisor);
    }
    std::uint8_t operator()(std::uint32_t sum) const {
        const std::uint32_t n = sum + m_half;
        std::uint32_t q = static_cast<std::uint32_t>((std::uint64_t(n) * m_magic) >> m_shift);
        q = q < 255 ? q : 255;
        q -= q * m_divisor > n;
        return static_cast<std::uint8_t>(q);
    }
    void divide(const std::uint32_t* __restrict sums, std::uint8_t* __restrict out,
                std::size_t count) const {
        std::size_t i = 0;
#if defined(__SSE2__)
        // Below 2^23 pixels (every preview) the rounded sums fit a signed int, which converts
        // to double exactly. A quotient that is an integer or lies at least 1/d from the next
        // one: the product is off by far less than 2^-25, so adding 2^-25 before truncating
        // never falls short of an exact integer and never reaches the next one.
        if (m_divisor < (1u << 23)) {
            const __m128i half = _mm_set1_epi32(static_cast<int>(m_half));
            const __m128d inverse = _mm_set1_pd(1.0 / m_divisor);
            const __m128d nudge = _mm_set1_pd(1.0 / (1 << 25));
            for (; i + 8 <= count; i += 8) {
                __m128i q[2];
                for (int k = 0; k < 2; ++k) {
                    const __m128i n = _mm_add_epi32(
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i + 4 * k)), half);
                    const __m128d low = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(n), inverse), nudge);
                    const __m128d high = _mm_add_pd(
                        _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(n, 0x4E)), inverse), nudge);
                    q[k] = _mm_unpacklo_epi64(_mm_cvttpd_epi32(low), _mm_cvttpd_epi32(high));
                }
                const __m128i words = _mm_packs_epi32(q[0], q[1]);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i),
                                 _mm_packus_epi16(words, words));
            }
        }
#endif
        const RoundedDivision d = *this; // locals, which the byte stores cannot change
        for (; i + 16 <= count; i += 16)
            for (std::size_t j = i; j < i + 16; ++j)
                out[j] = d(sums[j]);
        for (; i < count; ++i)
            out[i] = d(sums[i]);
    }

private:
    std::uint32_t m_divisor, m_half;
    unsigned m_shift = 0;
    std::uint32_t m_magic = 0;
};

} // namespace kvx
