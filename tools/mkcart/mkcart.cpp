// Cartridge builder: turns the flat binary that NASM assembled (the last banks
// of the image, ending in the 16-byte jump and footer) into a full image of
// the declared ROM size, padded in front with 0xFF, with the checksum filled in.
// With --oversized the assembled file may hold more banks than its footer
// declares, and the image keeps them all, as some home-made images do.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr size_t kBank = 0x10000;

int BanksForCode(uint8_t code) {
  switch (code) {
    case 1: case 2: return 8;
    case 3: return 16;
    case 4: return 32;
    case 6: return 64;
    case 8: return 128;
    case 9: return 256;
    default: return 0;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool oversized = argc == 4 && std::strcmp(argv[1], "--oversized") == 0;
  if (oversized) ++argv;
  if (argc != (oversized ? 4 : 3)) {
    std::fprintf(stderr, "usage: kestra-mkcart [--oversized] RAW.bin IMAGE.ws\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<uint8_t> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.eof() && in.fail()) {
    std::fprintf(stderr, "kestra-mkcart: cannot read %s\n", argv[1]);
    return 1;
  }
  if (raw.size() < kBank || raw.size() % kBank != 0) {
    std::fprintf(stderr, "kestra-mkcart: %s is %zu bytes, not whole 64 KB banks\n", argv[1],
                 raw.size());
    return 1;
  }
  const int banks = BanksForCode(raw[raw.size() - 6]);
  if (banks == 0 || (raw.size() > banks * kBank && !oversized)) {
    std::fprintf(stderr, "kestra-mkcart: ROM size code 0x%02X does not fit %zu bytes\n",
                 raw[raw.size() - 6], raw.size());
    return 1;
  }
  std::vector<uint8_t> image(raw.size() < banks * kBank ? banks * kBank - raw.size() : 0, 0xFF);
  image.insert(image.end(), raw.begin(), raw.end());
  uint16_t sum = 0;
  for (size_t i = 0; i + 2 < image.size(); ++i) sum = static_cast<uint16_t>(sum + image[i]);
  image[image.size() - 2] = sum & 0xFF;
  image[image.size() - 1] = sum >> 8;

  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  if (!out) {
    std::fprintf(stderr, "kestra-mkcart: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
