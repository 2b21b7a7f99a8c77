#include "speed/mp4.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "shellfiles/numbers.h"
#include "speed/alac.h"
#include "speed/bytes.h"
#include "speed/plan_support.h"

namespace vellora {
namespace {

// The most of a box's body that is read at once: the index boxes Vellora
// reads (headers, edit lists, sample descriptions) are far smaller.
constexpr std::size_t kLargestBodyRead = std::size_t{1} << 20;
constexpr std::uint64_t kUnknown32 = 0xFFFFFFFF;
constexpr std::uint64_t kUnknown64 = std::numeric_limits<std::uint64_t>::max();

struct Box {
  std::uint64_t offset = 0;
  std::uint64_t body = 0;
  std::uint64_t end = 0;
  std::array<std::byte, 4> type{};
  bool is(std::string_view t) const { return hasId(type, 0, t); }
  std::string name() const { return fourccText(type.data()); }
};

// A field of the copy, 32 or 64 bits wide, big-endian.
struct Field {
  std::uint64_t offset = 0;
  bool wide = false;
  std::uint64_t value = 0;
};

// Where an AudioSampleEntry keeps its rate, by its QuickTime version: 16.16
// fixed point in versions 0 and 1, a 64-bit float in version 2; and where its
// child boxes begin.
struct EntryLayout {
  std::size_t rateAt;
  std::size_t children;
};
constexpr std::array<EntryLayout, 3> kEntryLayouts = {{{24, 28}, {24, 44}, {32, 64}}};

class Mp4Planner {
 public:
  Mp4Planner(ScanInput& input, const RateChange& change) : input_(input), change_(change) {
    plan_.format = AudioFormat::Mp4;
  }

  RatePlan run(std::uint64_t start) {
    const std::uint64_t size = input_.size();
    plan_.before.containerSize = static_cast<std::int64_t>(size);
    bool movie = false;
    for (std::uint64_t at = start; at < size;) {
      const std::optional<Box> top = box(at, size);
      if (!top) return plan_;
      if (top->is("moov")) {
        if (movie) return refuse(PlanFailure::Malformed, "it has two movie boxes (moov)");
        movie = true;
        if (!walkMovie(*top)) return plan_;
      } else if (top->is("sidx") && !readSegmentIndex(*top)) {
        return plan_;
      }
      at = top->end;
    }
    if (!movie) return refuse(PlanFailure::Malformed, "it has no movie box (moov)");
    if (tracks_ != 1)
      return refuse(PlanFailure::Unsupported, "it holds " + std::to_string(tracks_) +
                                                  " tracks, and only an MP4 file of one Apple Lossless track "
                                                  "changes speed without re-encoding");
    if (!entry_) return refuse(PlanFailure::Malformed, "its track has no sample description");
    if (!planChange()) return plan_;
    std::sort(plan_.patches.begin(), plan_.patches.end(),
              [](const Patch& a, const Patch& b) { return a.offset < b.offset; });
    return std::move(plan_);
  }

 private:
  RatePlan refuse(PlanFailure failure, std::string reason) {
    fail(plan_, failure, std::move(reason));
    plan_.patches.clear();
    return std::move(plan_);
  }
  bool failed(PlanFailure failure, std::string reason) {
    fail(plan_, failure, std::move(reason));
    return false;
  }

  // The box at `at`, which must end by `limit`.
  std::optional<Box> box(std::uint64_t at, std::uint64_t limit) {
    const std::span<const std::byte> head = input_.read(at, 16);
    if (head.size() < 8) {
      failShortRead(plan_, input_, "the file ends inside the box header at " + offsetText(at));
      return std::nullopt;
    }
    Box b;
    b.offset = at;
    std::copy_n(head.data() + 4, 4, b.type.begin());
    std::uint64_t size = read_u32be(head.data());
    b.body = at + 8;
    if (size == 1) {
      if (head.size() < 16) {
        failShortRead(plan_, input_, "the file ends inside the box header at " + offsetText(at));
        return std::nullopt;
      }
      size = read_u64be(head.data() + 8);
      b.body = at + 16;
    } else if (size == 0) {
      size = limit - at;  // the last box runs to the end
    }
    if (size < b.body - at || size > limit - at) {
      failed(PlanFailure::Malformed, "its '" + b.name() + "' box at " + offsetText(at) + " has a size of " +
                                         std::to_string(size) + ", which does not fit where it stands");
      return std::nullopt;
    }
    b.end = at + size;
    return b;
  }

  // Calls `each` with every child box of `parent` from `first` on.
  template <class Each>
  bool children(const Box& parent, std::uint64_t first, Each&& each) {
    for (std::uint64_t at = first; at + 8 <= parent.end;) {
      const std::optional<Box> child = box(at, parent.end);
      if (!child || !each(*child)) return false;
      at = child->end;
    }
    return true;
  }

