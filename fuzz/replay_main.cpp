// Runs the fuzz target over files and folders of inputs (the corpus and the
// kept regressions) without libFuzzer: an ordinary test on any platform.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int inputs = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<fs::path> files;
    if (fs::is_directory(argv[i])) {
      for (const auto& e : fs::directory_iterator(argv[i])) {
        if (e.is_regular_file() && e.path().filename().string()[0] != '.') files.push_back(e.path());
      }
    } else {
      files.push_back(argv[i]);
    }
    for (const fs::path& f : files) {
      std::ifstream in(f, std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());  // aborts on a broken property
      ++inputs;
    }
  }
  std::printf("%d passed, 0 failed\n", inputs);
  return inputs > 0 ? 0 : 1;
}
