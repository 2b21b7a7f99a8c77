#include "speed/flac_crc.h"

#include "speed/folded_crc.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace vellora {
namespace {

using Byte = std::uint8_t;

constexpr std::uint16_t kCrc16Poly = 0x8005;

// Row k holds the CRC-8 of a byte followed by k zero bytes, so that a header
// folds into the CRC with independent look-ups rather than a chain of them.
using Crc8Tables = std::array<std::array<Byte, 256>, 16>;
constexpr Crc8Tables makeCrc8Tables() {
  Crc8Tables tables{};
  for (unsigned v = 0; v < 256; ++v) {
    unsigned crc = v;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80U) ? (crc << 1) ^ 0x07U : crc << 1;
    tables[0][v] = static_cast<Byte>(crc);
  }
  for (std::size_t k = 1; k < tables.size(); ++k)
    for (unsigned v = 0; v < 256; ++v) tables[k][v] = tables[0][tables[k - 1][v]];
  return tables;
}

// Row k holds the CRC-16 of a byte followed by k zero bytes, so that 16 bytes
// fold into the CRC with 16 independent look-ups (slicing by 16).
using Crc16Tables = std::array<std::array<std::uint16_t, 256>, 16>;
constexpr Crc16Tables makeCrc16Tables() {
  Crc16Tables tables{};
  for (unsigned v = 0; v < 256; ++v) {
    unsigned crc = v << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000U) ? (crc << 1) ^ kCrc16Poly : crc << 1;
    tables[0][v] = static_cast<std::uint16_t>(crc);
  }
  for (std::size_t k = 1; k < tables.size(); ++k)
    for (unsigned v = 0; v < 256; ++v) {
      const unsigned prev = tables[k - 1][v];
      tables[k][v] = static_cast<std::uint16_t>((prev << 8) ^ tables[0][prev >> 8]);
    }
  return tables;
}

constexpr Crc8Tables kCrc8 = makeCrc8Tables();
constexpr Crc16Tables kCrc16 = makeCrc16Tables();

std::uint16_t crc16Sliced(std::uint16_t crc, const Byte* p, std::size_t n) {
  const auto& t = kCrc16;
  for (; n >= 16; p += 16, n -= 16) {
    const unsigned folded = t[15][p[0] ^ (crc >> 8)] ^ t[14][p[1] ^ (crc & 0xFFU)] ^
                            t[13][p[2]] ^ t[12][p[3]] ^ t[11][p[4]] ^ t[10][p[5]] ^
                            t[9][p[6]] ^ t[8][p[7]] ^ t[7][p[8]] ^ t[6][p[9]] ^ t[5][p[10]] ^
                            t[4][p[11]] ^ t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]];
    crc = static_cast<std::uint16_t>(folded);
  }
  // The rest in one step too: a byte followed by k others takes row k.
  if (n == 1) return static_cast<std::uint16_t>((crc << 8) ^ t[0][(crc >> 8) ^ *p]);
  if (n == 0) return crc;
  unsigned folded = t[n - 1][p[0] ^ (crc >> 8)] ^ t[n - 2][p[1] ^ (crc & 0xFFU)];
  for (std::size_t i = 2; i < n; ++i) folded ^= t[n - 1 - i][p[i]];
  return static_cast<std::uint16_t>(folded);
}

// Product of two polynomials modulo the CRC-16 polynomial.
constexpr std::uint16_t multiplyModCrc16(std::uint16_t a, std::uint16_t b) {
  unsigned product = 0;
  for (int bit = 15; bit >= 0; --bit) {
    product <<= 1;
    if (product & 0x10000U) product ^= 0x10000U | kCrc16Poly;
    if ((unsigned{b} >> bit) & 1U) product ^= a;
  }
  return static_cast<std::uint16_t>(product);
}

