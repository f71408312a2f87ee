// What the recognizers and the delivery need of the system, one call per platform service.
// The Windows library implements it with the real calls; native tests with a fake keyboard.
#pragma once
#include <cstdint>

#include "hooklib/core/key_buffer.h"

namespace pellix {

struct Delivery;

// Carried by every key the library types, in the extra information of keybd_event and
// SendInput (dwExtraInfo): the hooks know their own keys by it and pass them, whichever
// thread or process typed them. ASCII "PLXK".
constexpr uint32_t kOwnKeyMark = 0x504C584Bu;
// The library's releases and presses of the Shift, Ctrl and Alt keys the user holds when a scan
// is typed ("PLXJ": the mark with its lowest bit clear, so that one compare finds both): the
// hooks follow them to press again only what the user still holds (ModifierStep).
constexpr uint32_t kModifierMark = kOwnKeyMark & ~1u;
constexpr uint32_t kKeyEventUnicode = 4;  // KEYEVENTF_UNICODE

// The sided modifier keys, as bits: which of them the user holds.
constexpr uint32_t kLeftShiftBit = 1, kRightShiftBit = 2, kLeftCtrlBit = 4, kRightCtrlBit = 8,
                   kLeftAltBit = 16, kRightAltBit = 32;

// The library's own word with the tray program, beside KV_CC_MSG, which stays as it is for
// other programs: WM_COPYDATA with dwData kTrayNoteTag and this record. First the whole scan
// (kNoteOffer), which the tray program answers with kTrayTookScan or kTrayLeftScan; for a
// scan it left, then what became of it (kNoteOutcome), joined to the offer by the sending
// process and its burst number. No atom is involved, so every data text gets through.
constexpr uint32_t kTrayNoteTag = 0x504C584Eu;  // "PLXN"
constexpr uint32_t kNoteOffer = 1;
constexpr uint32_t kNoteOutcome = 2;
constexpr uintptr_t kTrayTookScan = 0x504C5854u;  // "PLXT"
constexpr uintptr_t kTrayLeftScan = 0x504C584Cu;  // "PLXL"
constexpr uintptr_t kTrayUnreachable = ~static_cast<uintptr_t>(0);
struct TrayNote {
  uint32_t kind;     // kNoteOffer or kNoteOutcome
  uint32_t process;  // the sending process
  uint32_t burst;    // counts the sending process's scans
  uint32_t outcome;  // kNoteOutcome: kOutcomeTyped, kOutcomeClaimed or kOutcomeFilteredOut
  char serial[256];
  char type[256];
  char data[256];
  // The file name of the program the scan went to ("mstsc.exe"), UTF-8; empty when unknown.
  // The tray program picks that program's profile by it and shows it in the History.
  char program[64];
};

class HookPlatform : public KeyTranslationPort {
 public:
  // This process's own handles of KV_CC_START and KV_CC_STOP.
  virtual void SignalStart() = 0;
  virtual void SignalStop() = 0;
  // keybd_event(vk, scan, flags, kOwnKeyMark); flags 2 = key up, 1 = extended key.
  virtual void KeybdEvent(uint8_t vk, uint8_t scanCode, uint32_t flags) = 0;
  // The key's scan code on the layout in force (MapVirtualKeyA(vk, 0)), with 0x100 added for
  // a key that a keyboard sends with the extended prefix (E0).
  virtual uint32_t ScanCodeOf(uint8_t vk) = 0;
  // The virtual key at a scan code on the layout in force (MapVirtualKeyA(scan, 1)).
  virtual uint8_t KeyAtScanCode(uint32_t scanCode) = 0;
  // Whether Caps Lock is on for the keys typed now (GetKeyState(VK_CAPITAL) bit 0).
  virtual bool CapsLockOn() = 0;
  // The character a key gives on the layout in force with Shift and Caps Lock as given, and
  // no other key held (ToUnicode over a key-state array of its own, leaving the system's
  // state alone); 0 when none (a dead key, or no character).
  virtual uint16_t CharOfKey(uint8_t vk, bool shift, bool capsLock) = 0;
  // The sided Shift, Ctrl and Alt keys held down now (GetAsyncKeyState), as k*Bit bits.
  virtual uint32_t ModifiersHeld() = 0;
  // One key with the given extra information: SendInput on NT, where flags may hold
  // KEYEVENTF_UNICODE (the scan code is then the 16-bit character); keybd_event on 9x.
  virtual void SendTagged(uint32_t vk, uint32_t scanCode, uint32_t flags,
                          uintptr_t extraInfo) = 0;
  // VkKeyScanA: low byte the virtual key, bit 8 Shift, bit 9 Ctrl, bit 10 Alt; -1 when no
  // key gives the character.
  virtual int16_t KeyForChar(char c) = 0;
  // True on the NT family, which has Unicode input; false on Windows 9x.
  virtual bool IsNt() = 0;
  // True when the virtual key is a dead key under the layout: it types nothing by itself and
  // changes the next character (MapVirtualKeyA(vk, 2) with its top bit set).
  virtual bool IsDeadKey(uint8_t vk) = 0;
  // Types one character of the system's ANSI code page (one byte, or a lead byte and its
  // trail byte) as Unicode input: a press and a release with SendInput and
  // KEYEVENTF_UNICODE for each UTF-16 unit, each carrying kOwnKeyMark. NT only. Bytes that are
  // no character of the code page type nothing. False when the system refused the input
  // (SendInput typed fewer keys than asked: a program of higher rights in front, a locked
  // desktop).
  virtual bool UnicodeChar(const char* bytes, int length) = 0;
  // IsDBCSLeadByte: the byte begins a two-byte character in the ANSI code page.
  virtual bool IsLeadByte(char c) = 0;
  // Sleep: the pause between keys that a program's row asks for. Only where deliveries run.
  virtual void Pause(uint32_t milliseconds) = 0;
  // The file name of the program whose window is in front ("mstsc.exe"), UTF-8, at most
  // size - 1 bytes; empty when it cannot be told.
  virtual void ProgramInFront(char* name, int size) = 0;
  virtual void Beep(uint32_t beepType) = 0;
  // Global atoms: 0 when the atom could not be made.
  virtual uint16_t MakeAtom(const char* name) = 0;
  // True when GlobalGetAtomNameA still finds the atom (into a 256-character buffer).
  virtual bool AtomExists(uint16_t atom) = 0;
  virtual void RemoveAtom(uint16_t atom) = 0;
  // SendMessageTimeoutA(window, message, wParam, lParam, SMTO_BLOCK | SMTO_ABORTIFHUNG, 3000).
  virtual void SendOffer(void* window, uint32_t message, uint32_t wParam, uint32_t lParam) = 0;
  virtual void* ForegroundWindow() = 0;
  // The library's own word with the tray program (TrayNote): sent and waited for as an offer
  // is; the window's answer, or kTrayUnreachable when it did not answer in time. The
  // platform fills in `process`.
  virtual uintptr_t TellTray(void* window, TrayNote& note) = 0;
  // Hands the delivery to this process's delivery thread, which owns it from now on (it runs
  // DeliveryThread); false when there is no such thread or its queue is full. Deliveries run
  // one after another, in the order they were started.
  virtual bool StartDelivery(Delivery* delivery) = 0;
  // The step lock, one for all processes (StepGuard). EnterStep waits at most maxWaitMs and
  // returns true when the caller now holds it: also when its last owner ended while holding
  // it, which the system reports to exactly one waiter. A thread that holds it already is
  // refused at once (a hook re-entered from inside a step). LeaveStep frees it.
  virtual bool EnterStep(uint32_t maxWaitMs) = 0;
  virtual void LeaveStep() = 0;
};

}  // namespace pellix
