// A fake system for the hook library's portable logic: a US keyboard whose every synthetic
// key (keybd_event, carrying the library's mark) goes back through the hooks, as Windows
// does, and an application that receives whatever the hooks pass on.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/scan_record.h"
#include "hooklib/core/delivery.h"
#include "hooklib/core/hook_platform.h"
#include "hooklib/core/recognizer.h"
#include "hooklib/core/shared_state.h"
#include "tools/keyboard_layouts.h"

namespace pellix::testing {

struct KeyEvent {
  uint32_t vk;
  uint32_t scan;
  bool up;
  bool injected;
  bool extended = false;  // not compared
  bool operator==(const KeyEvent& o) const {
    return vk == o.vk && scan == o.scan && up == o.up && injected == o.injected;
  }
};

// US virtual key and scan code of a character (for the wand's keystrokes).
struct UsKey {
  uint32_t vk;
  uint32_t scan;
  bool shift;
};
UsKey UsKeyOf(char c);

class FakeKeyboard : public HookPlatform {
 public:
  enum class Path { kLowLevel, kKeyboard };

  explicit FakeKeyboard(Path path = Path::kLowLevel);

  HookSharedState state;
  HookLocal local;
  HookContext ctx{state, *this, local};
  Path path;

  // --- The user's (or the wand's) keystrokes. Each returns true when a hook swallowed it.
  // Low-level path: one keystroke with its low-level flags and extra information.
  bool LowLevel(uint32_t vk, uint32_t scan, uint32_t flags, uintptr_t extraInfo = 0);
  // Either path: a press or release; alt says whether Alt is held (context bit / flag).
  bool Key(uint32_t vk, uint32_t scan, bool up, bool alt = false);
  // The wand's whole burst for a dotted text: prefix, the text in the wand's rhythm, Enter.
  void WandBurst(const std::string& text, bool withEnter = true);
  void WandPrefix();
  void WandChar(char c);
  void Enter(bool press = true, bool release = true);

  // The user's key while the library types: at once on the low-level path; on the
  // keyboard-hook path after the keys typed so far, as the application retrieves them.
  void KeyDuringTyping(uint32_t vk, uint32_t scan, bool up, bool extended = false);
  // Runs what the real system runs later: delivery threads, queued synthetic keys.
  void Pump();

  // --- What happened.
  std::vector<KeyEvent> app;        // keystrokes the application received
  uintptr_t lastExtraInfo = 0;      // of the last key the low-level hook saw
  std::vector<uintptr_t> appExtra;  // low-level path: the extra information of each app key
  std::vector<KeyEvent> injected;   // every keybd_event, in order
  std::string AppText() const;      // the application's keystrokes as text (US layout)
  int starts = 0, stops = 0;
  std::vector<uint32_t> beeps;
  std::vector<std::string> offers;  // "window:data|type|serial" for each offer
  std::vector<std::string> reports;  // the notes told to the tray program (TellTray)

  // --- Knobs.
  std::map<uint32_t, char> layout;  // MapVirtualKeyA overrides (another keyboard layout)
  std::map<char, int16_t> keyForChar;  // VkKeyScanA overrides
  bool nt = true;                     // the NT family, with Unicode input
  bool capsLock = false;              // the lock as the user left it; Caps Lock presses toggle it
  std::set<uint8_t> capsShifts;       // keys other than letters that the lock shifts too
  // The sided modifiers down as the system has them (GetAsyncKeyState): moved by every key
  // on the keyboard-hook path, whatever its hook does; on the low-level path by the keys
  // that pass it.
  uint32_t modifiersDown = 0;
  // The sided modifiers down as the application's keys leave them.
  uint32_t AppModifiers() const;
  std::set<uint8_t> deadKeys;         // the layout's dead keys
  bool dbcs = false;                  // the code page has two-byte characters
  bool refuseUnicode = false;         // SendInput refuses Unicode input
  std::string programInFront;         // the foreground window's program file name
  // The PC's layout: the virtual keys it reports for the US key positions the wand presses.
  const layouts::Layout* pcLayout = nullptr;
  void* foreground = nullptr;
  // Called during an offer with the message's atoms; may delete the data atom to claim.
  std::function<void(void* window, uint16_t data, uint16_t type, uint16_t serial)> receiver;
  bool threadsStart = true;
  bool atomsFail = false;
  std::function<void()> onKeybdEvent;  // runs on every synthetic key

  // Atoms alive on the fake system (name and reference count).
  std::map<uint16_t, std::pair<std::string, int>> atoms;
  std::string AtomName(uint16_t atom) const;
  void RemoveAtomByReceiver(uint16_t atom) { RemoveAtom(atom); }