// x^(8 * 2^k) modulo the polynomial: what 2^k zero bytes do to a CRC.
constexpr std::array<std::uint16_t, 64> makeZeroPowers() {
  std::array<std::uint16_t, 64> powers{};
  powers[0] = 0x0100;  // x^8
  for (std::size_t k = 1; k < powers.size(); ++k)
    powers[k] = multiplyModCrc16(powers[k - 1], powers[k - 1]);
  return powers;
}
constexpr std::array<std::uint16_t, 64> kZeroPowers = makeZeroPowers();

// x^(8 * k) and x^(8 * 256 * k) modulo the polynomial for k below 256: a
// frame's run of up to 64 KiB after its header in two products.
using ZeroTable = std::array<std::uint16_t, 256>;
constexpr ZeroTable makeZeroTable(std::uint16_t step) {
  ZeroTable table{};
  table[0] = 1;
  for (std::size_t k = 1; k < table.size(); ++k) table[k] = multiplyModCrc16(table[k - 1], step);
  return table;
}
constexpr ZeroTable kZeroBytes = makeZeroTable(kZeroPowers[0]);
constexpr ZeroTable kZeroBlocks = makeZeroTable(kZeroPowers[8]);

template <class Multiply>
std::uint16_t appendZeros(std::uint16_t crc, std::uint64_t zeros, Multiply multiply) {
  for (std::size_t k = 16; k < 64 && (zeros >> k) != 0; ++k)
    if ((zeros >> k) & 1U) crc = multiply(crc, kZeroPowers[k]);
  if (zeros & 0xFFU) crc = multiply(crc, kZeroBytes[zeros & 0xFFU]);
  if ((zeros >> 8) & 0xFFU) crc = multiply(crc, kZeroBlocks[(zeros >> 8) & 0xFFU]);
  return crc;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VELLORA_CLMUL_PRODUCT 1
using Clmul128 = long long __attribute__((vector_size(16)));  // [0] the low 64 coefficients

// a times b modulo the polynomial: one carry-less product of up to 31 bits,
// whose top 15 bits fold back through the tables as two bytes before zeros.
__attribute__((target("pclmul"))) std::uint16_t multiplyClmul(std::uint16_t a, std::uint16_t b) {
  const Clmul128 product = __builtin_ia32_pclmulqdq128(Clmul128{a, 0}, Clmul128{b, 0}, 0x00);
  const auto p = static_cast<std::uint32_t>(product[0]);
  const unsigned high = p >> 16;
  return static_cast<std::uint16_t>(p ^ kCrc16[1][high >> 8] ^ kCrc16[0][high & 0xFFU]);
}

bool hasClmul() {
  static const bool has = __builtin_cpu_supports("pclmul");
  return has;
}
#endif

}  // namespace

std::uint8_t flacCrc8(std::span<const std::uint8_t> bytes) {
  unsigned crc = 0;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t n = std::min<std::size_t>(bytes.size() - at, kCrc8.size());
    unsigned folded = kCrc8[n - 1][bytes[at] ^ crc];
    for (std::size_t i = 1; i < n; ++i) folded ^= kCrc8[n - 1 - i][bytes[at + i]];
    crc = folded;
    at += n;
  }
  return static_cast<std::uint8_t>(crc);
}

std::uint16_t flacCrc16(std::uint16_t crc, std::span<const std::uint8_t> bytes) {
  static constexpr FoldKeys kKeys = makeFoldKeys(16, kCrc16Poly);
  std::array<Byte, 16> folded;
  if (const std::size_t done = foldForCrc(kKeys, crc, bytes.data(), bytes.size(), folded))
    return crc16Sliced(crc16Sliced(0, folded.data(), folded.size()), bytes.data() + done, bytes.size() - done);
  return crc16Sliced(crc, bytes.data(), bytes.size());
}

std::uint16_t flacCrc16AppendZeros(std::uint16_t crc, std::uint64_t zeros) {
#ifdef VELLORA_CLMUL_PRODUCT
  // Once a frame, half a million times in 1 GiB: the bitwise product took 8% of a conversion.
  if (hasClmul()) return appendZeros(crc, zeros, multiplyClmul);
#endif
  return appendZeros(crc, zeros, multiplyModCrc16);
}

}  // namespace vellora
