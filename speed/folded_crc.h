#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vellora {

// The distances, in bits, that folds move an accumulator by.
constexpr std::array<unsigned, 7> kFoldDistances = {128, 256, 384, 512, 1024, 1536, 2048};

// What folds a message modulo a CRC's polynomial of `width` bits (16 or 32,
// most significant bit first): x^d and x^(d+64) modulo it for each distance d.
struct FoldKeys {
  unsigned width = 0;
  std::array<std::array<std::uint64_t, 2>, kFoldDistances.size()> powers{};
};

constexpr std::uint64_t xPowerMod(unsigned width, std::uint32_t poly, unsigned k) {
  const std::uint64_t top = std::uint64_t{1} << width;
  std::uint64_t r = 1;
  for (unsigned i = 0; i < k; ++i) {
    r <<= 1;
    if (r & top) r ^= top | poly;
  }
  return r;
}

constexpr FoldKeys makeFoldKeys(unsigned width, std::uint32_t poly) {
  FoldKeys keys{width, {}};
  for (std::size_t i = 0; i < kFoldDistances.size(); ++i)
    keys.powers[i] = {xPowerMod(width, poly, kFoldDistances[i]), xPowerMod(width, poly, kFoldDistances[i] + 64)};
  return keys;
}

// Folds the first bytes of p[0..n) (a multiple of 16, all but fewer than 16
// of them), the CRC so far taken in, into 16 bytes whose CRC from 0 is the
// CRC of what was folded; how many bytes it folded, 0 where the processor
// cannot or n is too small to pay.
std::size_t foldForCrc(const FoldKeys& keys, std::uint32_t crc, const std::uint8_t* p, std::size_t n,
                       std::array<std::uint8_t, 16>& folded);

}  // namespace vellora
