#include "speed/folded_crc.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VELLORA_FOLDED_CRC 1
#endif

namespace vellora {

#ifdef VELLORA_FOLDED_CRC
namespace {

// Four 128-bit accumulators, each times x^512 modulo the polynomial plus the
// next 64 bytes, stay congruent to the message, so the CRC of their sum is
// the message's. Each holds 16 bytes as a polynomial, the first byte's top
// bit the highest coefficient.
__attribute__((target("pclmul,ssse3"))) inline __m128i fold128(__m128i a, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11));
}

__attribute__((target("pclmul,ssse3"))) inline __m128i load128(const std::uint8_t* p) {
  const __m128i reversed = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reversed);
}

__attribute__((target("pclmul,ssse3"))) inline __m128i keyPair(const FoldKeys& keys, unsigned bits) {
  std::size_t i = 0;
  while (kFoldDistances[i] != bits) ++i;
  return _mm_set_epi64x(static_cast<long long>(keys.powers[i][1]), static_cast<long long>(keys.powers[i][0]));
}

#define VELLORA_WIDE_TARGET __attribute__((target("avx512f,avx512bw,vpclmulqdq,pclmul,ssse3")))

// The masked forms, since GCC 12 takes the plain ones' undefined start for an uninitialised value.
VELLORA_WIDE_TARGET inline __m512i broadcast128(__m128i a) { return _mm512_maskz_broadcast_i32x4(0xFFFF, a); }

VELLORA_WIDE_TARGET inline __m512i load512(const std::uint8_t* p) {
  const __m512i reversed = broadcast128(_mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
  return _mm512_shuffle_epi8(_mm512_loadu_si512(p), reversed);
}

VELLORA_WIDE_TARGET inline __m512i fold512(__m512i a, __m512i k) {
  return _mm512_xor_si512(_mm512_clmulepi64_epi128(a, k, 0x00), _mm512_clmulepi64_epi128(a, k, 0x11));
}

VELLORA_WIDE_TARGET inline __m512i keyPair512(const FoldKeys& keys, unsigned bits) {
  return broadcast128(keyPair(keys, bits));
}

// The same four accumulators four times as wide: 256 bytes a step.
VELLORA_WIDE_TARGET std::size_t foldWide(const FoldKeys& keys, std::uint32_t crc, const std::uint8_t* p, std::size_t n,
                                         __m128i (&a)[4]) {
  __m512i a0 = load512(p), a1 = load512(p + 64), a2 = load512(p + 128), a3 = load512(p + 192);
  a0 = _mm512_xor_si512(
      a0, _mm512_set_epi64(0, 0, 0, 0, 0, 0, static_cast<long long>(std::uint64_t{crc} << (64 - keys.width)), 0));
  std::size_t done = 256;
  const __m512i k2048 = keyPair512(keys, 2048);
  for (; n - done >= 256; done += 256) {
    a0 = _mm512_xor_si512(fold512(a0, k2048), load512(p + done));
    a1 = _mm512_xor_si512(fold512(a1, k2048), load512(p + done + 64));
    a2 = _mm512_xor_si512(fold512(a2, k2048), load512(p + done + 128));
    a3 = _mm512_xor_si512(fold512(a3, k2048), load512(p + done + 192));
  }
  // 256 bytes in 16 lanes, into the last 64: their four lanes are the narrow accumulators.
  const __m512i sum =
      _mm512_xor_si512(_mm512_xor_si512(fold512(a0, keyPair512(keys, 1536)), fold512(a1, keyPair512(keys, 1024))),
                       _mm512_xor_si512(fold512(a2, keyPair512(keys, 512)), a3));
  a[0] = _mm512_maskz_extracti32x4_epi32(0xF, sum, 0);
  a[1] = _mm512_maskz_extracti32x4_epi32(0xF, sum, 1);
  a[2] = _mm512_maskz_extracti32x4_epi32(0xF, sum, 2);
  a[3] = _mm512_maskz_extracti32x4_epi32(0xF, sum, 3);
  return done;
}

bool hasWideClmul() {
  static const bool has =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("vpclmulqdq");
  return has;
}

bool hasClmul() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
  return has;
}

__attribute__((target("pclmul,ssse3"))) std::size_t fold128Bytes(const FoldKeys& keys, std::uint32_t crc,
                                                                 const std::uint8_t* p, std::size_t n,
                                                                 std::array<std::uint8_t, 16>& folded) {
  __m128i a[4];
  std::size_t done = 0;
  if (n >= 1024 && hasWideClmul()) {
    done = foldWide(keys, crc, p, n, a);
  } else {
    for (int i = 0; i < 4; ++i) a[i] = load128(p + 16 * i);
    a[0] = _mm_xor_si128(a[0], _mm_set_epi64x(static_cast<long long>(std::uint64_t{crc} << (64 - keys.width)), 0));
    done = 64;
  }
  const __m128i k512 = keyPair(keys, 512);
  for (; n - done >= 64; done += 64)
    for (int i = 0; i < 4; ++i) a[i] = _mm_xor_si128(fold128(a[i], k512), load128(p + done + 16 * i));
  __m128i sum = _mm_xor_si128(_mm_xor_si128(fold128(a[0], keyPair(keys, 384)), fold128(a[1], keyPair(keys, 256))),
                              _mm_xor_si128(fold128(a[2], keyPair(keys, 128)), a[3]));
  // Whole 16-byte blocks too: the tables, which take the rest, cost more a byte than a fold.
  const __m128i k128 = keyPair(keys, 128);
  for (; n - done >= 16; done += 16) sum = _mm_xor_si128(fold128(sum, k128), load128(p + done));
  const __m128i reversed = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded.data()), _mm_shuffle_epi8(sum, reversed));
  return done;
}

}  // namespace
#endif

std::size_t foldForCrc(const FoldKeys& keys, std::uint32_t crc, const std::uint8_t* p, std::size_t n,
                       std::array<std::uint8_t, 16>& folded) {
#ifdef VELLORA_FOLDED_CRC
  // Folding pays from a few hundred bytes on; shorter runs take the tables.
  if (n >= 256 && hasClmul()) return fold128Bytes(keys, crc, p, n, folded);
#else
  (void)keys, (void)crc, (void)p, (void)n, (void)folded;
#endif
  return 0;
}

}  // namespace vellora
