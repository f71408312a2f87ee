// The program's resources as Windows reads them: the compiled resource script is linked into
// this test as into pellix.exe; the version information is read from pellix.exe itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

HINSTANCE Self() { return GetModuleHandleA(nullptr); }

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP bm = {};
  GetObjectA(bitmap, sizeof bm, &bm);
  return {bm.bmWidth, bm.bmHeight};
}

TEST(Resources, IconsLoadAtTheSizesTheProgramAsksFor) {
  struct Case {
    int id, size;
  } cases[] = {{102, 32}, {102, 16}, {105, 16}, {105, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id * 100 + c.size);
    HICON icon = static_cast<HICON>(
        LoadImageA(Self(), MAKEINTRESOURCEA(c.id), IMAGE_ICON, c.size, c.size, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_TRUE(info.fIcon);
    ASSERT_NE(info.hbmColor, nullptr);
    EXPECT_EQ(BitmapSize(info.hbmColor).cx, c.size);
    EXPECT_EQ(BitmapSize(info.hbmColor).cy, c.size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
  EXPECT_NE(LoadIconA(Self(), MAKEINTRESOURCEA(102)), nullptr) << "the class icon";
}

// The stored cursor image: hot spot, then the bitmap header, palette, colours and mask.
struct CursorImage {
  WORD hotX, hotY;
  BITMAPINFOHEADER header;
};

TEST(Resources, TheHandIsA32By32SixteenColourCursorWithItsHotSpotOnTheFingertip) {
  HCURSOR cursor = LoadCursorA(Self(), MAKEINTRESOURCEA(118));
  ASSERT_NE(cursor, nullptr);
  ICONINFO info = {};
  ASSERT_TRUE(GetIconInfo(cursor, &info));
  EXPECT_FALSE(info.fIcon);
  EXPECT_EQ(info.xHotspot, 12u);
  EXPECT_EQ(info.yHotspot, 1u);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);

  HRSRC group = FindResourceA(Self(), MAKEINTRESOURCEA(118), MAKEINTRESOURCEA(12));  // group
  ASSERT_NE(group, nullptr);
  BYTE* dir = static_cast<BYTE*>(LockResource(LoadResource(Self(), group)));
  const int id = LookupIconIdFromDirectoryEx(dir, FALSE, 32, 32, LR_DEFAULTCOLOR);
  HRSRC image = FindResourceA(Self(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(1));  // RT_CURSOR
  ASSERT_NE(image, nullptr);
  const CursorImage* c =
      static_cast<const CursorImage*>(LockResource(LoadResource(Self(), image)));
  EXPECT_EQ(c->hotX, 12);
  EXPECT_EQ(c->hotY, 1);
  EXPECT_EQ(c->header.biWidth, 32);
  EXPECT_EQ(c->header.biHeight, 64);  // colours and mask
  EXPECT_EQ(c->header.biBitCount, 4);

  // Rows are stored bottom up: 16 bytes of colour a row, then 4 bytes of mask a row.
  const BYTE* colours = reinterpret_cast<const BYTE*>(&c->header) + 40 + 16 * 4;
  const BYTE* mask = colours + 32 * 16;
  auto colour = [&](int x, int y) {
    const BYTE b = colours[(31 - y) * 16 + x / 2];
    return x % 2 ? (b & 0x0F) : (b >> 4);
  };
  auto opaque = [&](int x, int y) { return !(mask[(31 - y) * 4 + x / 8] & (0x80 >> (x % 8))); };
  EXPECT_TRUE(opaque(12, 1));
  EXPECT_EQ(colour(12, 1), 15) << "white inside the fingertip";
  EXPECT_TRUE(opaque(12, 0));
  EXPECT_EQ(colour(12, 0), 0) << "black outline above it";
  EXPECT_FALSE(opaque(12, 31));
  EXPECT_FALSE(opaque(0, 0));
}

// A dialog template as compiled into pellix.exe (DLGTEMPLATEEX), read back field by field.
struct Control {
  int id;
  std::string cls;   // the class name in lower case, a predefined class's atom read as its name
  short x, y, w, h;
  std::string text;  // "#N" for an ordinal (an icon's resource number)
  DWORD style;
};
struct Dialog {
  short w = 0, h = 0;
  std::string caption, font;
  WORD points = 0;
  DWORD style = 0;
  std::vector<Control> controls;
};

std::string Narrow(const WORD* p) {
  std::string s;
  while (*p) s += static_cast<char>(*p++);
  return s;
}
// A name-or-ordinal field; returns the field's text and moves past it.
std::string NameOrOrdinal(const WORD*& p) {
  if (*p == 0xFFFF) {
    const WORD ordinal = p[1];
    p += 2;
    return "#" + std::to_string(ordinal);
  }
  std::string s = Narrow(p);
  p += s.size() + 1;
  return s;
}
// The predefined classes, which a template may give by atom or by name.
std::string ClassName(const std::string& field) {
  static const char* const kAtoms[] = {"button", "edit", "static", "listbox", "scrollbar",
                                       "combobox"};
  if (field[0] == '#') {
    const int atom = std::stoi(field.substr(1));
    return atom >= 0x80 && atom <= 0x85 ? kAtoms[atom - 0x80] : field;
  }
  std::string lower = field;
  CharLowerBuffA(&lower[0], static_cast<DWORD>(lower.size()));
  return lower;
}
const WORD* AlignDword(const WORD* p) {
  return reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3));
}

bool ReadDialog(HMODULE module, int id, Dialog* d) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
  if (!found) return false;
  const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(module, found)));
  if (!p || p[0] != 1 || p[1] != 0xFFFF) return false;  // DLGTEMPLATEEX only
  auto dword = [](const WORD* at) { return DWORD(at[0]) | DWORD(at[1]) << 16; };
  d->style = dword(p + 6);
  const WORD count = p[8];
  d->w = static_cast<short>(p[11]);
  d->h = static_cast<short>(p[12]);
  p += 13;
  NameOrOrdinal(p);  // menu
  NameOrOrdinal(p);  // class
  d->caption = Narrow(p);
  p += d->caption.size() + 1;
  if (d->style & DS_SETFONT) {
    d->points = p[0];
    p += 3;  // points, weight, italic and charset
    d->font = Narrow(p);
    p += d->font.size() + 1;
  }
  for (WORD i = 0; i < count; ++i) {
    p = AlignDword(p);
    Control c;
    c.style = dword(p + 4);
    c.x = static_cast<short>(p[6]);
    c.y = static_cast<short>(p[7]);
    c.w = static_cast<short>(p[8]);
    c.h = static_cast<short>(p[9]);
    c.id = static_cast<int>(dword(p + 10));
    p += 12;
    c.cls = ClassName(NameOrOrdinal(p));
    c.text = NameOrOrdinal(p);
    const WORD extra = *p++;
    p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
    d->controls.push_back(c);
  }
  return true;
}

