// Fuzz target of the resource image decoders. Built with libFuzzer when
// WINAPI_FUZZ is on (clang); otherwise a plain driver that decodes each file
// named on its command line, which is how the kept inputs run as a test
// under the sanitizers.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "resource_images.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  winapi::Image image;
  std::vector<winapi::Image> icons;
  winapi::decodeBmp(data, size, &image);
  winapi::decodeIco(data, size, &icons);
  return 0;
}

#ifndef WINAPI_FUZZ
int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in)
      return 2;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  return 0;
}
#endif
