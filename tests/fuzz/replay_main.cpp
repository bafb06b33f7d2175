// Runs a fuzz target without libFuzzer: every file of the corpus folder, then a bounded
// number of random mutations of them, from a fixed seed so that a failure repeats.
//   fuzz_<target> CORPUS_FOLDER [MUTATIONS] [SEED]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Input = std::vector<uint8_t>;

void Mutate(Input& in, std::mt19937& rng) {
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % (n == 0 ? 1 : n)); };
  static const uint32_t kInteresting[] = {
      0,   1,   2,    7,    8,          31,         32,         56, 255,    256,   384,
      385, 912, 2016, 2017, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 62, 0x4D42, 65535, 65536};
  const int rounds = 1 + static_cast<int>(pick(4));
  for (int i = 0; i < rounds; ++i) {
    switch (pick(7)) {
      case 0:
        if (!in.empty()) in[pick(in.size())] ^= static_cast<uint8_t>(1u << pick(8));
        break;
      case 1:
        if (!in.empty()) in[pick(in.size())] = static_cast<uint8_t>(rng());
        break;
      case 2:
        in.insert(in.begin() + static_cast<std::ptrdiff_t>(pick(in.size() + 1)),
                  static_cast<uint8_t>(rng()));
        break;
      case 3:
        if (!in.empty()) in.erase(in.begin() + static_cast<std::ptrdiff_t>(pick(in.size())));
        break;
      case 4:
        in.resize(pick(in.size() + 1));
        break;
      case 5: {  // a 16- or 32-bit value of interest at an offset, little-endian
        const uint32_t v = kInteresting[pick(std::size(kInteresting))];
        const size_t at = pick(in.size() + 1);
        const size_t width = pick(2) ? 4 : 2;
        if (in.size() < at + width) in.resize(at + width);
        for (size_t b = 0; b < width; ++b) in[at + b] = static_cast<uint8_t>(v >> (8 * b));
        break;
      }
      default: {  // repeat a chunk
        if (in.empty()) break;
        const size_t from = pick(in.size());
        const size_t len = std::min<size_t>(pick(64) + 1, in.size() - from);
        const Input chunk(in.begin() + static_cast<std::ptrdiff_t>(from),
                          in.begin() + static_cast<std::ptrdiff_t>(from + len));
        in.insert(in.begin() + static_cast<std::ptrdiff_t>(pick(in.size() + 1)), chunk.begin(),
                  chunk.end());
        break;
      }
    }
  }
  if (in.size() > 65536) in.resize(65536);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER [MUTATIONS] [SEED]\n", argv[0]);
    return 2;
  }
  const long mutations = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 2000;
  const unsigned long seed = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 20261208;

  std::vector<Input> corpus;
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(argv[1])) {
    if (e.is_regular_file()) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& f : files) {
    std::ifstream in(f, std::ios::binary);
    corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(corpus.back().data(), corpus.back().size());
  }
  if (corpus.empty()) {
    std::fprintf(stderr, "no corpus in %s\n", argv[1]);
    return 1;
  }
  std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
  for (long i = 0; i < mutations; ++i) {
    Input in = corpus[rng() % corpus.size()];
    Mutate(in, rng);
    LLVMFuzzerTestOneInput(in.data(), in.size());
  }
  std::printf("%zu corpus inputs and %ld mutations (seed %lu) passed\n", corpus.size(), mutations,
              seed);
  return 0;
}
