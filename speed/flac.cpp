#include "speed/flac.h"

#include "shellfiles/numbers.h"
#include "speed/byte_search.h"
#include "speed/bytes.h"
#include "speed/flac_crc.h"
#include "speed/plan_support.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellora {
namespace {

using Byte = std::uint8_t;

constexpr std::uint32_t kMaxStreamRate = (1U << 20) - 1;  // STREAMINFO's 20 bits
// The frames are walked through a window of this size, read into straight from the file.
constexpr std::size_t kWindowBytes = std::size_t{256} << 10;
// Sync and codes 4, coded number up to 7, block size 2, rate 2, CRC-8 1.
constexpr std::size_t kMaxHeaderBytes = 16;
constexpr std::size_t kFooterBytes = 2;

std::string hertz(double rate) { return formatNumber(rate) + " Hz"; }

// ---- Frame headers

// How a header gives its block size or its rate: the 4-bit code and how many
// bytes after the coded number it takes.
struct FieldForm {
  Byte code = 0;
  Byte bytes = 0;
  bool operator==(const FieldForm&) const = default;
};

constexpr Byte kRateFromStreamInfo = 0x0;
constexpr Byte kRateKHz8 = 0xC;
constexpr Byte kRateHz16 = 0xD;
constexpr Byte kRateTensOfHz16 = 0xE;
constexpr Byte kBlockSize8 = 0x6;
constexpr Byte kBlockSize16 = 0x7;
// The rates of codes 0001 to 1011; code 0000 takes STREAMINFO's.
constexpr std::array<std::uint32_t, 12> kCodedRates = {0,     88200, 176400, 192000, 8000,  16000,
                                                       22050, 24000, 32000,  44100,  48000, 96000};

std::uint32_t codedBlockSize(unsigned code) {
  if (code == 1) return 192;
  if (code >= 2 && code <= 5) return 144U << code;
  if (code >= 8) return 1U << code;
  return 0;
}

struct FieldForms {
  std::array<FieldForm, 5> items{};
  std::size_t count = 0;
  void add(FieldForm form) { items[count++] = form; }
  std::span<const FieldForm> all() const { return std::span(items).first(count); }
};

// Every form that can give `rate`, the streamable subset's first, code 0000 last.
FieldForms rateForms(std::uint32_t rate) {
  FieldForms forms;
  const auto coded = std::find(kCodedRates.begin() + 1, kCodedRates.end(), rate);
  if (coded != kCodedRates.end()) forms.add({static_cast<Byte>(coded - kCodedRates.begin()), 0});
  if (rate % 1000 == 0 && rate / 1000 <= 0xFF) forms.add({kRateKHz8, 1});
  if (rate % 10 == 0 && rate / 10 <= 0xFFFF) forms.add({kRateTensOfHz16, 2});
  if (rate <= 0xFFFF) forms.add({kRateHz16, 2});
  forms.add({kRateFromStreamInfo, 0});
  return forms;
}

FieldForms blockSizeForms(std::uint32_t blockSize) {
  FieldForms forms;
  for (unsigned code = 1; code < 16; ++code)
    if (codedBlockSize(code) == blockSize) forms.add({static_cast<Byte>(code), 0});
  if (blockSize <= 0x100) forms.add({kBlockSize8, 1});
  if (blockSize <= 0xFFFF) forms.add({kBlockSize16, 2});
  return forms;
}

struct FrameHeader {
  std::array<Byte, kMaxHeaderBytes> bytes{};
  Byte length = 0;     // with the CRC-8
  Byte numberEnd = 0;  // where the fields after the coded number start
  FieldForm blockSizeForm;
  FieldForm rateForm;
  std::uint64_t number = 0;  // the frame number, or the first sample's in a variable block size stream
  std::uint32_t blockSize = 0;
  std::uint32_t rate = 0;  // 0 where the header takes STREAMINFO's
};

// The header at `p` when its syntax and its CRC-8 hold; `sync` is its second
// byte, which says the stream's blocking strategy.
std::optional<FrameHeader> parseFrameHeader(const Byte* p, std::size_t available, Byte sync, bool sampleNumbers) {
  if (available < 6 || p[0] != 0xFF || p[1] != sync) return std::nullopt;
  const unsigned blockSizeCode = p[2] >> 4, rateCode = p[2] & 0xFU;
  const unsigned channelsCode = p[3] >> 4, bitsCode = (p[3] >> 1) & 7U;
  if (blockSizeCode == 0 || rateCode == 0xF || channelsCode > 0xA || bitsCode == 3 || (p[3] & 1U))
    return std::nullopt;

  FrameHeader h;
  // The coded number, UTF-8 style: the lead byte's leading ones count its bytes.
  const int ones = std::countl_one(p[4]);
  if (ones == 1 || ones > (sampleNumbers ? 7 : 6)) return std::nullopt;
  const std::size_t numberBytes = ones == 0 ? 1 : static_cast<std::size_t>(ones);
  h.blockSizeForm = {static_cast<Byte>(blockSizeCode),
                     static_cast<Byte>(blockSizeCode == kBlockSize8 ? 1 : blockSizeCode == kBlockSize16 ? 2 : 0)};
  h.rateForm = {static_cast<Byte>(rateCode), static_cast<Byte>(rateCode == kRateKHz8 ? 1
                                                               : rateCode >= kRateHz16 ? 2 : 0)};
  const std::size_t length = 4 + numberBytes + h.blockSizeForm.bytes + h.rateForm.bytes + 1;
  if (available < length) return std::nullopt;

  h.number = p[4] & (0x7FU >> ones);
  for (std::size_t i = 5; i < 4 + numberBytes; ++i) {
    if ((p[i] & 0xC0U) != 0x80) return std::nullopt;
    h.number = h.number << 6 | (p[i] & 0x3FU);
  }
  std::size_t at = 4 + numberBytes;
  h.numberEnd = static_cast<Byte>(at);
  if (blockSizeCode == kBlockSize8) {
    h.blockSize = p[at] + 1U;
  } else if (blockSizeCode == kBlockSize16) {
    h.blockSize = read_u16be(p + at) + 1U;
    if (h.blockSize > 0xFFFF) return std::nullopt;  // 65536 cannot be told in STREAMINFO
  } else {
    h.blockSize = codedBlockSize(blockSizeCode);
  }
  at += h.blockSizeForm.bytes;
  if (rateCode == kRateKHz8) h.rate = p[at] * 1000U;
  else if (rateCode == kRateHz16) h.rate = read_u16be(p + at);
  else if (rateCode == kRateTensOfHz16) h.rate = read_u16be(p + at) * 10U;
  else h.rate = kCodedRates[rateCode];
  at += h.rateForm.bytes;
  if (flacCrc8({p, at}) != p[at]) return std::nullopt;
  h.length = static_cast<Byte>(length);
  std::copy_n(p, length, h.bytes.begin());
  return h;
}

struct HeaderForms {
  FieldForm blockSize;
  FieldForm rate;
};

// The forms that give `rate` in exactly the bytes the old header had: the
// streamable subset's before STREAMINFO's rate, the old block size form before
// another; STREAMINFO's alone with `fromStreamInfo`. nullopt when no form of
// the same length can give it.
std::optional<HeaderForms> sameLengthForms(const FrameHeader& old, std::uint32_t rate, bool fromStreamInfo) {
  const unsigned room = old.blockSizeForm.bytes + old.rateForm.bytes;
  const FieldForms rates = rateForms(rate);
  const FieldForms sizes = blockSizeForms(old.blockSize);
  std::optional<HeaderForms> best;
  int bestCost = std::numeric_limits<int>::max();
  for (const FieldForm r : rates.all()) {
    for (const FieldForm b : sizes.all()) {
      if (r.bytes + b.bytes != room || (fromStreamInfo && r.code != kRateFromStreamInfo)) continue;
      const int cost = (r.code == kRateFromStreamInfo ? 2 : 0) + (b == old.blockSizeForm ? 0 : 1);
      if (cost < bestCost) {
        best = HeaderForms{b, r};
        bestCost = cost;
      }
    }
  }
  return best;
}

// The old header with the new forms and rate, and its CRC-8; the same length.
std::array<Byte, kMaxHeaderBytes> encodeHeader(const FrameHeader& old, const HeaderForms& forms,
                                               std::uint32_t rate) {
  std::array<Byte, kMaxHeaderBytes> out = old.bytes;
  out[2] = static_cast<Byte>(forms.blockSize.code << 4 | forms.rate.code);
  std::size_t at = old.numberEnd;
  auto put = [&](std::uint32_t value, Byte bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out[at++] = static_cast<Byte>(value >> shift);
  };
  put(old.blockSize - 1, forms.blockSize.bytes);
  put(forms.rate.code == kRateKHz8 ? rate / 1000 : forms.rate.code == kRateTensOfHz16 ? rate / 10 : rate,
      forms.rate.bytes);
  out[at] = flacCrc8(std::span(out).first(at));
  return out;
}

// The rate nearest `rate` that a field of `bytes` bytes can give, for the user.
std::uint32_t nearestFitting(std::uint32_t rate, Byte bytes) {
  const std::uint32_t step = bytes == 1 ? 1000 : 10;
  const std::uint32_t limit = bytes == 1 ? 255000 : 655350;
  return std::min(limit, std::max(step, (rate + step / 2) / step * step));
}

// "1 frame", "2 frames".
std::string counted(std::uint64_t count, std::string_view noun) {
  return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

// "1 frame header gives", "2 frame headers give".
std::string frameHeaders(std::uint64_t count, std::string_view verb) {
  return counted(count, "frame header") + " " + std::string(verb) + (count == 1 ? "s" : "");
}

std::string describeRateForm(std::size_t code) {
  switch (code) {
    case kRateFromStreamInfo: return "the rate from STREAMINFO";
    case kRateKHz8: return "the rate in kHz in 8 bits";
    case kRateHz16: return "the rate in Hz in 16 bits";
    case kRateTensOfHz16: return "the rate in tens of Hz in 16 bits";
    default: return "the rate by the code of a common rate";
  }
}

// ---- Metadata

struct StreamInfo {
  std::uint64_t rateOffset = 0;  // of STREAMINFO's bytes 10 to 12, which hold the rate's 20 bits
  std::array<Byte, 3> rateBytes{};
  std::uint32_t rate = 0;
  unsigned channels = 0;
  unsigned bitsPerSample = 0;
  std::uint32_t minBlockSize = 0;
  std::uint32_t maxBlockSize = 0;
  std::uint64_t totalSamples = 0;
};

class FlacPlanner {
 public:
  FlacPlanner(ScanInput& input, std::uint64_t start, const RateChange& change, bool fromStreamInfo = false)
      : input_(input),
        change_(change),
        stream_(input.file() == nullptr),
        handsOver_(input.handsOver()),
        size_(input.size()),
        id3Bytes_(start),
        fromStreamInfo_(fromStreamInfo) {
    plan_.format = AudioFormat::Flac;
  }

  RatePlan run() {
    std::uint64_t firstFrame = 0;
    if (readMetadata(firstFrame) && planStreamInfo() && walkFrames(firstFrame)) addNotes();
    if (!plan_.ok()) {
      plan_.patches = {};
      plan_.notes.clear();
    }
    return std::move(plan_);
  }

  // Whether some rewritten frames give the new rate and others take it from
  // STREAMINFO: ffmpeg's parser takes such a change for a false frame start.
  bool mixesRateForms() const {
    const std::uint64_t fromStreamInfo = framesByRateCode_[kRateFromStreamInfo];
    const std::uint64_t all = std::accumulate(framesByRateCode_.begin(), framesByRateCode_.end(), std::uint64_t{0});
    return fromStreamInfo != 0 && fromStreamInfo != all;
  }

 private:
  bool fail(PlanFailure failure, std::string reason) {
    plan_.failure = failure;
    plan_.reason = std::move(reason);
    return false;
  }
  bool failRead(IoStatus status) {
    plan_.readStatus = status;
    return fail(PlanFailure::ReadFailed, status.reason());
  }
  // The input's own failure: a read error, or the scan cancelled.
  bool failInput() {
    if (input_.cancelled()) return fail(PlanFailure::Cancelled, "cancelled");
    return failRead(input_.status());
  }

  // Reads exactly `into.size()` bytes at `offset`; false when the file ends
  // first or a read fails, which plan_ then records.
  bool readSmall(std::uint64_t offset, std::span<Byte> into) {
    const std::span<const std::byte> got = input_.read(offset, into.size());
    if (input_.failed()) return failInput();
    if (got.size() < into.size()) return false;
    std::memcpy(into.data(), got.data(), into.size());
    return true;
  }

  bool readMetadata(std::uint64_t& firstFrame) {
    std::uint64_t at = id3Bytes_;
    std::array<Byte, 4> magic{};
    if (!plan_.ok() || !readSmall(at, magic) || !hasId(std::as_bytes(std::span(magic)), 0, "fLaC"))
      return plan_.ok() && fail(PlanFailure::NotRecognised, "it does not begin with \"fLaC\"");
    at += 4;

    for (bool first = true;; first = false) {
      std::array<Byte, 4> block{};
      if (!readSmall(at, block))
        return plan_.ok() && fail(PlanFailure::Malformed, "its metadata runs past the end of the file");
      const unsigned type = block[0] & 0x7FU;
      const std::uint32_t length = read_u24be(block.data() + 1);
      if (first && (type != 0 || length < 34))
        return fail(PlanFailure::Malformed, "its first metadata block is not a STREAMINFO block");
      if (type == 0x7F) return fail(PlanFailure::Malformed, "a metadata block has the forbidden type 127");
      if (at + 4 + length > size_)
        return fail(PlanFailure::Malformed, "a metadata block runs past the end of the file");
      if (first) {
        std::array<Byte, 34> body{};
        if (!readSmall(at + 4, body))
          return plan_.ok() && fail(PlanFailure::Malformed, "a metadata block runs past the end of the file");
        info_.rateOffset = at + 4 + 10;
        std::copy_n(body.begin() + 10, 3, info_.rateBytes.begin());
        info_.rate = read_u24be(body.data() + 10) >> 4;
        info_.channels = ((body[12] >> 1) & 7U) + 1;
        info_.bitsPerSample = ((body[12] & 1U) << 4 | body[13] >> 4) + 1;
        info_.minBlockSize = read_u16be(body.data());
        info_.maxBlockSize = read_u16be(body.data() + 2);
        info_.totalSamples = std::uint64_t{body[13] & 0xFU} << 32 | read_u32be(body.data() + 14);
      }
      at += 4 + length;
      if (block[0] & 0x80U) break;
    }
    firstFrame = at;
    return true;
  }

  AudioSummary summary(double rate) const {
    AudioSummary s;
    s.containerSize = stream_ ? 0 : static_cast<std::int64_t>(size_);
    s.channels = info_.channels;
    s.bitsPerSample = info_.bitsPerSample;
    s.blockAlign = std::int64_t{info_.channels} * ((info_.bitsPerSample + 7) / 8);
    s.sampleRate = rate;
    s.byteRate = s.blockAlign * static_cast<std::int64_t>(rate);
    return s;
  }

  bool planStreamInfo() {
    plan_.before = summary(info_.rate);
    if (info_.rate == 0)
      return fail(PlanFailure::Unsupported, "its sample rate is 0 Hz, which FLAC uses for data that is not audio");
    const double wanted = change_.newRate(info_.rate);
    if (!(wanted >= 1 && wanted <= kMaxStreamRate))
      return fail(PlanFailure::RateOutOfRange, "the new rate, " + hertz(wanted) +
                                                   ", is outside what FLAC can store (1 Hz to " +
                                                   hertz(kMaxStreamRate) + ")");
    newRate_ = static_cast<std::uint32_t>(wanted);
    plan_.after = summary(newRate_);
    if (newRate_ == info_.rate) return true;

    Patch patch;
    patch.offset = info_.rateOffset;
    patch.size = 3;
    patch.bytes[0] = std::byte(newRate_ >> 12);
    patch.bytes[1] = std::byte((newRate_ >> 4) & 0xFFU);
    patch.bytes[2] = std::byte((newRate_ & 0xFU) << 4 | (info_.rateBytes[2] & 0xFU));
    plan_.patches.push_back(patch);
    return true;
  }

  // ---- The frame walk, through a window of a few MiB over the file.

  std::uint64_t windowEnd() const { return windowStart_ + windowLength_; }
  const Byte* at(std::uint64_t offset) const { return window_.data() + (offset - windowStart_); }

  // Moves the window to start at `from`, keeping what it holds from there on.
  bool fill(std::uint64_t from) {
    std::uint64_t zeros = from;
    while (zeros > windowStart_ && *at(zeros - 1) == 0) --zeros;
    zerosFrom_ = zeros == windowStart_ ? std::min(zerosFrom_, zeros) : zeros;
    if (stream_) return viewStream(from);
    const std::span<std::byte> memory = input_.windowMemory(windowCapacity_);
    const std::span<Byte> next(reinterpret_cast<Byte*>(memory.data()), memory.size());
    std::size_t kept = 0;
    if (from < windowEnd()) {
      kept = static_cast<std::size_t>(windowEnd() - from);
      std::memmove(next.data(), at(from), kept);
    }
    window_ = next;
    windowStart_ = from;
    windowLength_ = kept;
    while (windowLength_ < window_.size() && windowEnd() < size_) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(window_.size() - windowLength_, size_ - windowEnd()));
      const std::size_t got =
          input_.readInto(windowEnd(), std::as_writable_bytes(next.subspan(windowLength_, want)));
      if (input_.failed()) return failInput();
      if (got == 0) return failRead(IoStatus::readFailure("the file became shorter while it was read"));
      windowLength_ += got;
    }
    return true;
  }