// What a control must be: id, class, rectangle, text (a prefix where `prefix`), and its style:
// the kind's bits under `mask` equal `kind`, and every bit of `flags` is set.
struct Want {
  int id;
  const char* cls;
  short x, y, w, h;
  const char* text;
  DWORD mask, kind, flags;
  bool prefix = false;
};
const char *const kButton = "button", *const kEdit = "edit", *const kStatic = "static",
                  *const kList = "listbox", *const kCombo = "combobox";
constexpr DWORD kSsType = 0x1F, kBsType = 0x0F, kCbsType = 0x03;
constexpr DWORD kDropList = WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kEditFlags = ES_AUTOHSCROLL | WS_BORDER;

const Want kSettingsPage[] = {
    {-1, kStatic, 46, 7, 135, 35, "Pellix - Bar Wand Decoder\nVersion 1.5\n", kSsType, SS_CENTER, 0,
     true},
    {-1, kStatic, 7, 50, 65, 8, "&Output Type:", kSsType, SS_LEFT, 0},
    {1021, kCombo, 7, 61, 149, 87, "", kCbsType, CBS_DROPDOWNLIST, kDropList},
    {-1, kStatic, 7, 78, 33, 8, "&Separator:", kSsType, SS_LEFT, 0},
    {1023, kCombo, 7, 89, 70, 89, "", kCbsType, CBS_DROPDOWNLIST, kDropList},
    {-1, kStatic, 86, 78, 35, 8, "&Terminator:", kSsType, SS_LEFT, 0},
    {1024, kCombo, 86, 89, 70, 89, "", kCbsType, CBS_DROPDOWNLIST, kDropList},
    {-1, kStatic, 7, 107, 39, 8, "&Audible Cue:", kSsType, SS_LEFT, 0},
    {1022, kCombo, 7, 118, 116, 91, "", kCbsType, CBS_DROPDOWNLIST, kDropList},
    {1030, kButton, 127, 118, 29, 12, "&Play", kBsType, BS_PUSHBUTTON, 0},
    {-1, kStatic, 7, 136, 27, 8, "T&imeout:", kSsType, SS_LEFT, 0},
    {1025, kCombo, 7, 147, 123, 52, "", kCbsType, CBS_DROPDOWNLIST, kDropList},
    {-1, kButton, 7, 162, 212, 40, "Pellix Trace", kBsType, BS_GROUPBOX, 0},
    {-1, kStatic, 14, 171, 36, 8, "Serial Num:", kSsType, SS_LEFT, 0},
    {1027, kStatic, 53, 171, 119, 9, "", kSsType, SS_LEFT, SS_SUNKEN},
    {-1, kStatic, 14, 180, 36, 8, "Bar Type:", kSsType, SS_LEFT, 0},
    {1028, kStatic, 53, 180, 119, 9, "", kSsType, SS_LEFT, SS_SUNKEN},
    {-1, kStatic, 14, 189, 36, 8, "Data:", kSsType, SS_LEFT, 0},
    {1029, kStatic, 53, 189, 119, 9, "", kSsType, SS_LEFT, SS_SUNKEN},
    {1048, kButton, 175, 171, 41, 12, "&Clear Trace", kBsType, BS_PUSHBUTTON, 0},
    {1049, kStatic, 14, 16, 20, 20, "#102", kSsType, SS_ICON,
     SS_REALSIZEIMAGE | SS_CENTERIMAGE | SS_NOTIFY | WS_VISIBLE},
};
const Want kProfilesPage[] = {
    {-1, kStatic, 7, 7, 22, 8, "&Profile:", kSsType, SS_LEFT, 0},
    {1031, kCombo, 7, 18, 212, 169, "", kCbsType, CBS_DROPDOWNLIST, CBS_SORT | WS_VSCROLL},
    {1040, kButton, 113, 7, 50, 10, "Add Profile", kBsType, BS_PUSHBUTTON, 0},
    {1041, kButton, 169, 7, 50, 10, "Delete Profile", kBsType, BS_PUSHBUTTON, 0},
    {-1, kButton, 7, 35, 212, 175, "Current Profile", kBsType, BS_GROUPBOX, 0},
    {-1, kStatic, 11, 46, 39, 8, "&Scan Types:", kSsType, SS_LEFT, 0},
    {1032, kList, 11, 57, 48, 150, "", 0, 0,
     LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_BORDER | WS_VSCROLL},
    {-1, kStatic, 67, 48, 51, 8, "Scan &Type:", kSsType, SS_RIGHT, 0},
    {1037, kEdit, 125, 45, 40, 14, "", 0, 0, kEditFlags},
    {-1, kStatic, 67, 82, 17, 8, "&Filter:", kSsType, SS_LEFT, 0},
    {1034, kEdit, 67, 93, 147, 14, "", 0, 0, kEditFlags},
    {1045, kButton, 92, 82, 64, 10, "Auto-ISBN", kBsType, BS_AUTOCHECKBOX, 0},
    {-1, kStatic, 67, 110, 106, 8, "Pro&gram or URL:", kSsType, SS_LEFT, 0},
    {1035, kEdit, 67, 121, 147, 14, "", 0, 0, kEditFlags},
    {1046, kButton, 178, 109, 36, 10, "&Browse...", kBsType, BS_PUSHBUTTON, 0},
    {-1, kStatic, 67, 138, 141, 8, "Pa&rameters:", kSsType, SS_LEFT, 0},
    {1036, kEdit, 67, 149, 147, 14, "", 0, 0, kEditFlags},
    {-1, kStatic, 67, 172, 27, 8, "&Window:", kSsType, SS_LEFT, 0},
    {1047, kCombo, 96, 170, 118, 40, "", kCbsType, CBS_DROPDOWNLIST,
     CBS_SORT | CBS_NOINTEGRALHEIGHT | WS_VSCROLL},
    {1038, kButton, 67, 193, 48, 14, "Add Scan", kBsType, BS_PUSHBUTTON, 0},
    {1043, kButton, 116, 193, 48, 14, "Save Scan", kBsType, BS_PUSHBUTTON, 0},
    {1039, kButton, 165, 193, 48, 14, "Delete Scan", kBsType, BS_PUSHBUTTON, 0},
};
const Want kNewProfile[] = {
    {-1, kStatic, 7, 7, 77, 8, "Enter name of new profile:", kSsType, SS_LEFT, 0},
    {1044, kEdit, 7, 18, 173, 14, "", 0, 0, kEditFlags},
    {IDOK, kButton, 33, 35, 50, 14, "OK", kBsType, BS_DEFPUSHBUTTON, 0},
    {IDCANCEL, kButton, 105, 35, 50, 14, "Cancel", kBsType, BS_PUSHBUTTON, 0},
};

