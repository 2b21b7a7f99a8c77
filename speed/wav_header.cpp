#include "speed/wav_header.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace vellora {
namespace {

constexpr FourCC kFormatId{'f', 'm', 't', ' '};
constexpr FourCC kDataId{'d', 'a', 't', 'a'};
constexpr FourCC kBigEndianRiffId{'R', 'I', 'F', 'X'};
constexpr std::uint32_t kShortestFormat = 12;

FourCC fourcc(const std::byte* p) {
  FourCC id;
  std::memcpy(id.data(), p, id.size());
  return id;
}

std::int32_t signed32(std::uint32_t v) { return static_cast<std::int32_t>(v); }
std::int16_t signed16(std::uint16_t v) { return static_cast<std::int16_t>(v); }

// Reads exactly into.size() bytes; anything less ends the scan.
bool readExactly(ByteSource& file, std::uint64_t offset, std::span<std::byte> into,
                 HeaderScan& scan) {
  ByteSource::Read r = file.readAt(offset, into);
  if (!r.status) {
    scan.end = ScanEnd::ReadFailed;
    scan.readStatus = r.status;
    return false;
  }
  if (r.count < into.size()) {
    scan.end = ScanEnd::ShortFile;
    return false;
  }
  return true;
}

}  // namespace

FormatBody FormatBody::decode(std::span<const std::byte, bytes> raw, ByteOrder order) {
  const std::byte* p = raw.data();
  FormatBody b;
  b.formatTag = signed16(read_u16(p, order));
  b.channels = signed16(read_u16(p + 2, order));
  b.sampleRate = signed32(read_u32(p + 4, order));
  b.byteRate = signed32(read_u32(p + 8, order));
  b.blockAlign = signed16(read_u16(p + 12, order));
  b.bitsPerSample = signed16(read_u16(p + 14, order));
  return b;
}

std::array<std::byte, FormatBody::bytes> FormatBody::encode(ByteOrder order) const {
  std::array<std::byte, bytes> raw{};
  std::byte* p = raw.data();
  write_u16(p, static_cast<std::uint16_t>(formatTag), order);
  write_u16(p + 2, static_cast<std::uint16_t>(channels), order);
  write_u32(p + 4, static_cast<std::uint32_t>(sampleRate), order);
  write_u32(p + 8, static_cast<std::uint32_t>(byteRate), order);
  write_u16(p + 12, static_cast<std::uint16_t>(blockAlign), order);
  write_u16(p + 14, static_cast<std::uint16_t>(bitsPerSample), order);
  return raw;
}

HeaderScan scanHeader(ByteSource& file, bool failureRecorded) {
  HeaderScan scan;
  const std::uint64_t fileSize = file.size();

  // The RIFF header is logged whatever it holds; its letters are not checked,
  // so RF64 and other RIFF-like files scan the same way. Bytes past a short
  // file's end stay zero.
  std::array<std::byte, RiffHeader::bytes> riff{};
  const bool wholeRiff = readExactly(file, 0, riff, scan);
  scan.riff.id = fourcc(riff.data());
  if (scan.riff.id == kBigEndianRiffId) scan.order = ByteOrder::Big;
  scan.riff.size = signed32(read_u32(riff.data() + 4, scan.order));
  scan.riff.format = fourcc(riff.data() + 8);
  if (!wholeRiff) return scan;

  std::uint64_t offset = RiffHeader::bytes;
  for (;;) {
    std::array<std::byte, ChunkHeader::bytes> raw{};
    if (!readExactly(file, offset, raw, scan)) return scan;
    const FourCC id = fourcc(raw.data());
    const std::uint32_t size = read_u32(raw.data() + 4, scan.order);
    offset += ChunkHeader::bytes;

    if (id == kFormatId) {
      // The rates end at body byte 12; the bytes after them up to 16 are
      // written back as they were read, so a shorter chunk changes nothing outside it.
      if (size < kShortestFormat) {
        scan.end = ScanEnd::FormatTooShort;
        return scan;
      }
      std::array<std::byte, FormatBody::bytes> body{};
      if (!readExactly(file, offset, body, scan)) return scan;
      scan.format = FormatBody::decode(body, scan.order);
      scan.formatPosition = static_cast<std::int64_t>(offset) + 1;
      scan.end = ScanEnd::FormatFound;
      return scan;
    }
    if (id == kDataId) {
      scan.end = ScanEnd::DataBeforeFormat;
      return scan;
    }
    // "fact", "JUNK", "LIST", "bext", "ds64", ...: skip the body.
    if (offset > fileSize || padded(size) > fileSize - offset) {
      scan.end = ScanEnd::ChunkPastEnd;
      return scan;
    }
    offset += padded(size);
    ++scan.skippedChunks;
    if (failureRecorded) {
      scan.end = ScanEnd::Stopped;
      return scan;
    }
  }
}

std::optional<std::int32_t> scaledRate(std::int32_t rate, double factor) {
  // nearbyint rounds halves to even in the default rounding mode.
  const double scaled = std::nearbyint(static_cast<double>(rate) * factor);
  if (!(scaled >= 1.0 && scaled <= static_cast<double>(std::numeric_limits<std::int32_t>::max())))
    return std::nullopt;
  return static_cast<std::int32_t>(scaled);
}

std::optional<FormatBody> scaleTiming(const FormatBody& body, double factor) {
  const std::optional<std::int32_t> sampleRate = scaledRate(body.sampleRate, factor);
  const std::optional<std::int32_t> byteRate = scaledRate(body.byteRate, factor);
  if (!sampleRate || !byteRate) return std::nullopt;
  FormatBody scaled = body;
  scaled.sampleRate = *sampleRate;
  scaled.byteRate = *byteRate;
  return scaled;
}

IoStatus patchFormat(ReplacementFile& out, const HeaderScan& scan, const FormatBody& body) {
  if (!scan.found()) return IoStatus::failure("no format chunk to patch");
  const std::array<std::byte, FormatBody::bytes> raw = body.encode(scan.order);
  return out.writeAt(bodyOffset(scan), raw);
}

std::string_view describe(ScanEnd end) {
  switch (end) {
    case ScanEnd::FormatFound: return "the format chunk was found";
    case ScanEnd::ShortFile: return "the file ends before a format chunk";
    case ScanEnd::DataBeforeFormat: return "its data chunk comes before the format chunk";
    case ScanEnd::ChunkPastEnd: return "a chunk runs past the end of the file";
    case ScanEnd::FormatTooShort: return "its format chunk is too short";
    case ScanEnd::ReadFailed: return "it could not be read";
    case ScanEnd::Stopped: return "the scan stopped after an earlier failure";
  }
  return "unknown";
}

}  // namespace vellora
