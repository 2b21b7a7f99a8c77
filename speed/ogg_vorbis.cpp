#include "speed/ogg_vorbis.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "speed/bytes.h"
#include "speed/folded_crc.h"
#include "speed/format_table.h"
#include "speed/plan_support.h"

namespace vellora {
namespace {

constexpr std::size_t kPageHeader = 27;
constexpr std::size_t kVersionAt = 4;
constexpr std::size_t kTypeAt = 5;
constexpr std::size_t kCrcAt = 22;
constexpr std::size_t kSegmentsAt = 26;
constexpr unsigned kFirstPageOfStream = 0x02;

// The identification header: packet type 1, "vorbis", version, channels,
// rate, three bit rates, block sizes, framing bit.
constexpr std::size_t kIdentification = 30;
constexpr std::size_t kChannelsAt = 11;
constexpr std::size_t kRateAt = 12;     // followed by the maximum, nominal and minimum bit rates
constexpr std::size_t kRatesBytes = 16;
constexpr std::size_t kFramingAt = 29;
constexpr std::uint64_t kId3v1Bytes = 128;

// Ogg's CRC-32 (polynomial 0x04C11DB7, most significant bit first), sixteen
// bytes a step: table k gives a byte's remainder followed by k zero bytes.
// Every page is checked, so this runs over the whole file: long runs are
// folded first where the processor multiplies without carries.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 16>;
constexpr CrcTables crcTables() {
  CrcTables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t r = i << 24;
    for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000U) != 0 ? (r << 1) ^ 0x04C11DB7U : r << 1;
    t[0][i] = r;
  }
  for (std::size_t k = 1; k < t.size(); ++k)
    for (std::uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 24];
  return t;
}
constexpr CrcTables kCrc = crcTables();

bool isPageHeader(std::span<const std::byte> header) {
  return header.size() == kPageHeader && hasId(header, 0, "OggS") &&
         std::to_integer<unsigned>(header[kVersionAt]) == 0;
}

// Why a stream whose first page holds another codec cannot change, in the
// user's words: the table's reason for the kinds it knows.
std::string codecWords(std::span<const std::byte> page, std::span<const std::byte> packet) {
  const FormatKind* kind = probeHead(page, false);
  if (kind != nullptr && kind->scan == nullptr) return std::string(kind->refusal);
  if (hasId(packet, 0, "\x80theora")) return "it holds Theora video";
  return "it holds an Ogg stream that is not Vorbis";
}

class OggWalk {
 public:
  OggWalk(ScanInput& input, const RateChange& change) : input_(input), change_(change) {
    plan_.format = AudioFormat::OggVorbis;
  }

