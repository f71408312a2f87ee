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

TEST(Resources, TheSettingsWindowsDialogsAreThere) {
  for (int id : {111, 115, 116}) {
    SCOPED_TRACE(id);
    EXPECT_NE(FindResourceA(Self(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)), nullptr);
  }
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
