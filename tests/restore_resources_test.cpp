// The resources of the built restore program, read back through the system's
// resource and version APIs: its icon group, its version and nothing else.
#include <gtest/gtest.h>
#include <windows.h>
#include <winver.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

struct IconDirEntry {  // one image of a group icon resource
  BYTE width, height, colorCount, reserved;
  WORD planes, bitCount;
  DWORD bytesInRes;
  WORD id;
};

class RestoreResources : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("MORSELA_RESTORE_EXE");
    ASSERT_NE(path, nullptr) << "MORSELA_RESTORE_EXE names the restore program";
    path_ = path;
    module_ = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  std::string path_;
  HMODULE module_ = nullptr;
};

BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR out) {
  auto* types = reinterpret_cast<std::set<ULONG_PTR>*>(out);
  if (IS_INTRESOURCE(type)) types->insert(reinterpret_cast<ULONG_PTR>(type));
  return TRUE;
}

TEST_F(RestoreResources, IconGroupHoldsFourImages) {
  HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(104), RT_GROUP_ICON);
  ASSERT_NE(found, nullptr);
  const BYTE* group = static_cast<const BYTE*>(LockResource(LoadResource(module_, found)));
  const WORD count = *reinterpret_cast<const WORD*>(group + 4);
  ASSERT_EQ(count, 4);
  std::set<std::pair<int, int>> kinds;
  for (WORD i = 0; i < count; ++i) {
    IconDirEntry entry;
    std::memcpy(&entry, group + 6 + i * 14, 14);
    kinds.insert({entry.width, entry.bitCount});
  }
  EXPECT_EQ(kinds, (std::set<std::pair<int, int>>{{16, 4}, {16, 8}, {32, 4}, {32, 8}}));
}

TEST_F(RestoreResources, NoDialogMenuOrStringTable) {
  std::set<ULONG_PTR> types;
  EnumResourceTypesA(module_, CollectType, reinterpret_cast<LONG_PTR>(&types));
  for (ULONG_PTR unwanted : {ULONG_PTR(5) /* dialog */, ULONG_PTR(4) /* menu */, ULONG_PTR(6) /* strings */}) {
    EXPECT_EQ(types.count(unwanted), 0u) << unwanted;
  }
}

TEST_F(RestoreResources, ManifestAsksForTheUtf8CodePage) {
  HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module_, found))),
                             SizeofResource(module_, found));
  const std::size_t element = manifest.find("<activeCodePage");
  ASSERT_NE(element, std::string::npos);
  EXPECT_EQ(manifest.compare(manifest.find('>', element), 7, ">UTF-8<"), 0);
}

TEST_F(RestoreResources, FrenchVersionStrings) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path_.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(path_.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x040C);
  EXPECT_EQ(translation[1], 1200);

  const std::vector<std::pair<const char*, const char*>> expected{
      {"Comments", "This file is used to unsplit"},
      {"FileDescription", "Morsela Stand Alone Application"},
      {"FileVersion", "1.00"},
      {"InternalName", "Morsela"},
      {"OriginalFilename", "Morsela.exe"},
      {"ProductName", "Quellin Studio Morsela"},
      {"ProductVersion", "1.00"},
      {"LegalTrademarks", ""},
      {"PrivateBuild", ""},
      {"SpecialBuild", ""},
  };
  for (const auto& [key, value] : expected) {
    char* text = nullptr;
    const std::string query = std::string("\\StringFileInfo\\040c04b0\\") + key;
    ASSERT_TRUE(VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length)) << key;
    EXPECT_EQ(std::string(text), value) << key;
  }
}

}  // namespace
