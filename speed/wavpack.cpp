#include "speed/wavpack.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "shellfiles/numbers.h"
#include "speed/bytes.h"
#include "speed/format_table.h"
#include "speed/memory_source.h"
#include "speed/plan_support.h"

namespace vellora {
namespace {

constexpr std::size_t kHeaderBytes = 32;
// Writers keep blocks under 1 MiB; a size far past that is damage, not audio.
constexpr std::uint32_t kLargestBlock = std::uint32_t{16} << 20;
constexpr std::uint16_t kOldestVersion = 0x402, kNewestVersion = 0x410;

// The flags of a block's header.
constexpr std::uint32_t kBytesPerSampleMask = 0x3;
constexpr std::uint32_t kMonoFlag = 1U << 2;
constexpr std::uint32_t kHybridFlag = 1U << 3;
constexpr std::uint32_t kFloatFlag = 1U << 7;
constexpr unsigned kRateShift = 23;
constexpr std::uint32_t kRateMask = 0xFU << kRateShift;
constexpr std::uint32_t kChecksumFlag = 1U << 28;
constexpr std::uint32_t kFalseStereoFlag = 1U << 30;
constexpr std::uint32_t kDsdFlag = 1U << 31;

// The rates of codes 0 to 14; code 15 says the block holds a rate of its own.
constexpr std::array<std::uint32_t, 15> kCodedRates = {6000,  8000,  9600,  11025, 12000, 16000, 22050, 24000,
                                                       32000, 44100, 48000, 64000, 88200, 96000, 192000};
constexpr unsigned kOwnRate = 15;

// Sub-block ids: the function in the low six bits, then "one byte shorter"
// and "three size bytes".
constexpr unsigned kIdFunction = 0x3F;
constexpr unsigned kIdOddSize = 0x40;
constexpr unsigned kIdLarge = 0x80;
constexpr unsigned kIdWvBitstream = 0x0A;
constexpr unsigned kIdWvcBitstream = 0x0B;
constexpr unsigned kIdChannelInfo = 0x0D;
constexpr unsigned kIdRiffHeader = 0x21;
constexpr unsigned kIdAltHeader = 0x23;
constexpr unsigned kIdSampleRate = 0x27;
constexpr unsigned kIdBlockChecksum = 0x2F;
// A rate sub-block holds 24 bits; a fourth byte, for 31, is lost on ffmpeg.
constexpr std::uint32_t kLargestRate24 = 0xFFFFFF;

std::string hertz(double rate) { return formatNumber(rate) + " Hz"; }

std::string counted(std::uint64_t count, std::string_view noun) {
  return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

struct SubBlock {
  unsigned id = 0;          // the function, without the size bits
  std::size_t at = 0;       // of its id byte, from the block's start
  std::size_t data = 0;     // of its data, from the block's start
  std::size_t length = 0;   // of its data, without the padding byte
};

struct Block {
  std::uint64_t offset = 0;
  std::vector<std::byte> bytes;
  std::uint32_t samples = 0;
  std::uint32_t flags = 0;
  std::optional<SubBlock> rate;
  std::optional<SubBlock> checksum;
  std::optional<SubBlock> wrapper;  // the header of the file it was packed from
  std::optional<SubBlock> channelInfo;
  bool wvBitstream = false;
  bool wvcBitstream = false;

  unsigned rateCode() const { return (flags & kRateMask) >> kRateShift; }
  // A correction file's block: its rate is the main file's.
  bool corrects() const { return wvcBitstream && !wvBitstream; }
  std::uint32_t ownRate() const {
    const std::byte* p = bytes.data() + rate->data;
    return read_u16le(p) | std::uint32_t{octet(p[2])} << 16 | (rate->length == 4 ? (octet(p[3]) & 0x7FU) << 24 : 0U);
  }
};

// The block checksum: every 16-bit word before the checksum sub-block, each
// added to three times the sum so far; the short form folds it to 16 bits.
std::uint32_t blockChecksum(std::span<const std::byte> words, std::size_t bytes) {
  std::uint32_t c = 0xFFFFFFFF;
  for (std::size_t i = 0; i + 1 < words.size(); i += 2) c = c * 3 + read_u16le(words.data() + i);
  return bytes == 4 ? c : (c ^ (c >> 16)) & 0xFFFF;
}

std::uint32_t storedChecksum(const Block& b) {
  const std::byte* p = b.bytes.data() + b.checksum->data;
  return b.checksum->length == 4 ? read_u32le(p) : read_u16le(p);
}

void writeChecksum(Block& b) {
  const std::uint32_t c = blockChecksum(std::span(b.bytes).first(b.checksum->at), b.checksum->length);
  std::byte* p = b.bytes.data() + b.checksum->data;
  b.checksum->length == 4 ? write_u32le(p, c) : write_u16le(p, static_cast<std::uint16_t>(c));
}

// The kinds of file whose header a block may keep, and that change as they would on their own.
bool changesWrapper(AudioFormat f) {
  return f == AudioFormat::Wav || f == AudioFormat::Rifx || f == AudioFormat::Rf64 || f == AudioFormat::Wave64 ||
         f == AudioFormat::Aiff || f == AudioFormat::Aifc || f == AudioFormat::Caf;
}

// Patches for the bytes of `now` that differ from `was`; runs a few bytes apart share one.
void addDifferences(std::vector<Patch>& patches, std::uint64_t offset, std::span<const std::byte> was,
                    std::span<const std::byte> now) {
  constexpr std::size_t kGap = 4;
  for (std::size_t i = 0; i < now.size();) {
    if (was[i] == now[i]) {
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    for (std::size_t j = end; j < now.size() && j < i + Patch::kMaxBytes && j < end + kGap; ++j)
      if (was[j] != now[j]) end = j + 1;
    patches.push_back(patchAt(offset + i, now.subspan(i, end - i)));
    i = end;
  }
}

class WavPackPlanner {
 public:
  WavPackPlanner(ScanInput& input, std::uint64_t start, const RateChange& change)
      : input_(input), change_(change), start_(start) {
    plan_.format = AudioFormat::WavPack;
  }

  RatePlan run() {
    const std::uint64_t end = appendedTagsStart(input_, start_);
    if (input_.failed()) return failShortRead(plan_, input_, {});
    for (std::uint64_t at = start_; at < end;) {
      Block block;
      if (!readBlock(at, end, block) || !planBlock(block)) {
        plan_.notes.clear();
        return std::move(plan_);
      }
      at += block.bytes.size();
    }
    if (audioBlocks_ == 0) return fail(plan_, PlanFailure::Malformed, "it holds no WavPack block of audio");
    addNotes();
    return std::move(plan_);
  }

 private:
  bool refuse(PlanFailure failure, std::string reason) {
    fail(plan_, failure, std::move(reason));
    return false;
  }
  bool refuseShortRead(std::string malformed) {
    failShortRead(plan_, input_, std::move(malformed));
    return false;
  }
  bool refuseBlock(const Block& b, std::string what) {
    return refuse(PlanFailure::Malformed, "its block at " + offsetText(b.offset) + " " + what);
  }

  bool readBlock(std::uint64_t at, std::uint64_t end, Block& b) {
    b.offset = at;
    const std::span<const std::byte> header = input_.read(at, kHeaderBytes);
    if (input_.failed()) return refuseShortRead({});
    if (!hasId(header, 0, "wvpk"))
      return refuse(PlanFailure::Malformed, "no WavPack block begins at " + offsetText(at));
    if (header.size() < kHeaderBytes) return refuseBlock(b, "is cut short: the file ends inside its header");
    const std::uint32_t size = read_u32le(header.data() + 4);
    const std::uint16_t version = read_u16le(header.data() + 8);
    if (version < kOldestVersion || version > kNewestVersion)
      return refuseBlock(b, "has version " + std::to_string(version) + ", where WavPack 4 and 5 write " +
                                std::to_string(kOldestVersion) + " to " + std::to_string(kNewestVersion));
    if (size < kHeaderBytes - 8 || size % 2 != 0 || size > kLargestBlock)
      return refuseBlock(b, "gives an impossible size, " + std::to_string(size));
    if (at + 8 + size > end)
      return refuseBlock(b, end == input_.size() ? "runs past the end of the file: the file is cut short"
                                                 : "runs into the tags at the end of the file");
    b.samples = read_u32le(header.data() + 20);
    b.flags = read_u32le(header.data() + 24);
    const std::span<const std::byte> whole = input_.read(at, 8 + std::size_t{size});
    if (whole.size() < 8 + std::size_t{size}) return refuseShortRead("the file is cut short");
    b.bytes.assign(whole.begin(), whole.end());
    return parseSubBlocks(b);
  }

  bool parseSubBlocks(Block& b) {
    const std::span<const std::byte> bytes = b.bytes;
    for (std::size_t at = kHeaderBytes; at < bytes.size();) {
      const unsigned id = octet(bytes[at]);
      const std::size_t sizeBytes = (id & kIdLarge) ? 3 : 1;
      if (at + 1 + sizeBytes > bytes.size()) return refuseBlock(b, "ends inside a sub-block's header");
      std::size_t words = octet(bytes[at + 1]);
      if (sizeBytes == 3) words |= std::size_t{octet(bytes[at + 2])} << 8 | std::size_t{octet(bytes[at + 3])} << 16;
      SubBlock sub{.id = id & kIdFunction, .at = at, .data = at + 1 + sizeBytes, .length = 2 * words};
      if (sub.data + sub.length > bytes.size()) return refuseBlock(b, "has a sub-block that runs past its end");
      if ((id & kIdOddSize) && sub.length > 0) --sub.length;
      at = sub.data + 2 * words;
      if (b.checksum) return refuseBlock(b, "has sub-blocks after its checksum");
      switch (sub.id) {
        case kIdWvBitstream: b.wvBitstream = true; break;
        case kIdWvcBitstream: b.wvcBitstream = true; break;
        case kIdChannelInfo: b.channelInfo = sub; break;
        case kIdRiffHeader:
        case kIdAltHeader: b.wrapper = sub; break;
        case kIdSampleRate:
          if (sub.length != 3 && sub.length != 4)
            return refuseBlock(b, "has a rate sub-block of " + counted(sub.length, "byte"));
          b.rate = sub;
          break;
        case kIdBlockChecksum:
          if (sub.length != 2 && sub.length != 4)
            return refuseBlock(b, "has a checksum of " + counted(sub.length, "byte"));
          b.checksum = sub;
          break;
        default: break;
      }
    }
    if ((b.flags & kChecksumFlag) && !b.checksum) return refuseBlock(b, "says it ends with a checksum, and does not");
    if (b.checksum && blockChecksum(std::span(b.bytes).first(b.checksum->at), b.checksum->length) != storedChecksum(b))
      return refuseBlock(b, "does not match its checksum: the file is damaged");
    return true;
  }

  // The block's own rate; nullopt for a correction file's block that takes the main file's.
  std::optional<std::uint32_t> rateOf(const Block& b) const {
    if (b.rateCode() != kOwnRate) return kCodedRates[b.rateCode()];
    if (b.rate) return b.ownRate();
    return std::nullopt;
  }

  bool planBlock(Block& b) {
    const std::vector<std::byte> was = b.bytes;
    if (b.wrapper && !planWrapper(b)) return false;
    if (b.samples != 0 && !planRate(b)) return false;
    if (b.checksum) writeChecksum(b);
    const std::size_t before = plan_.patches.size();
    addDifferences(plan_.patches, b.offset, was, b.bytes);
    if (b.checksum && plan_.patches.size() != before) ++checksums_;
    return true;
  }

  bool planRate(Block& b) {
    if (b.flags & kDsdFlag)
      return refuse(PlanFailure::Unsupported, "it holds DSD audio, whose rate its blocks give in another way");
    if (b.rateCode() == kOwnRate && !b.rate && !b.corrects())
      return refuseBlock(b, "says it holds a rate of its own, and holds none");
    const std::optional<std::uint32_t> rate = rateOf(b);
    if (audioBlocks_++ == 0 && !firstAudio(b, rate)) return false;
    if (rate != oldRate_)
      return refuseBlock(b, "gives " + hertz(rate.value_or(0)) + " where its first block gives " +
                                hertz(oldRate_.value_or(0)));
    hybrid_ = hybrid_ || (b.flags & kHybridFlag);
    corrects_ = b.corrects();

    // A block that holds its own rate, or takes its main file's, keeps code 15:
    // a file's blocks and its correction file's must give the same code.
    const auto coded = std::find(kCodedRates.begin(), kCodedRates.end(), newRate_);
    unsigned code = kOwnRate;
    if (b.rateCode() == kOwnRate && (b.rate || b.corrects())) {
      if (!b.rate) {
        ++takenRates_;
        return true;
      }
    } else if (coded != kCodedRates.end()) {
      code = static_cast<unsigned>(coded - kCodedRates.begin());
    } else if (!b.rate) {
      // The nearest common rate that is a change.
      const auto distance = [this](std::uint32_t r) { return r > newRate_ ? r - newRate_ : newRate_ - r; };
      std::uint32_t nearest = 0;
      for (const std::uint32_t r : kCodedRates)
        if (r != oldRate_ && (nearest == 0 || distance(r) < distance(nearest))) nearest = r;
      return refuse(PlanFailure::RateOutOfRange,
                    "its blocks give the rate by the code of one of 15 common rates and hold no rate of their own, "
                    "so " + hertz(newRate_) + " cannot be written without moving every block; " + hertz(nearest) +
                        " can");
    }
    b.flags = (b.flags & ~kRateMask) | code << kRateShift;
    write_u32le(b.bytes.data() + 24, b.flags);
    if (b.rate) {
      // Always three bytes, with the odd-size bit: every reader takes that form.
      b.bytes[b.rate->at] = std::byte((octet(b.bytes[b.rate->at]) & kIdLarge) | kIdOddSize | kIdSampleRate);
      write_u32le(b.bytes.data() + b.rate->data, newRate_);
      ++ownRates_;
    } else {
      ++codedRates_;
    }
    return true;
  }

  bool firstAudio(const Block& b, std::optional<std::uint32_t> rate) {
    oldRate_ = rate;
    // A correction file of a rate the main file holds changes in nothing.
    const std::optional<double> wanted =
        rate ? newRateWithin(plan_, *rate, change_, kLargestRate24) : std::optional<double>(0);
    if (!wanted) return false;
    newRate_ = static_cast<std::uint32_t>(*wanted);
    unsigned channels = (b.flags & kMonoFlag) && !(b.flags & kFalseStereoFlag) ? 1 : 2;
    if (b.channelInfo && b.channelInfo->length >= 1) channels = octet(b.bytes[b.channelInfo->data]);
    const std::uint32_t bits = (b.flags & kFloatFlag) ? 32 : 8 * ((b.flags & kBytesPerSampleMask) + 1);
    summariseSamples(plan_, channels, bits, rate.value_or(0), rate ? newRate_ : change_.exactRate.value_or(0));
    plan_.before.containerSize = plan_.after.containerSize = static_cast<std::int64_t>(input_.size());
    return true;
  }

  // The header of a WAV (or other) file that unpacking writes back: its rates
  // change as that file's own would, so the unpacked file plays at the new rate.
  bool planWrapper(Block& b) {
    const std::span<std::byte> data = std::span(b.bytes).subspan(b.wrapper->data, b.wrapper->length);
    const FormatKind* kind = probeHead(data, false);
    if (kind == nullptr || !changesWrapper(kind->format)) {
      plan_.notes.push_back("the header of another kind of file, kept in its block at " + offsetText(b.offset) +
                            ", stays as it was");
      return true;
    }
    MemorySource source(data);
    ScanInput in(source);
    const RatePlan wrapped = kind->scan(in, 0, change_);
    if (!wrapped.ok())
      return refuse(wrapped.failure, "the " + std::string(kind->name) + " header it keeps for unpacking cannot "
                                     "change: " + wrapped.reason);
    applyPatches(data, 0, wrapped.patches);
    plan_.notes.push_back("the " + std::string(kind->name) + " header it keeps for unpacking, in its block at " +
                          offsetText(b.offset) + ": " + hertz(wrapped.before.sampleRate) + " -> " +
                          hertz(wrapped.after.sampleRate));
    return true;
  }

  void addNotes() {
    auto& notes = plan_.notes;
    if (start_ != 0)
      notes.insert(notes.begin(),
                   "an ID3v2 tag of " + std::to_string(start_) + " bytes before the blocks stays as it is");
    if (oldRate_ == newRate_) return;
    if (codedRates_)
      notes.push_back(counted(codedRates_, "block") + ": " + hertz(newRate_) + " by the code of a common rate");
    if (ownRates_) notes.push_back(counted(ownRates_, "block") + ": a rate sub-block of " + hertz(newRate_));
    if (checksums_) notes.push_back("the checksums of " + counted(checksums_, "block") + " recomputed");
    if (takenRates_)
      notes.push_back("it is the correction file (.wvc) of a WavPack file that holds the rate: it needs no change, "
                      "only the name of that file's copy");
    else if (corrects_)
      notes.push_back("it is a correction file (.wvc): the WavPack file (.wv) it corrects must change to " +
                      hertz(newRate_) + " too, and the two keep one name");
    else if (hybrid_)
      notes.push_back("it is lossy (hybrid): a correction file (.wvc) that goes with it keeps " + hertz(*oldRate_) +
                      " and its old name; change it to " + hertz(newRate_) + " too and give it the copy's name");
  }

  ScanInput& input_;
  const RateChange& change_;
  const std::uint64_t start_;
  RatePlan plan_;
  std::optional<std::uint32_t> oldRate_;
  std::uint32_t newRate_ = 0;
  std::uint64_t audioBlocks_ = 0;
  std::uint64_t codedRates_ = 0;
  std::uint64_t ownRates_ = 0;
  std::uint64_t takenRates_ = 0;  // correction blocks that take the main file's rate
  std::uint64_t checksums_ = 0;
  bool hybrid_ = false;
  bool corrects_ = false;
};

}  // namespace

bool isWavPack(std::span<const std::byte> head) { return hasId(head, 0, "wvpk"); }

RatePlan planWavPack(ScanInput& input, std::uint64_t start, const RateChange& change) {
  return WavPackPlanner(input, start, change).run();
}

}  // namespace vellora
