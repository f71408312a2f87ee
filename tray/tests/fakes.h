// Fakes of the tray program's ports for native tests. The keyboard layout's contract with
// the real one (VkKeyScanA, MapVirtualKeyA) is checked under Wine in the driver tests.
#pragma once
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "profiles/tests/fake_program_lookup.h"
#include "tray/core/driver_path.h"
#include "tray/core/scan_handling.h"

namespace pellix {

// The US layout's keys for letters, digits, space, a few punctuation marks, Tab and Return.
class UsLayout : public KeyboardLayout {
 public:
  static constexpr const char* kDomain =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ,.-\t\n\r";
  // Another layout's answers for some characters, and its dead key.
  std::map<char, int16_t> keys;
  uint32_t deadKey = 0;
  bool IsDeadKey(uint32_t vk) override { return deadKey != 0 && vk == deadKey; }
  int16_t KeyScan(char c) override {
    if (keys.count(c)) return keys[c];
    if (c >= 'a' && c <= 'z') return static_cast<int16_t>('A' + (c - 'a'));
    if (c >= 'A' && c <= 'Z') return static_cast<int16_t>(0x100 | c);
    if (c >= '0' && c <= '9') return c;
    switch (c) {
      case ' ': return 0x20;
      case ',': return 0xBC;
      case '.': return 0xBE;
      case '-': return 0xBD;
      default: return -1;
    }
  }
  uint32_t ScanCodeOf(uint32_t vk) override {
    static const uint8_t letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                        0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                        0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    if (vk >= 'A' && vk <= 'Z') return letters[vk - 'A'];
    if (vk >= '1' && vk <= '9') return 0x02 + (vk - '1');
    switch (vk) {
      case '0': return 0x0B;
      case 0x20: return 0x39;
      case 0xBC: return 0x33;
      case 0xBE: return 0x34;
      case 0xBD: return 0x0C;
      case 0x09: return 0x0F;
      case 0x0D: return 0x1C;
      default: return 0;
    }
  }
};

// Records each launch (its texts in UTF-8); the files it may find are a FakeProgramLookup's.
class FakeLauncher : public CommandLauncher {
 public:
  struct Launch {
    std::string file;
    bool hasParams;
    std::string params;
    int32_t showMode;
  };
  void Open(const char16_t* file, const char16_t* params, int32_t showMode) override {
    launches.push_back({Narrow(file), params != nullptr, params ? Narrow(params) : "", showMode});
    if (log) log->push_back("launch " + Narrow(file));
  }
  WideText FromAnsi(const char* text) override { return files.FromAnsi(text); }
  bool IsFile(const WideText& path) override { return files.IsFile(path); }
  WideText Variable(const char16_t* name) override { return files.Variable(name); }
  std::vector<WideText> SystemFolders() override { return files.SystemFolders(); }
  bool AppPath(const WideText& name, WideText* path) override { return files.AppPath(name, path); }
  bool ShortcutTarget(const WideText& path, WideText* target) override {
    return files.ShortcutTarget(path, target);
  }
  FakeProgramLookup files;
  std::vector<Launch> launches;
  std::vector<std::string>* log = nullptr;  // where set, each launch is logged there too
};

// Atoms, windows and the sheet in memory; every call that has an effect is logged in order.
class FakeTrayPort : public TrayPort {
 public:
  WindowRef ForegroundWindow() override { return foreground; }
  SheetView Sheet() override { return sheet; }
  void Beep(int32_t type) override { log.push_back("beep " + std::to_string(type)); }
  void ShowTrace(WindowRef page, const char* serial, const char* type,
                 const char* data) override {
    log.push_back(std::string("trace ") + (page == sheet.settingsPage ? "page " : "other ") +
                  serial + "|" + type + "|" + data);
  }
  bool ReadAtom(uint16_t atom, char* text, int capacity) override {
    auto it = atoms.find(atom);
    if (it == atoms.end()) return false;
    std::strncpy(text, it->second.c_str(), static_cast<size_t>(capacity) - 1);
    text[capacity - 1] = '\0';
    return true;
  }
  void DeleteAtom(uint16_t atom) override {
    atoms.erase(atom);
    log.push_back("delete " + std::to_string(atom));
  }
  void Reply(intptr_t result) override { log.push_back("reply " + std::to_string(result)); }
  void NoteScan(const char* type, const char* data, ScanAction action) override {
    noted.push_back(std::string(type) + "|" + data + "|" +
                    (action == ScanAction::kLeftToLibrary ? "left to the library"
                                                          : ScanActionText(action)));
  }

  bool OwnWindow(WindowRef window) override {
    return window == sheet.sheet || window == ownWindow;
  }
  void TellRefusal(const char* code, const char* why) override {
    log.push_back(std::string("refusal: ") + code + ": " + why);
  }

  std::map<uint16_t, std::string> atoms;
  WindowRef foreground = nullptr;
  WindowRef ownWindow = nullptr;  // another window of this program (a file dialog)
  SheetView sheet;
  std::vector<std::string> log;
  std::vector<std::string> noted;  // the scans handed to the history, in order
};

// Records every request; the keystroke codes as they were sent.
class RecordingDriver : public DriverPort {
 public:
  struct Request {
    uint32_t code;
    std::string in;
  };
  bool Control(uint32_t code, const void* in, uint32_t inSize, void*, uint32_t,
               uint32_t* returned) override {
    requests.push_back({code, in ? std::string(static_cast<const char*>(in), inSize) : ""});
    if (returned) *returned = 0;
    return true;
  }
  std::vector<Request> requests;
};

}  // namespace pellix
