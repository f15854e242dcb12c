// The PPM coder (algorithm 3) against zlib and bzip2 on the same 8 MB of text: speed in MB/s
// of uncompressed data, and the compressed size as a share of the input ("ratio", percent).
#include <benchmark/benchmark.h>
#include <bzlib.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/foundation/compression/ppm_coder.h"

namespace {

constexpr size_t kTextSize = size_t{8} << 20;

// Deterministic text with the statistics of prose: a vocabulary of 3000 words made of
// syllables, drawn with Zipf-like frequencies, with punctuation, numbers and line breaks.
const std::vector<uint8_t>& SampleText() {
  static const std::vector<uint8_t> text = [] {
    static const char* const kSyllables[] = {"ka",  "te",  "ro", "mi",  "an",  "de", "li", "so",
                                             "ver", "ing", "en", "tor", "wa",  "ge", "us", "pre",
                                             "el",  "con", "ta", "al",  "ist", "or", "ne", "be"};
    std::mt19937 random(2024);
    std::vector<std::string> words;
    for (int i = 0; i < 3000; ++i) {
      std::string word;
      const int syllables = 1 + static_cast<int>(random() % 4);
      for (int k = 0; k < syllables; ++k) word += kSyllables[random() % std::size(kSyllables)];
      words.push_back(word);
    }
    std::vector<double> weights;
    for (int i = 0; i < 3000; ++i) weights.push_back(1.0 / (i + 1));
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    std::vector<uint8_t> bytes;
    bytes.reserve(kTextSize + 64);
    int wordsInSentence = 0;
    while (bytes.size() < kTextSize) {
      std::string word = words[pick(random)];
      if (wordsInSentence == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
      if (random() % 40 == 0) word = std::to_string(random() % 10000);
      bytes.insert(bytes.end(), word.begin(), word.end());
      ++wordsInSentence;
      if (wordsInSentence > 6 && random() % 8 == 0) {
        bytes.push_back('.');
        bytes.push_back(random() % 5 == 0 ? '\n' : ' ');
        wordsInSentence = 0;
      } else {
        if (random() % 12 == 0) bytes.push_back(',');
        bytes.push_back(' ');
      }
    }
    bytes.resize(kTextSize);
    return bytes;
  }();
  return text;
}

void Report(benchmark::State& state, size_t codedSize) {
  const auto& text = SampleText();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["ratio%"] =
      100.0 * static_cast<double>(codedSize) / static_cast<double>(text.size());
}

void BM_PpmCompress(benchmark::State& state) {
  const auto& text = SampleText();
  std::vector<uint8_t> coded;
  for (auto _ : state) {
    if (!qdx::PpmCompressBuffer(text, static_cast<int>(state.range(0)), coded))
      state.SkipWithError("compression failed");
  }
  Report(state, coded.size());
}
BENCHMARK(BM_PpmCompress)->Arg(1)->Arg(5)->Arg(9)->Unit(benchmark::kMillisecond);

void BM_PpmDecompress(benchmark::State& state) {
  const auto& text = SampleText();
  std::vector<uint8_t> coded, decoded;
  qdx::PpmCompressBuffer(text, static_cast<int>(state.range(0)), coded);
  for (auto _ : state) {
    if (!qdx::PpmDecompressBuffer(coded, static_cast<int64_t>(text.size()), decoded) ||
        decoded.size() != text.size())
      state.SkipWithError("decompression failed");
  }
  Report(state, coded.size());
}
BENCHMARK(BM_PpmDecompress)->Arg(1)->Arg(5)->Arg(9)->Unit(benchmark::kMillisecond);

std::vector<uint8_t> ZlibCompress(const std::vector<uint8_t>& text, int level) {
  uLongf size = compressBound(text.size());
  std::vector<uint8_t> coded(size);
  compress2(coded.data(), &size, text.data(), text.size(), level);
  coded.resize(size);
  return coded;
}

void BM_ZlibCompress(benchmark::State& state) {
  const auto& text = SampleText();
  std::vector<uint8_t> coded;
  for (auto _ : state) coded = ZlibCompress(text, static_cast<int>(state.range(0)));
  Report(state, coded.size());
}
BENCHMARK(BM_ZlibCompress)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);

void BM_ZlibDecompress(benchmark::State& state) {
  const auto& text = SampleText();
  const std::vector<uint8_t> coded = ZlibCompress(text, 9);
  std::vector<uint8_t> decoded(text.size());
  for (auto _ : state) {
    uLongf size = decoded.size();
    uncompress(decoded.data(), &size, coded.data(), coded.size());
  }
  Report(state, coded.size());
}
BENCHMARK(BM_ZlibDecompress)->Unit(benchmark::kMillisecond);

std::vector<uint8_t> BzipCompress(const std::vector<uint8_t>& text, int blockSize) {
  unsigned size = static_cast<unsigned>(text.size() + text.size() / 100 + 600);
  std::vector<uint8_t> coded(size);
  BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(coded.data()), &size,
                           const_cast<char*>(reinterpret_cast<const char*>(text.data())),
                           static_cast<unsigned>(text.size()), blockSize, 0, 0);
  coded.resize(size);
  return coded;
}

void BM_BzipCompress(benchmark::State& state) {
  const auto& text = SampleText();
  std::vector<uint8_t> coded;
  for (auto _ : state) coded = BzipCompress(text, 9);
  Report(state, coded.size());
}
BENCHMARK(BM_BzipCompress)->Unit(benchmark::kMillisecond);

void BM_BzipDecompress(benchmark::State& state) {
  const auto& text = SampleText();
  std::vector<uint8_t> coded = BzipCompress(text, 9);
  std::vector<char> decoded(text.size());
  for (auto _ : state) {
    unsigned size = static_cast<unsigned>(decoded.size());
    BZ2_bzBuffToBuffDecompress(decoded.data(), &size, reinterpret_cast<char*>(coded.data()),
                               static_cast<unsigned>(coded.size()), 0, 0);
  }
  Report(state, coded.size());
}
BENCHMARK(BM_BzipDecompress)->Unit(benchmark::kMillisecond);

}  // namespace
