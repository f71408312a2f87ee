// pellix.exe: the tray program.
#include "tray/win32/tray_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
  return pellix::RunPellix(instance, arguments);
}
