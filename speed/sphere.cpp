#include "speed/sphere.h"

#include <charconv>
#include <string>

#include "speed/bytes.h"
#include "speed/header_text.h"
#include "speed/plan_support.h"

namespace vellora {
namespace {

constexpr std::size_t kPreamble = 16;  // "NIST_1A\n", then the length in 7 characters and "\n"
constexpr std::uint64_t kLargestHeader = 1 << 20;

std::optional<std::uint64_t> number(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || text.empty()) return std::nullopt;
  return end == text.data() + text.size() || *end == '\n' || *end == ' ' || *end == '\r' ? std::optional(value)
                                                                                        : std::nullopt;
}

// The whole number of the field `key`, or `otherwise` where the header has none.
std::optional<std::uint64_t> integerField(std::string_view header, std::string_view key, std::uint64_t otherwise) {
  const std::optional<TextField> field = findField(header, key, " -i");
  return field ? number(header.substr(field->begin, field->end - field->begin)) : otherwise;
}

}  // namespace

bool isSphere(std::span<const std::byte> head) { return hasId(head, 0, "NIST_1A\n"); }

RatePlan planSphere(ScanInput& input, std::uint64_t start, const RateChange& change) {
  RatePlan plan;
  plan.format = AudioFormat::Sphere;
  const std::span<const std::byte> preamble = input.read(start, kPreamble);
  if (preamble.size() < kPreamble) return failShortRead(plan, input, "the file ends inside its header");
  const std::string_view lengthText(reinterpret_cast<const char*>(preamble.data()) + 8, kPreamble - 8);
  const std::optional<std::uint64_t> length = number(lengthText);
  if (!length || *length < kPreamble || *length > kLargestHeader)
    return fail(plan, PlanFailure::Malformed, "its header does not state a length it can have");
  const std::span<const std::byte> raw = input.read(start, static_cast<std::size_t>(*length));
  if (raw.size() < *length) return failShortRead(plan, input, "the file ends inside its header");
  const std::string header(reinterpret_cast<const char*>(raw.data()), raw.size());
  const std::size_t headEnd = header.find("\nend_head");
  if (headEnd == std::string::npos) return fail(plan, PlanFailure::Malformed, "its header has no end_head line");
  const std::string_view fields = std::string_view(header).substr(0, headEnd + 1);

  const std::optional<TextField> rateField = findField(fields, "sample_rate", " -i");
  if (!rateField)
    return fail(plan, PlanFailure::Malformed,
                findField(fields, "sample_rate", " ") ? "its sample_rate field is not a whole number (-i)"
                                                      : "its header has no sample_rate field");
  const std::optional<std::uint64_t> rate =
      number(fields.substr(rateField->begin, rateField->end - rateField->begin));
  const std::optional<std::uint64_t> channels = integerField(fields, "channel_count", 1);
  const std::optional<std::uint64_t> bytes = integerField(fields, "sample_n_bytes", 2);
  if (!rate || !channels || !bytes || *channels == 0 || *channels > 0xFFFF || *bytes > 8)
    return fail(plan, PlanFailure::Malformed, "its header's numbers cannot be read");

  const std::optional<double> newRate = newRateWithin(plan, static_cast<double>(*rate), change);
  if (!newRate) return plan;
  summariseSamples(plan, static_cast<std::uint32_t>(*channels), static_cast<std::uint32_t>(*bytes * 8),
                   static_cast<double>(*rate), *newRate);
  plan.before.containerSize = plan.after.containerSize = static_cast<std::int64_t>(*length);

  const std::optional<std::string> rewritten = replacedInPlace(
      header, rateField->begin, rateField->end, std::to_string(static_cast<std::uint64_t>(*newRate)));
  if (!rewritten)
    return fail(plan, PlanFailure::RateOutOfRange,
                "its header has no room for a longer sample rate: rates up to " +
                    std::string(rateField->end - rateField->begin, '9') + " Hz fit");
  patchDifferences(plan.patches, start, header, *rewritten);
  plan.notes.push_back("sample_rate line of the header at " + offsetText(start + rateField->begin));
  return plan;
}

}  // namespace vellora