  // A stream's window is a view of what the stream holds, not a copy: what
  // the scan passes is then written out, patched, from where it was read.
  bool viewStream(std::uint64_t from) {
    window_ = asBytes(input_.read(from, windowCapacity_));
    windowStart_ = from;
    windowLength_ = window_.size();
    if (input_.failed()) return failInput();
    if (windowLength_ == windowCapacity_) return true;
    if (!streamEnded()) return false;
    // Its reads past the end may have moved what the stream holds.
    window_ = asBytes(input_.read(from, windowLength_));
    return !input_.failed() || failInput();
  }

  static std::span<const Byte> asBytes(std::span<const std::byte> bytes) {
    return {reinterpret_cast<const Byte*>(bytes.data()), bytes.size()};
  }

  // Runs the frame's CRC-16 on to `to`.
  void advanceCrc(std::uint64_t to) {
    crc_ = flacCrc16(crc_, {at(crcPos_), static_cast<std::size_t>(to - crcPos_)});
    crcPos_ = to;
  }

  std::uint64_t minimumEnd() const { return frameStart_ + frame_.length + kFooterBytes; }

  // Where a frame whose CRC-16 checks at `to` ends: where a run of zeros
  // before `to` begins. A CRC-16 that checks stays 0 over zeros and one that
  // does not never becomes 0, so the CRC cannot tell the frame's end inside
  // the run; a footer may end in one or two zeros, so a shorter run is taken
  // for the footer's and a longer one for padding.
  std::uint64_t zerosBefore(std::uint64_t to) const {
    const std::uint64_t floor = std::max(minimumEnd(), windowStart_);
    std::uint64_t from = to;
    while (from > floor && *at(from - 1) == 0) --from;
    if (from == windowStart_ && zerosFrom_ < from) from = std::max(zerosFrom_, minimumEnd());
    return to - from > kFooterBytes ? from : to;
  }

