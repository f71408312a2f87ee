// pellix-encode: the wand text a CueCat would type for a serial, a bar type and data.
#include <cstdio>
#include <cstring>

#include "engine/encoder.h"

int main(int argc, char** argv) {
  if (argc != 4 || std::strcmp(argv[1], "--help") == 0) {
    std::fputs(
        "Usage: pellix-encode SERIAL TYPE DATA\n"
        "Prints the dotted wand text (.serial.type.data.) that the wand types between its\n"
        "Alt+F10 prefix and its Enter.\n",
        argc == 2 ? stdout : stderr);
    return argc == 2 ? 0 : 2;
  }
  std::printf("%s\n", pellix::EncodeWandText(argv[1], argv[2], argv[3]).c_str());
  return 0;
}