  RatePlan run(std::uint64_t start) {
    const std::uint64_t size = input_.size();
    plan_.before.containerSize = size == std::uint64_t(-1) ? 0 : static_cast<std::int64_t>(size);
    for (std::uint64_t offset = start;;) {
      const std::span<const std::byte> header = input_.read(offset, kPageHeader);
      if (input_.failed()) return failShortRead(plan_, input_, {});
      if (header.empty()) break;
      if (!isPageHeader(header)) {
        if (offset == start) return fail(plan_, PlanFailure::Malformed, "its first Ogg page is damaged");
        // An ID3v1 tag, as taggers append one, is the only thing a page may be followed by.
        if (isId3v1Tail(header, offset)) {
          notPages_ = kId3v1Bytes;
          input_.pass(offset + kId3v1Bytes, plan_.patches);
          break;
        }
        return fail(plan_, PlanFailure::Malformed, "bytes at " + offsetText(offset) + " are no Ogg page");
      }
      // Each read may move what the last one returned.
      const bool firstOfStream = (std::to_integer<unsigned>(header[kTypeAt]) & kFirstPageOfStream) != 0;
      const std::size_t segments = std::to_integer<std::size_t>(header[kSegmentsAt]);
      const std::span<const std::byte> lacing = input_.read(offset + kPageHeader, segments);
      if (input_.failed()) return failShortRead(plan_, input_, {});
      std::size_t body = 0;
      for (std::byte b : lacing) body += std::to_integer<std::size_t>(b);
      const std::size_t pageSize = kPageHeader + segments + body;
      // Every page's checksum: a damaged lacing value would make the walk step over the next stream.
      const std::span<const std::byte> page = input_.read(offset, pageSize);
      if (page.size() < pageSize)
        return failShortRead(plan_, input_, "the file ends inside the Ogg page at " + offsetText(offset));
      if (crcOf(page) != read_u32le(page.data() + kCrcAt))
        return fail(plan_, PlanFailure::Malformed, "its Ogg page at " + offsetText(offset) + " is damaged");
      if (firstOfStream && !changeStreamStart(offset, pageSize))
        return plan_;
      offset += pageSize;
      input_.pass(offset, plan_.patches);
    }
    if (streams_ == 0) return fail(plan_, PlanFailure::Malformed, "it holds no Vorbis stream");
    plan_.notes.push_back(streams_ == 1 ? "identification header on the page at " + offsetText(firstAt_) +
                                              ", the page's checksum recomputed"
                                        : "identification headers of " + std::to_string(streams_) +
                                              " chained streams, each page's checksum recomputed");
    if (notPages_ != 0)
      plan_.notes.push_back(std::to_string(notPages_) + " bytes that are no Ogg page left as they are");
    return plan_;
  }

 private:
  // Plans the first page of a logical stream, which holds the identification header alone.
  bool changeStreamStart(std::uint64_t offset, std::size_t pageSize) {
    const std::span<const std::byte> read = input_.read(offset, pageSize);
    if (read.size() < pageSize) {
      failShortRead(plan_, input_, "the file ends inside the first page of a stream at " + offsetText(offset));
      return false;
    }
    std::vector<std::byte> page(read.begin(), read.end());
    const std::size_t segments = std::to_integer<std::size_t>(page[kSegmentsAt]);
    const std::size_t packetAt = kPageHeader + segments;
    const std::span<const std::byte> packet = std::span(page).subspan(packetAt);
    if (!hasId(packet, 0, "\x01vorbis")) {
      fail(plan_, PlanFailure::Unsupported, codecWords(page, packet));
      return false;
    }
    if (crcOf(page) != read_u32le(page.data() + kCrcAt)) {
      fail(plan_, PlanFailure::Malformed, "the first page of a stream at " + offsetText(offset) + " is damaged");
      return false;
    }
    const std::size_t firstPacket = segments > 0 ? std::to_integer<std::size_t>(page[kPageHeader]) : 0;
    if (firstPacket < kIdentification || firstPacket == 255 || read_u32le(packet.data() + 7) != 0 ||
        std::to_integer<unsigned>(packet[kChannelsAt]) == 0 ||
        (std::to_integer<unsigned>(packet[kFramingAt]) & 1U) == 0) {
      fail(plan_, PlanFailure::Malformed, "its Vorbis identification header at " + offsetText(offset) + " is damaged");
      return false;
    }

    const double rate = read_u32le(packet.data() + kRateAt);
    const unsigned channels = std::to_integer<unsigned>(packet[kChannelsAt]);
    AudioSummary before{.containerSize = plan_.before.containerSize,
                        .blockAlign = channels * 4,
                        .byteRate = static_cast<std::int64_t>(rate) * channels * 4,
                        .bitsPerSample = 32,  // Vorbis decodes to 32-bit floats
                        .channels = channels,
                        .sampleRate = rate};
    const std::optional<double> newRate = newRateWithin(plan_, rate, change_);
    if (!newRate) return false;

    std::array<std::byte, kRatesBytes> rates{};
    write_u32le(rates.data(), static_cast<std::uint32_t>(*newRate));
    // Bit rates of 0 or below are unset and stay so.
    for (std::size_t i = 4; i < kRatesBytes; i += 4) {
      const auto bitRate = static_cast<std::int32_t>(read_u32le(packet.data() + kRateAt + i));
      const double scaled = bitRate > 0 ? scaledAlong(bitRate, rate, change_) : bitRate;
      if (scaled > kLargestRate) {
        fail(plan_, PlanFailure::RateOutOfRange, "its bit rate would grow too large");
        return false;
      }
      write_u32le(rates.data() + i, static_cast<std::uint32_t>(static_cast<std::int32_t>(scaled)));
    }
    std::copy(rates.begin(), rates.end(), page.begin() + static_cast<std::ptrdiff_t>(packetAt + kRateAt));
    std::array<std::byte, 4> crc{};
    write_u32le(crc.data(), crcOf(page));
    plan_.patches.push_back(patchAt(offset + kCrcAt, crc));
    plan_.patches.push_back(patchAt(offset + packetAt + kRateAt, rates));

    if (streams_++ == 0) {
      firstAt_ = offset;
      plan_.before = before;
      plan_.after = before;
      plan_.after.sampleRate = *newRate;
      plan_.after.byteRate = static_cast<std::int64_t>(*newRate) * before.blockAlign;
    }
    return true;
  }