  std::uint64_t expectedNumber() const { return frame_.number + (bySample_ ? frame_.blockSize : 1); }

  // The next frame's number in sequence. A fixed block size stream whose
  // second frame gives the first one's block size numbers by sample.
  bool numberFollows(const FrameHeader& next) {
    if (next.number == expectedNumber()) return true;
    if (bySample_ || frameStart_ != firstFrame_ || next.number != frame_.number + frame_.blockSize) return false;
    bySample_ = true;
    return true;
  }

  // Where the tags that taggers append begin: an APEv2 tag, an ID3v1 tag
  // after it, or both; the frames end there.
  bool findTail(std::uint64_t firstFrame) {
    end_ = size_;
    std::array<Byte, 32> tag{};
    if (end_ >= firstFrame + 128 && readSmall(end_ - 128, std::span(tag).first(3)) &&
        hasId(std::as_bytes(std::span(tag)), 0, "TAG"))
      end_ -= 128;
    if (end_ >= firstFrame + tag.size() && readSmall(end_ - tag.size(), tag) &&
        hasId(std::as_bytes(std::span(tag)), 0, "APETAGEX")) {
      // The footer's size counts the items and the footer; a header adds 32 bytes.
      const std::uint64_t bytes = read_u32le(tag.data() + 12) + ((read_u32le(tag.data() + 20) >> 31) ? 32U : 0U);
      if (bytes >= tag.size() && bytes <= end_ - firstFrame) end_ -= bytes;
    }
    return plan_.ok();
  }

