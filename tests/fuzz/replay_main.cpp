// Runs the fuzz target over every file of the directories (or the files) given, so that the
// seed corpus and every input the fuzzer once found faulty are replayed by each test run,
// without libFuzzer. Exit status 0 when all ran; the target aborts on a fault.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
  std::cout << file.filename().string() << " (" << bytes.size() << " bytes)\n" << std::flush;
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: qdx_fuzz_replay CORPUS_DIR_OR_FILE...\n";
    return 2;
  }
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path given(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(given)) {
      for (const auto& entry : std::filesystem::directory_iterator(given)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(given);
    }
    for (const auto& file : files) Replay(file);
    count += files.size();
  }
  if (count == 0) {
    std::cerr << "qdx_fuzz_replay: no input found\n";
    return 1;
  }
  std::cout << count << " inputs replayed\n";
  return 0;
}
