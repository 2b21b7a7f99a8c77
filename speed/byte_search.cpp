#include "speed/byte_search.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VELLORA_VECTOR_SEARCH 1
#endif

namespace vellora {
namespace {

using Byte = std::uint8_t;

std::size_t findPairByBytes(const Byte* p, std::size_t n, Byte first, Byte second) {
  for (std::size_t i = 0; i < n;) {
    const void* hit = std::memchr(p + i, first, n - i);
    if (hit == nullptr) return n;
    i = static_cast<std::size_t>(static_cast<const Byte*>(hit) - p);
    if (i + 1 == n || p[i + 1] == second) return i;
    ++i;
  }
  return n;
}

#ifdef VELLORA_VECTOR_SEARCH
// A bit for each of the 32 bytes at q where `a` stands and `b` one byte on.
__attribute__((target("avx2"))) inline std::uint32_t pairsAt(const Byte* q, __m256i a, __m256i b) {
  const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
  const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 1));
  return static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(here, a), _mm256_cmpeq_epi8(next, b))));
}

// 64 bytes a step.
__attribute__((target("avx2"))) std::size_t findPairAvx2(const Byte* p, std::size_t n, Byte first, Byte second) {
  const __m256i a = _mm256_set1_epi8(static_cast<char>(first)), b = _mm256_set1_epi8(static_cast<char>(second));
  std::size_t i = 0;
  for (; i + 65 <= n; i += 64) {
    const std::uint64_t found = pairsAt(p + i, a, b) | std::uint64_t{pairsAt(p + i + 32, a, b)} << 32;
    if (found != 0) return i + static_cast<std::size_t>(std::countr_zero(found));
  }
  return i + findPairByBytes(p + i, n - i, first, second);
}

bool hasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

std::size_t findBytePair(std::span<const std::uint8_t> bytes, std::uint8_t first, std::uint8_t second) {
#ifdef VELLORA_VECTOR_SEARCH
  if (hasAvx2()) return findPairAvx2(bytes.data(), bytes.size(), first, second);
#endif
  return findPairByBytes(bytes.data(), bytes.size(), first, second);
}

}  // namespace vellora