  // --- HookPlatform.
  uint32_t MapVirtualKeyToChar(uint32_t vk) override;
  void SignalStart() override { ++starts; }
  void SignalStop() override { ++stops; }
  void KeybdEvent(uint8_t vk, uint8_t scanCode, uint32_t flags) override;
  // The US key positions (moved by pcLayout), the modifiers, and the extended keys.
  uint32_t ScanCodeOf(uint8_t vk) override;
  bool CapsLockOn() override { return capsLock; }
  // The US layout's character, letters and the keys of capsShifts shifted by the lock.
  uint16_t CharOfKey(uint8_t vk, bool shift, bool capsLock) override;
  // As the thread that types sees them: the application's keys on the keyboard-hook path
  // (GetKeyState), the system's on the low-level path (GetAsyncKeyState).
  uint32_t ModifiersHeld() override {
    return path == Path::kKeyboard ? AppModifiers() : modifiersDown;
  }
  // Goes through the hooks as keybd_event's keys do, with the given extra information.
  void SendTagged(uint32_t vk, uint32_t scanCode, uint32_t flags, uintptr_t extraInfo) override;
  uint8_t KeyAtScanCode(uint32_t scanCode) override;
  int16_t KeyForChar(char c) override;
  bool IsNt() override { return nt; }
  bool IsDeadKey(uint8_t vk) override { return deadKeys.count(vk) != 0; }
  // As Windows sends it: VK_PACKET (231) with the character in place of the scan code; a
  // two-byte character (dbcs) as its two bytes, lead byte high. False while refuseUnicode.
  bool UnicodeChar(const char* bytes, int length) override;
  // With dbcs, the bytes 0x81 to 0xFE lead (a code page of two-byte characters).
  bool IsLeadByte(char c) override {
    return dbcs && static_cast<unsigned char>(c) >= 0x81 && static_cast<unsigned char>(c) != 0xFF;
  }
  // A pause adds to clockMs and is noted among the keys as a key 0 of that many milliseconds.
  void Pause(uint32_t milliseconds) override;
  void ProgramInFront(char* name, int size) override;
  void Beep(uint32_t beepType) override { beeps.push_back(beepType); }
  uint16_t MakeAtom(const char* name) override;
  bool AtomExists(uint16_t atom) override { return atoms.count(atom) != 0; }
  void RemoveAtom(uint16_t atom) override;
  void SendOffer(void* window, uint32_t message, uint32_t wParam, uint32_t lParam) override;
  void* ForegroundWindow() override { return foreground; }
  // Each note as "window:kind/burst/outcome|type|data after N keys"; the window answers
  // with trayAnswer (a function of the note when set).
  uintptr_t TellTray(void* window, TrayNote& note) override {
    note.process = 7;
    if (reports.empty()) firstBurst = note.burst;
    reports.push_back(std::to_string(reinterpret_cast<uintptr_t>(window)) + ":" +
                      std::to_string(note.kind) + "/" + std::to_string(note.burst - firstBurst) + "/" +
                      std::to_string(note.outcome) + "|" + note.type + "|" + note.data +
                      " after " + std::to_string(injected.size()) + " keys");
    notePrograms.push_back(note.program);
    return trayAnswer ? trayAnswer(window, note) : kTrayLeftScan;
  }
  std::function<uintptr_t(void*, const TrayNote&)> trayAnswer;
  std::vector<std::string> notePrograms;  // each note's program
  uint32_t firstBurst = 0;  // bursts are counted per process: shown from the first one told
  bool StartDelivery(Delivery* delivery) override;
  // Keyboard-hook path: one key as the application retrieves it; `own` when the library typed
  // it (the hook is not told: it sees the same key data as for the keyboard's key).
  bool KeyboardPath(uint32_t vk, uint32_t scan, bool up, bool alt, bool own,
                    bool extended = false);
  // The step lock as the system's mutex: owned by a thread (stepOwner, 0 when free), handed
  // to the next taker once its owner has ended, refused to the thread that holds it. With one
  // real thread here, a wait for a live owner elsewhere can only run out: its length is added
  // to clockMs.
  bool EnterStep(uint32_t maxWaitMs) override;
  void LeaveStep() override { stepOwner = 0; }
  uint32_t threadId = 100;          // the thread that runs now: each thread its own number
  uint32_t stepOwner = 0;
  std::set<uint32_t> endedThreads;  // threads that have ended
  int abandonedSteps = 0;           // steps taken over from an owner that had ended
  uint32_t clockMs = 0;

 private:
  void Synthetic(uint32_t vk, uint32_t scan, bool up, uintptr_t extra = kOwnKeyMark,
                 bool extended = false);
  void Received(const KeyEvent& k, bool extended);
  std::deque<Delivery*> deliveries_;
  struct Queued {
    KeyEvent key;
    bool extended;
  };
  std::deque<Queued> queued_;  // synthetic keys waiting for the keyboard-hook path
  uint16_t nextAtom_ = 0xC000;
};

}  // namespace pellix::testing
