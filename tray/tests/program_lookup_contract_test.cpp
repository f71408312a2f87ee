// What the lookup of a Program relies on from the system, checked against the in-memory
// file system of the native tests and, under Wine, against the real one: names compared
// without case and without the dots and blanks that end them, folders that are no files,
// variables, App Paths and shortcuts; and the kind the same Programs resolve to.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "profiles/tests/fake_program_lookup.h"
#ifdef _WIN32
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include "tray/win32/tray_app.h"
#endif

namespace pellix {
namespace {

// A machine to set up: files, folders, a variable, an App Paths key and a shortcut.
class Machine {
 public:
  virtual ~Machine() = default;
  virtual ProgramLookup& Lookup() = 0;
  virtual WideText Root() = 0;  // a folder of its own, ending in '\'
  virtual void AddFile(const WideText& path) = 0;
  virtual void AddFolder(const WideText& path) = 0;
  virtual void SetVariable(const char16_t* name, const WideText& value) = 0;
  virtual void AddAppPath(const WideText& name, const WideText& value) = 0;
  virtual void AddShortcut(const WideText& path, const WideText& target) = 0;
};

class FakeMachine : public Machine {
 public:
  ProgramLookup& Lookup() override { return fake_; }
  WideText Root() override { return u"C:\\t\\"; }
  void AddFile(const WideText& path) override { fake_.files.insert(FakeProgramLookup::Key(path)); }
  void AddFolder(const WideText&) override {}
  void SetVariable(const char16_t* name, const WideText& value) override {
    fake_.variables[FakeProgramLookup::Key(name)] = value;
  }
  void AddAppPath(const WideText& name, const WideText& value) override {
    fake_.appPaths[FakeProgramLookup::Key(name)] = value;
  }
  void AddShortcut(const WideText& path, const WideText& target) override {
    AddFile(path);
    fake_.shortcuts[FakeProgramLookup::Key(path)] = target;
  }

 private:
  FakeProgramLookup fake_;
};

#ifdef _WIN32
const wchar_t* W(const WideText& t) { return reinterpret_cast<const wchar_t*>(t.c_str()); }

const wchar_t kAppPaths[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

class RealMachine : public Machine {
 public:
  RealMachine() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    root_ = reinterpret_cast<const char16_t*>(temp);
    root_ += u"pellix-lookup\\";
    Remove();
    CreateDirectoryW(W(root_), nullptr);
  }
  ~RealMachine() override {
    for (const WideText& name : appPaths_)
      RegDeleteKeyW(HKEY_CURRENT_USER, (std::wstring(kAppPaths) + W(name)).c_str());
    for (const WideText& name : variables_) SetEnvironmentVariableW(W(name), nullptr);
    Remove();
  }
  ProgramLookup& Lookup() override { return launcher_; }
  WideText Root() override { return root_; }
  void AddFile(const WideText& path) override {
    HANDLE f = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
  }
  void AddFolder(const WideText& path) override { CreateDirectoryW(W(path), nullptr); }
  void SetVariable(const char16_t* name, const WideText& value) override {
    SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(name), W(value));
    variables_.push_back(name);
  }
  void AddAppPath(const WideText& name, const WideText& value) override {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kAppPaths) + W(name)).c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(W(value)),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    appPaths_.push_back(name);
  }
  // A real shortcut, saved by the shell's own object.
  void AddShortcut(const WideText& path, const WideText& target) override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IShellLinkW, reinterpret_cast<void**>(&link))));
    link->SetPath(W(target));
    IPersistFile* file = nullptr;
    ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
    EXPECT_TRUE(SUCCEEDED(file->Save(W(path), TRUE)));
    file->Release();
    link->Release();
  }

 private:
  void Remove() {
    WIN32_FIND_DATAW found;
    const std::wstring pattern = std::wstring(W(root_)) + L"*";
    HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    while (find != INVALID_HANDLE_VALUE) {
      const std::wstring path = std::wstring(W(root_)) + found.cFileName;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveDirectoryW(path.c_str());
      else DeleteFileW(path.c_str());
      if (!FindNextFileW(find, &found)) {
        FindClose(find);
        find = INVALID_HANDLE_VALUE;
      }
    }
    RemoveDirectoryW(W(root_));
  }
  WideText root_;
  ShellLauncher launcher_;
  std::vector<WideText> appPaths_;
  std::vector<WideText> variables_;
};
#endif