  // A stream's length is known once it ends: then where its tags begin, and
  // the CRC-16 of the frame that ends there, which may have run on into them.
  bool streamEnded() {
    size_ = input_.size();
    if (size_ < firstFrame_) return fail(PlanFailure::Malformed, "a metadata block runs past the end of the file");
    if (!findTail(firstFrame_) || crcPos_ <= end_) return plan_.ok();
    crc_ = 0;
    for (crcPos_ = frameStart_; crcPos_ < end_;) {
      const std::span<const std::byte> got =
          input_.read(crcPos_, static_cast<std::size_t>(std::min<std::uint64_t>(end_ - crcPos_, kWindowBytes)));
      if (got.empty()) return input_.failed() ? failInput() : plan_.ok();
      crc_ = flacCrc16(crc_, {reinterpret_cast<const Byte*>(got.data()), got.size()});
      crcPos_ += got.size();
    }
    return true;
  }

  bool walkFrames(std::uint64_t firstFrame) {
    if (firstFrame == size_) return true;  // a stream of no samples
    firstFrame_ = firstFrame;
    end_ = size_;
    if (!stream_ && !findTail(firstFrame)) return false;

    windowCapacity_ =
        static_cast<std::size_t>(std::min<std::uint64_t>(kWindowBytes, size_ - firstFrame)) + kMaxHeaderBytes;
    windowStart_ = firstFrame;
    if (!fill(firstFrame)) return false;
    if (windowLength_ == 0 && size_ == firstFrame) return true;
    const Byte sync = windowLength_ > 1 ? *at(firstFrame + 1) : 0;
    variable_ = sync & 1U;
    // libFLAC reads sample numbers where STREAMINFO's block sizes differ, as
    // old encoders of variable block sizes wrote them before the blocking bit.
    bySample_ = variable_ || info_.minBlockSize != info_.maxBlockSize;
    const std::optional<FrameHeader> first = parseFrameHeader(at(firstFrame), windowLength_, sync, bySample_);
    if ((sync & 0xFEU) != 0xF8 || !first)
      return fail(PlanFailure::Malformed, "no audio frame begins where its metadata ends, at " + offsetText(firstFrame));
    zerosFrom_ = firstFrame;
    if (!handsOver_) reserveFor(firstFrame);
    if (!beginFrame(firstFrame, *first)) return false;

    for (;;) {
      const bool last = windowEnd() >= end_;
      // Away from the end, a candidate needs its whole header in the window.
      const std::uint64_t limit = last ? end_ : windowEnd() - (kMaxHeaderBytes - 1);
      while (searchPos_ < limit) {
        const std::size_t left = static_cast<std::size_t>(limit - searchPos_);
        const std::size_t hit = findBytePair({at(searchPos_), left}, 0xFF, sync);
        if (hit == left) {
          searchPos_ = limit;
          break;
        }
        const std::uint64_t candidate = searchPos_ + hit;
        searchPos_ = candidate + 1;
        const std::optional<FrameHeader> next =
            parseFrameHeader(at(candidate), static_cast<std::size_t>(windowEnd() - candidate), sync, bySample_);
        if (!next) continue;
        advanceCrc(candidate);
        if (crc_ != 0) continue;  // a sync pattern inside the audio, not a frame
        if (!numberFollows(*next)) return refuseNumber(candidate, *next);
        if (!endFrame(zerosBefore(candidate)) || !beginFrame(candidate, *next)) return false;
        handOver(candidate);
      }
      if (last) break;
      const std::uint64_t scanned = std::min(searchPos_, windowEnd());
      advanceCrc(scanned);
      // Keep the two bytes before: the CRC-16 of a frame that ends where the scan goes on.
      if (!fill(std::max(scanned - kFooterBytes, windowStart_))) return false;
    }

    // The last frame ends where the tags begin, or with the file, or where zeros before them begin.
    if (crcPos_ < end_) advanceCrc(end_);
    if (end_ >= minimumEnd() && crc_ == 0) return endFrame(zerosBefore(end_));
    return fail(PlanFailure::Malformed, "its frame at " + offsetText(frameStart_) +
                                            " does not end with a valid CRC-16: the file is cut short or damaged");
  }