  // The checksum of a page, taken with zeros in its checksum field.
  static std::uint32_t crcOf(std::span<const std::byte> page) {
    constexpr std::array<std::byte, 4> zeros{};
    return oggCrc(page.subspan(kCrcAt + 4), oggCrc(zeros, oggCrc(page.first(kCrcAt))));
  }

  bool isId3v1Tail(std::span<const std::byte> header, std::uint64_t offset) const {
    return hasId(header, 0, "TAG") && input_.size() == offset + kId3v1Bytes;
  }

  ScanInput& input_;
  const RateChange& change_;
  RatePlan plan_;
  int streams_ = 0;
  std::uint64_t firstAt_ = 0;
  std::uint64_t notPages_ = 0;
};

}  // namespace

namespace {

std::uint32_t crcSliced(std::span<const std::byte> page, std::uint32_t crc) {
  const std::byte* p = page.data();
  std::size_t left = page.size();
  for (; left >= 16; left -= 16, p += 16) {
    const std::uint32_t x = crc ^ read_u32be(p);
    crc = kCrc[15][x >> 24] ^ kCrc[14][(x >> 16) & 0xFF] ^ kCrc[13][(x >> 8) & 0xFF] ^ kCrc[12][x & 0xFF];
    crc ^= kCrc[11][octet(p[4])] ^ kCrc[10][octet(p[5])] ^ kCrc[9][octet(p[6])] ^ kCrc[8][octet(p[7])] ^
           kCrc[7][octet(p[8])] ^ kCrc[6][octet(p[9])] ^ kCrc[5][octet(p[10])] ^ kCrc[4][octet(p[11])] ^
           kCrc[3][octet(p[12])] ^ kCrc[2][octet(p[13])] ^ kCrc[1][octet(p[14])] ^ kCrc[0][octet(p[15])];
  }
  for (; left > 0; --left, ++p) crc = (crc << 8) ^ kCrc[0][((crc >> 24) ^ octet(*p)) & 0xFF];
  return crc;
}

}  // namespace

std::uint32_t oggCrc(std::span<const std::byte> page, std::uint32_t crc) {
  static constexpr FoldKeys kKeys = makeFoldKeys(32, 0x04C11DB7);
  std::array<std::uint8_t, 16> folded;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(page.data());
  if (const std::size_t done = foldForCrc(kKeys, crc, bytes, page.size(), folded))
    return crcSliced(page.subspan(done), crcSliced(std::as_bytes(std::span(folded)), 0));
  return crcSliced(page, crc);
}

RatePlan planOggVorbis(ScanInput& input, std::uint64_t start, const RateChange& change) {
  return OggWalk(input, change).run(start);
}

}  // namespace vellora