template <size_t N>
void ExpectControls(const Dialog& d, const Want (&want)[N]) {
  ASSERT_EQ(d.controls.size(), N);
  for (size_t i = 0; i < N; ++i) {
    const Control& c = d.controls[i];
    const Want& w = want[i];
    SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(w.id));
    EXPECT_EQ(c.id, w.id);
    EXPECT_EQ(c.cls, w.cls);
    EXPECT_EQ((std::vector<int>{c.x, c.y, c.w, c.h}), (std::vector<int>{w.x, w.y, w.w, w.h}));
    if (w.prefix) {
      EXPECT_EQ(c.text.compare(0, std::strlen(w.text), w.text), 0) << c.text;
    } else {
      EXPECT_EQ(c.text, w.text);
    }
    EXPECT_EQ(c.style & w.mask, w.kind) << std::hex << c.style;
    EXPECT_EQ(c.style & w.flags, w.flags) << std::hex << c.style;
    EXPECT_TRUE(c.style & WS_CHILD);
  }
}

// The three dialogs of the Settings window exactly as pellix.exe carries them: every
// control's id, class, place and size, text and kind, in template order.
TEST(Resources, TheSettingsWindowsDialogsAreCompiledAsDrawn) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  const std::string exe = std::string(self, std::strrchr(self, '\\') + 1) + "pellix.exe";
  HMODULE program = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(program, nullptr) << exe;
  struct Page {
    int id;
    const char* caption;
    short w, h;
  } pages[] = {{111, "Pellix Settings", 226, 217},
               {115, "Pellix Profiles", 226, 217},
               {116, "New Profile", 187, 56}};
  Dialog d[3];
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(pages[i].id);
    ASSERT_TRUE(ReadDialog(program, pages[i].id, &d[i]));
    EXPECT_EQ(d[i].caption, pages[i].caption);
    EXPECT_EQ(d[i].w, pages[i].w);
    EXPECT_EQ(d[i].h, pages[i].h);
    EXPECT_EQ(d[i].font, "MS Sans Serif");
    EXPECT_EQ(d[i].points, 8);
  }
  EXPECT_TRUE(d[0].style & WS_CHILD) << "a property page";
  EXPECT_TRUE(d[1].style & WS_CHILD) << "a property page";
  EXPECT_TRUE(d[2].style & WS_POPUP) << "a modal pop-up";
  {
    SCOPED_TRACE("dialog 111");
    ExpectControls(d[0], kSettingsPage);
  }
  {
    SCOPED_TRACE("dialog 115");
    ExpectControls(d[1], kProfilesPage);
  }
  {
    SCOPED_TRACE("dialog 116");
    ExpectControls(d[2], kNewProfile);
  }
  FreeLibrary(program);
}

std::string VersionString(const std::vector<char>& block, const char* name) {
  std::string path = std::string("\\StringFileInfo\\040904e4\\") + name;
  char* value = nullptr;
  UINT size = 0;
  if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &size)) {
    return "";
  }
  return std::string(value);
}

TEST(Resources, PellixExeCarriesItsVersionInformation) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string exe = std::string(self, std::strrchr(self, '\\') + 1) + "pellix.exe";
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u) << exe;
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(VersionString(block, "ProductName"), "Pellix");
  EXPECT_EQ(VersionString(block, "OriginalFilename"), "pellix.exe");
  EXPECT_EQ(VersionString(block, "CompanyName"), "Obrelle Works");
  EXPECT_FALSE(VersionString(block, "FileVersion").empty());
}

}  // namespace