  // A stream writes out all before `offset` with its patches, and a file hands
  // them to its copy; the plan then no longer holds them, so memory stays
  // flat however many frames there are.
  void handOver(std::uint64_t offset) {
    if (!handsOver_) return;
    input_.pass(offset, plan_.patches);
    for (const Patch& patch : plan_.patches) {
      plan_.handedOver.places += 1;
      plan_.handedOver.bytes += patch.size;
    }
    plan_.patches.clear();
    input_.patchesTaken();
  }

  void reserveFor(std::uint64_t firstFrame) {
    // Two patches a frame, frames told by STREAMINFO, but never more than one per 64 bytes of audio.
    if (info_.totalSamples == 0 || info_.minBlockSize == 0) return;
    const std::uint64_t frames = std::min(info_.totalSamples / info_.minBlockSize + 1, (size_ - firstFrame) / 64 + 1);
    plan_.patches.reserve(plan_.patches.size() + static_cast<std::size_t>(2 * frames));
  }

  bool beginFrame(std::uint64_t start, const FrameHeader& header) {
    frame_ = header;
    frameStart_ = start;
    crc_ = 0;
    crcPos_ = start;
    searchPos_ = start + header.length + kFooterBytes;
    if (header.rate != 0 && header.rate != info_.rate)
      return fail(PlanFailure::Malformed, "its frame at " + offsetText(start) + " gives " + hertz(header.rate) +
                                              " where STREAMINFO gives " + hertz(info_.rate));
    maxBlockSize_ = std::max(maxBlockSize_, header.blockSize);
    newHeader_.reset();
    if (newRate_ == info_.rate) return true;
    if (header.rate == 0) {
      ++framesFromStreamInfo_;
      return true;
    }
    const std::optional<HeaderForms> forms = sameLengthForms(header, newRate_, fromStreamInfo_);
    if (!forms) return refuseHeaderLength(start, header);
    // A scan that hands over cannot go back to give every frame one form: the first frame's holds for all.
    if (handsOver_ && start == firstFrame_ && forms->rate.code == kRateFromStreamInfo) fromStreamInfo_ = true;
    if (handsOver_ && forms->rate.code == kRateFromStreamInfo && !fromStreamInfo_)
      return fail(PlanFailure::RateOutOfRange,
                  "its frame at " + offsetText(start) + " can give " + hertz(newRate_) +
                      " only by taking it from STREAMINFO, unlike the frames before it, and frames that change "
                      "their form are misread by decoders such as ffmpeg's; converted as a file, it is told a rate "
                      "that every frame can give");
    newHeader_ = encodeHeader(header, *forms, newRate_);
    ++framesByRateCode_[forms->rate.code];
    if (forms->blockSize != header.blockSizeForm) ++framesBlockSizeRecoded_;
    return true;
  }

