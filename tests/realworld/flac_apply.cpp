// Applies the FLAC plan to a copy, as the conversion does, for the checks with
// real writers' files: flac_apply IN OUT PERCENT, or flac_apply IN OUT --rate HZ.
// Prints the plan's notes; on a refusal prints the reason and writes nothing.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "speed/flac.h"
#include "speed/memory_source.h"

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 5 && std::strcmp(argv[3], "--rate") == 0)) {
    std::fprintf(stderr, "usage: %s IN OUT PERCENT | IN OUT --rate HZ\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<char> chars{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<std::byte> bytes(chars.size());
  if (!chars.empty()) std::memcpy(bytes.data(), chars.data(), chars.size());

  vellora::RateChange change;
  if (argc == 5) change.exactRate = static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 10));
  else change.factor = std::strtod(argv[3], nullptr) / 100;

  vellora::MemorySource source(bytes);
  vellora::ScanInput input(source);
  const vellora::RatePlan plan = vellora::planFlac(input, 0, change);
  if (!plan.ok()) {
    std::fprintf(stderr, "%s: %s\n", argv[1], plan.reason.c_str());
    return 1;
  }
  for (const vellora::Patch& patch : plan.patches) {
    const std::span<const std::byte> patched = patch.view();
    std::memcpy(bytes.data() + patch.offset, patched.data(), patched.size());
  }
  std::ofstream out(argv[2], std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  for (const std::string& note : plan.notes) std::printf("%s\n", note.c_str());
  std::printf("%zu patches\n", plan.patches.size());
  return out ? 0 : 1;
}