  // The first `least` bytes of a box's body at least, copied: later reads may move what a read returned.
  std::optional<std::vector<std::byte>> body(const Box& b, std::size_t least) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(b.end - b.body, kLargestBodyRead));
    const std::span<const std::byte> read = input_.read(b.body, want);
    if (input_.failed() || read.size() < least || want < least) {
      failShortRead(plan_, input_, "its '" + b.name() + "' box at " + offsetText(b.offset) + " is too short");
      return std::nullopt;
    }
    return std::vector<std::byte>(read.begin(), read.end());
  }

  // A header's duration in the movie's timescale: 32 bits at `at0` in
  // version 0 of the box, 64 bits at `at1` in version 1.
  bool readDuration(const Box& b, std::size_t at0, std::size_t at1) {
    const auto bytes = body(b, at0 + 4);
    if (!bytes) return false;
    const bool wide = octet((*bytes)[0]) == 1;
    if (wide && bytes->size() < at1 + 8) return failShort(b);
    const std::size_t at = wide ? at1 : at0;
    durations_.push_back({b.body + at, wide, wide ? read_u64be(bytes->data() + at) : read_u32be(bytes->data() + at)});
    return true;
  }

  bool walkMovie(const Box& moov) {
    return children(moov, moov.body, [&](const Box& b) {
      if (b.is("mvhd")) return readDuration(b, 16, 24);
      if (b.is("trak")) {
        ++tracks_;
        return walkTrack(b);
      }
      if (b.is("mvex")) return children(b, b.body, [&](const Box& c) { return !c.is("mehd") || readDuration(c, 4, 4); });
      return true;
    });
  }

  bool failShort(const Box& b) {
    return failed(PlanFailure::Malformed, "its '" + b.name() + "' box at " + offsetText(b.offset) + " is too short");
  }

  bool walkTrack(const Box& trak) {
    return children(trak, trak.body, [&](const Box& b) {
      if (b.is("tkhd")) return readDuration(b, 20, 28);
      if (b.is("edts")) return children(b, b.body, [&](const Box& c) { return !c.is("elst") || readEditList(c); });
      if (b.is("mdia")) return walkMedia(b);
      return true;
    });
  }

  // Each edit's duration counts the movie's timescale; where it starts counts samples and stays.
  bool readEditList(const Box& elst) {
    const auto bytes = body(elst, 8);
    if (!bytes) return false;
    const bool wide = octet((*bytes)[0]) == 1;
    const std::size_t entry = wide ? 20 : 12;
    const std::uint64_t count = read_u32be(bytes->data() + 4);
    if (count > (bytes->size() - 8) / entry) return failShort(elst);
    for (std::size_t i = 0; i < count; ++i) {
      const std::byte* p = bytes->data() + 8 + i * entry;
      durations_.push_back({elst.body + 8 + i * entry, wide, wide ? read_u64be(p) : read_u32be(p)});
    }
    return true;
  }

  bool walkMedia(const Box& mdia) {
    return children(mdia, mdia.body, [&](const Box& b) {
      if (b.is("mdhd")) {
        const auto bytes = body(b, 16);
        if (!bytes) return false;
        const std::size_t at = octet((*bytes)[0]) == 1 ? 20 : 12;
        if (bytes->size() < at + 4) return failShort(b);
        mediaTimescale_ = {b.body + at, false, read_u32be(bytes->data() + at)};
        return true;
      }
      if (b.is("hdlr")) {
        const auto bytes = body(b, 12);
        if (!bytes) return false;
        if (!hasId(*bytes, 8, "soun"))
          return failed(PlanFailure::Unsupported, "it holds a '" + fourccText(bytes->data() + 8) +
                                                      "' track, which is not audio");
        return true;
      }
      if (b.is("minf")) return walkSampleTable(b);
      return true;
    });
  }

  // minf holds stbl, which holds stsd; a QuickTime minf also holds a data handler's hdlr.
  bool walkSampleTable(const Box& parent) {
    return children(parent, parent.body, [&](const Box& b) {
      if (b.is("stbl")) return walkSampleTable(b);
      if (b.is("stsd")) return readSampleDescription(b);
      return true;
    });
  }

  bool readSampleDescription(const Box& stsd) {
    const auto bytes = body(stsd, 8);
    if (!bytes) return false;
    const std::uint32_t count = read_u32be(bytes->data() + 4);
    if (count != 1)
      return failed(PlanFailure::Unsupported,
                    "its track has " + std::to_string(count) + " sample descriptions, where one is usual");
    const std::optional<Box> entry = box(stsd.body + 8, stsd.end);
    if (!entry) return false;
    if (entry->is("mp4a"))
      return failed(PlanFailure::Unsupported,
                    "it is AAC in MP4, whose stream holds the rate too, as one of a few fixed rates");
    if (!entry->is("alac"))
      return failed(PlanFailure::Unsupported, "it is MP4 holding '" + entry->name() +
                                                  "' audio, whose stream may hold the rate as well");
    const auto entryBytes = body(*entry, 28);
    if (!entryBytes) return false;
    const std::uint16_t version = read_u16be(entryBytes->data() + 8);
    if (version >= kEntryLayouts.size())
      return failed(PlanFailure::Unsupported, "its sample entry is of version " + std::to_string(version) +
                                                  ", which Vellora does not know");
    layout_ = kEntryLayouts[version];
    entry_ = entry;
    return children(*entry, entry->body + layout_.children, [&](const Box& c) {
      if (!c.is("alac") || config_) return true;
      const auto config = body(c, 4 + kAlacConfigBytes);
      if (!config) return false;
      configAt_ = c.body + 4;
      config_ = readAlacConfig(std::span(*config).subspan(4).first<kAlacConfigBytes>());
      return true;
    });
  }