  // Frames in sequence end where the next begins; one out of sequence would
  // otherwise pass for the end of its predecessor.
  bool refuseNumber(std::uint64_t start, const FrameHeader& header) {
    const std::string unit = bySample_ ? "starts at sample " : "is numbered ";
    return fail(PlanFailure::Malformed, "its frame at " + offsetText(start) + " " + unit +
                                            std::to_string(header.number) + " where " +
                                            std::to_string(expectedNumber()) +
                                            " should follow: a frame is missing or out of order");
  }

  bool refuseHeaderLength(std::uint64_t start, const FrameHeader& header) {
    const Byte bytes = header.rateForm.bytes;
    if (fromStreamInfo_)
      return fail(PlanFailure::RateOutOfRange,
                  "some of its frames can give " + hertz(newRate_) + " only by taking it from STREAMINFO, and its frame at " +
                      offsetText(start) + " cannot take it so without moving every frame; frames that change "
                      "their form are misread by decoders such as ffmpeg's");
    const std::string reason = "its frame at " + offsetText(start) + " gives the rate in " +
                         (bytes == 1 ? "one byte, in kHz," : "two bytes, in Hz or in tens of Hz,") + " and " +
                         hertz(newRate_) + " cannot be written there without moving every frame";
    return fail(PlanFailure::RateOutOfRange, reason + "; " + hertz(nearestFitting(newRate_, bytes)) + " can");
  }

