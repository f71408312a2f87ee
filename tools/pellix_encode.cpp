// pellix-encode: the wand text a CueCat would type for a serial, a bar type and data.
#include <cstdio>
#include <cstring>

#include "engine/encoder.h"

int main(int argc, char** argv) {
  static const char kUsage[] =
      "Usage: pellix-encode SERIAL TYPE DATA\n"
      "Prints the dotted wand text (.serial.type.data.) that the wand types between its\n"
      "Alt+F10 prefix and its Enter.\n";
  // Asked for, the usage is the answer; given wrong arguments, it is an error.
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 4) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::printf("%s\n", pellix::EncodeWandText(argv[1], argv[2], argv[3]).c_str());
  return 0;
}