  bool readSegmentIndex(const Box& sidx) {
    const auto bytes = body(sidx, 12);
    if (!bytes) return false;
    segmentTimescales_.push_back({sidx.body + 8, false, read_u32be(bytes->data() + 8)});
    return true;
  }

  void put32(std::uint64_t offset, std::uint32_t value) {
    std::array<std::byte, 4> bytes{};
    write_u32be(bytes.data(), value);
    plan_.patches.push_back(patchAt(offset, bytes));
  }

  bool planChange() {
    if (!config_) return failed(PlanFailure::Malformed, "its Apple Lossless configuration ('alac' box) is missing");
    const double rate = config_->rate;
    if (mediaTimescale_.value != config_->rate)
      return failed(PlanFailure::Unsupported, "its media header counts time in " +
                                                  std::to_string(mediaTimescale_.value) +
                                                  " units a second rather than in samples at " +
                                                  formatNumber(rate) + " Hz");
    const std::optional<double> newRate = newRateWithin(plan_, rate, change_, 4294967295.0);
    if (!newRate) return false;
    const auto newWhole = static_cast<std::uint32_t>(*newRate);
    if (!planAlacConfig(plan_, configAt_, *config_, *newRate, change_)) return false;
    put32(mediaTimescale_.offset, newWhole);
    const std::uint64_t entryRateAt = entry_->body + layout_.rateAt;
    if (layout_.rateAt == kEntryLayouts[2].rateAt) {
      std::array<std::byte, 8> bytes{};
      write_f64be(bytes.data(), *newRate);
      plan_.patches.push_back(patchAt(entryRateAt, bytes));
    } else {
      // 16.16 fixed point holds no rate above 65535 Hz; writers leave 0 there.
      put32(entryRateAt, newWhole <= 0xFFFF ? newWhole << 16 : 0);
    }
    for (const Field& t : segmentTimescales_) {
      if (t.value != config_->rate)
        return failed(PlanFailure::Unsupported, "its segment index at " + offsetText(t.offset) + " counts time in " +
                                                    std::to_string(t.value) + " units a second, not in samples");
      put32(t.offset, newWhole);
    }
    // The copy plays longer or shorter: durations in the movie's own timescale follow.
    for (const Field& d : durations_) {
      if (d.value == (d.wide ? kUnknown64 : kUnknown32)) continue;
      const double scaled = std::nearbyint(static_cast<double>(d.value) * rate / *newRate);
      if (!(scaled <= (d.wide ? 18446744073709549568.0 : 4294967294.0)))
        return failed(PlanFailure::RateOutOfRange, "its duration at " + offsetText(d.offset) +
                                                       " would grow beyond what its field holds");
      std::array<std::byte, 8> bytes{};
      if (d.wide) {
        write_u64be(bytes.data(), static_cast<std::uint64_t>(scaled));
        plan_.patches.push_back(patchAt(d.offset, bytes));
      } else {
        put32(d.offset, static_cast<std::uint32_t>(scaled));
      }
    }
    plan_.notes.push_back("sample rate of the Apple Lossless sample entry at " + offsetText(entry_->offset) +
                          ", its configuration's rate and bit rate, and the media timescale");
    if (!durations_.empty())
      plan_.notes.push_back(std::to_string(durations_.size()) +
                            " durations in the movie's timescale scaled to the new playing time");
    if (!segmentTimescales_.empty())
      plan_.notes.push_back("the timescale of " + std::to_string(segmentTimescales_.size()) + " segment indexes");

    summariseSamples(plan_, config_->channels, config_->bits, rate, *newRate);
    return true;
  }

  ScanInput& input_;
  const RateChange& change_;
  RatePlan plan_;
  int tracks_ = 0;
  std::vector<Field> durations_;
  std::vector<Field> segmentTimescales_;
  Field mediaTimescale_;
  std::optional<Box> entry_;
  EntryLayout layout_{};
  std::optional<AlacConfig> config_;
  std::uint64_t configAt_ = 0;
};

}  // namespace

RatePlan planMp4(ScanInput& input, std::uint64_t start, const RateChange& change) {
  return Mp4Planner(input, change).run(start);
}

}  // namespace vellora