  std::uint16_t storedCrc(std::uint64_t end) {
    std::array<Byte, kFooterBytes> footer{};
    if (end - kFooterBytes >= windowStart_) {
      std::copy_n(at(end - kFooterBytes), kFooterBytes, footer.begin());
    } else {
      readSmall(end - kFooterBytes, footer);
    }
    return read_u16be(footer.data());
  }

  // The frame that began at frameStart_ ends at `end`: its new header and
  // CRC-16, which follows from the old one and the header's change alone.
  bool endFrame(std::uint64_t end) {
    if (!newHeader_ || *newHeader_ == frame_.bytes) return plan_.ok();
    const std::uint16_t stored = storedCrc(end);
    if (!plan_.ok()) return false;
    std::array<Byte, kMaxHeaderBytes> change{};
    for (std::size_t i = 0; i < frame_.length; ++i) change[i] = frame_.bytes[i] ^ (*newHeader_)[i];
    const std::uint64_t after = end - kFooterBytes - frameStart_ - frame_.length;
    const std::uint16_t crc = stored ^ flacCrc16AppendZeros(flacCrc16(0, std::span(change).first(frame_.length)), after);

    Patch header;
    header.offset = frameStart_ + 2;  // the sync code never changes
    header.size = static_cast<std::uint8_t>(frame_.length - 2);
    for (std::size_t i = 2; i < frame_.length; ++i) header.bytes[i - 2] = std::byte((*newHeader_)[i]);
    Patch footer;
    footer.offset = end - kFooterBytes;
    footer.size = kFooterBytes;
    footer.bytes[0] = std::byte(crc >> 8);
    footer.bytes[1] = std::byte(crc & 0xFFU);
    plan_.patches.push_back(header);
    plan_.patches.push_back(footer);
    return true;
  }