using MachineFactory = std::function<std::unique_ptr<Machine>()>;

class LookupContract : public ::testing::TestWithParam<MachineFactory> {};

TEST_P(LookupContract, FilesVariablesAppPathsShortcutsAndTheKindsTheyGive) {
  std::unique_ptr<Machine> m = GetParam()();
  ProgramLookup& lookup = m->Lookup();
  const WideText root = m->Root();
  m->AddFile(root + u"lookup.bat");
  m->AddFile(root + u"rec.exe");
  m->AddFolder(root + u"dir");
  m->AddShortcut(root + u"lookup.lnk", root + u"lookup.bat");
  m->AddShortcut(root + u"rec.lnk", root + u"rec.exe");
  m->AddAppPath(u"pellixlookuptest.exe", u"\"" + root + u"lookup.bat\"");
  m->SetVariable(u"PELLIX_LOOKUP_TEST", root + u";C:\\x");

  struct FileCase {
    WideText name;
    bool file;
  } files[] = {{u"lookup.bat", true}, {u"LOOKUP.BAT", true}, {u"lookup.bat.", true},
               {u"lookup.bat. .", true}, {u"lookup", false}, {u"dir", false},
               {u"missing.exe", false}, {u"rec.exe", true}};
  for (const FileCase& c : files)
    EXPECT_EQ(lookup.IsFile(root + c.name), c.file) << Narrow(c.name);
  EXPECT_EQ(lookup.Variable(u"PELLIX_LOOKUP_TEST"), root + u";C:\\x");
  EXPECT_EQ(lookup.Variable(u"PELLIX_LOOKUP_UNSET"), u"");
  WideText path;
  ASSERT_TRUE(lookup.AppPath(u"pellixlookuptest.exe", &path));
  EXPECT_EQ(path, u"\"" + root + u"lookup.bat\"");
  EXPECT_FALSE(lookup.AppPath(u"pellixlookupmissing.exe", &path));
  WideText target;
  ASSERT_TRUE(lookup.ShortcutTarget(root + u"lookup.lnk", &target));
  EXPECT_EQ(FakeProgramLookup::Key(target), FakeProgramLookup::Key(root + u"lookup.bat"));
  EXPECT_FALSE(lookup.ShortcutTarget(root + u"rec.exe", &target));
  EXPECT_EQ(lookup.FromAnsi("caf\xe9 12"), u"caf\u00e9 12");

  m->SetVariable(u"PATH", root);
  const ProgramKind P = ProgramKind::kProgram, L = ProgramKind::kLauncher, U = ProgramKind::kUnknown;
  struct KindCase {
    WideText program;
    ProgramKind kind;
  } kinds[] = {{root + u"lookup.bat.", L}, {root + u"LOOKUP", L}, {u"lookup", L},
               {u"pellixlookuptest", L}, {root + u"lookup.lnk", L}, {root + u"rec.lnk", P},
               {u"rec", P}, {root + u"dir", U}, {u"pellix-no-such-program", U}};
  for (const KindCase& c : kinds)
    EXPECT_EQ(KindOfProgram(c.program, lookup), c.kind) << Narrow(c.program);

  // The lookup runs on the thread that handles the scan: its cost with a PATH of 20 folders,
  // for a name found nowhere (the longest search).
  WideText path20;
  for (int i = 0; i < 20; ++i) path20 += root + u"dir;";
  m->SetVariable(u"PATH", path20);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 50; ++i) KindOfProgram(u"pellix-no-such-program", lookup);
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now() - start).count() / 50;
  std::printf("lookup of a name found nowhere, PATH of 20 folders: %ld us\n", static_cast<long>(us));
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, LookupContract,
    ::testing::Values(MachineFactory([] { return std::unique_ptr<Machine>(new FakeMachine); })
#ifdef _WIN32
                          ,
                      MachineFactory([] { return std::unique_ptr<Machine>(new RealMachine); })
#endif
                          ));

}  // namespace
}  // namespace pellix