  void addNotes() {
    auto& notes = plan_.notes;
    if (id3Bytes_)
      notes.push_back("an ID3v2 tag of " + std::to_string(id3Bytes_) + " bytes before the stream stays as it is");
    if (newRate_ == info_.rate) return;
    notes.push_back("STREAMINFO: " + hertz(info_.rate) + " -> " + hertz(newRate_));
    std::uint64_t rewritten = 0;
    for (std::size_t code = 0; code < framesByRateCode_.size(); ++code) {
      const std::uint64_t count = framesByRateCode_[code];
      if (!count) continue;
      rewritten += count;
      std::string note = frameHeaders(count, code == kRateFromStreamInfo ? "now take" : "now give") + " " +
                         describeRateForm(code);
      if (code == kRateFromStreamInfo)
        note += ", as " + hertz(newRate_) + " has no code of their length: the stream leaves FLAC's streamable subset";
      notes.push_back(std::move(note));
    }
    if (framesBlockSizeRecoded_)
      notes.push_back(frameHeaders(framesBlockSizeRecoded_, "give") +
                      " the block size in another form, to keep their length");
    if (rewritten) notes.push_back("the CRC-8 and CRC-16 of " + counted(rewritten, "frame") + " recomputed");
    if (framesFromStreamInfo_)
      notes.push_back(frameHeaders(framesFromStreamInfo_, "take") + " the rate from STREAMINFO and stay as they were");
    if (newRate_ <= 48000 && info_.rate > 48000 && maxBlockSize_ > 4608)
      notes.push_back("blocks of " + std::to_string(maxBlockSize_) +
                      " samples are more than FLAC's streamable subset allows at 48000 Hz or less");
  }

  ScanInput& input_;
  const RateChange& change_;
  const bool stream_;     // the input is a stream, whose length is known only at its end
  const bool handsOver_;  // what the walk has passed is written out or handed over as it goes
  std::uint64_t size_;    // a stream's is unknown (the largest number) until it ends
  RatePlan plan_;
  StreamInfo info_;
  std::uint64_t id3Bytes_ = 0;  // the ID3v2 tag's before "fLaC"
  std::uint32_t newRate_ = 0;
  bool fromStreamInfo_;  // every rewritten frame takes the new rate from STREAMINFO

  std::span<const Byte> window_;  // the scan input's memory
  std::size_t windowCapacity_ = 0;
  std::uint64_t windowStart_ = 0;
  std::size_t windowLength_ = 0;

  bool variable_ = false;
  FrameHeader frame_;
  std::uint64_t frameStart_ = 0;
  std::optional<std::array<Byte, kMaxHeaderBytes>> newHeader_;
  std::uint64_t searchPos_ = 0;
  std::uint16_t crc_ = 0;  // of the frame from frameStart_ to crcPos_
  std::uint64_t crcPos_ = 0;
  std::uint64_t end_ = 0;        // where the frames end: the file's end, or its tags'
  std::uint64_t firstFrame_ = 0;
  std::uint64_t zerosFrom_ = 0;  // where the run of zeros that ends at windowStart_ begins
  bool bySample_ = false;        // frames are numbered by their first sample

  std::uint64_t framesFromStreamInfo_ = 0;
  std::uint64_t framesBlockSizeRecoded_ = 0;
  std::array<std::uint64_t, 16> framesByRateCode_{};
  std::uint32_t maxBlockSize_ = 0;
};

}  // namespace

bool looksLikeFlacFrames(std::span<const std::byte> head) {
  const auto* p = reinterpret_cast<const Byte*>(head.data());
  return head.size() > 1 && (p[1] & 0xFEU) == 0xF8 && parseFrameHeader(p, head.size(), p[1], true).has_value();
}

RatePlan planFlac(ScanInput& input, std::uint64_t start, const RateChange& change) {
  FlacPlanner best(input, start, change);
  RatePlan plan = best.run();
  if (!plan.ok() || !best.mixesRateForms()) return plan;
  // One form for every frame, or ffmpeg would decode the copy unlike the input.
  RatePlan uniform = FlacPlanner(input, start, change, true).run();
  if (uniform.failure != PlanFailure::RateOutOfRange) return uniform;
  // A few rates near the new one that every frame can give in one form: the
  // nearest that the frames' own fields hold, then the common rates.
  const auto oldRate = static_cast<std::uint32_t>(plan.before.sampleRate);
  const auto newRate = static_cast<std::uint32_t>(change.newRate(oldRate));
  std::vector<std::uint32_t> candidates(kCodedRates.begin() + 1, kCodedRates.end());
  const auto distance = [newRate](std::uint32_t r) { return r > newRate ? r - newRate : newRate - r; };
  std::sort(candidates.begin(), candidates.end(), [&](auto a, auto b) { return distance(a) < distance(b); });
  candidates.insert(candidates.begin(), {nearestFitting(newRate, 2), nearestFitting(newRate, 1)});
  int trials = 0;
  for (const std::uint32_t candidate : candidates) {
    if (candidate == newRate || candidate == oldRate) continue;
    if (++trials > 4) break;
    const RateChange exactly{1.0, candidate};
    FlacPlanner trial(input, start, exactly);
    if (trial.run().ok() && !trial.mixesRateForms()) {
      uniform.reason += "; " + hertz(candidate) + " can";
      break;
    }
  }
  return uniform;
}

}  // namespace vellora
