// The resources of the built restore program, read back through the system's
// resource and version APIs: its icon group, its version and nothing else;
// and Morsela.exe's icon group beside its own.
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

// The images of the icon group `groupId` in `module`, each as the group
// names it and its bytes, loaded by the system at its own size.
struct IconImage {
  IconDirEntry entry;
  std::string data;
};

std::vector<IconImage> IconImages(HMODULE module, int groupId) {
  std::vector<IconImage> images;
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(groupId), RT_GROUP_ICON);
  if (!found) return images;
  const BYTE* group = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
  const WORD count = *reinterpret_cast<const WORD*>(group + 4);
  for (WORD i = 0; i < count; ++i) {
    IconImage image;
    std::memcpy(&image.entry, group + 6 + i * 14, 14);
    HRSRC one = FindResourceA(module, MAKEINTRESOURCEA(image.entry.id), RT_ICON);
    if (one)
      image.data.assign(static_cast<const char*>(LockResource(LoadResource(module, one))), SizeofResource(module, one));
    images.push_back(image);
  }
  return images;
}

// Both programs' icons hold every size Windows shows, each drawn for it:
// the restore program's all as PNG (it is written beside every set, and
// kept small), Morsela.exe's as 32-bit bitmaps up to 64 pixels and the
// 256-pixel one as PNG. The system reads each at its own size.
TEST_F(RestoreResources, IconGroupsHoldEverySize) {
  const char* splitter = std::getenv("MORSELA_SPLITTER_EXE");
  ASSERT_NE(splitter, nullptr) << "MORSELA_SPLITTER_EXE names Morsela.exe";
  HMODULE splitterModule = LoadLibraryExA(splitter, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(splitterModule, nullptr) << GetLastError();
  const struct {
    HMODULE module;
    int group;
    int largestBitmap;  // the largest size stored as a bitmap; 0: every size as PNG
  } programs[] = {{module_, 104, 0}, {splitterModule, 128, 64}};
  for (const auto& program : programs) {
    SCOPED_TRACE(program.group);
    std::vector<int> sizes;
    for (const IconImage& image : IconImages(program.module, program.group)) {
      const int size = image.entry.width ? image.entry.width : 256;
      SCOPED_TRACE(size);
      sizes.push_back(size);
      EXPECT_EQ(image.entry.bitCount, 32);
      const bool png = image.data.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
      EXPECT_EQ(png, size > program.largestBitmap);
      ASSERT_GE(image.data.size(), 24u);
      // The image's own width: a PNG's IHDR (big-endian), a bitmap's header.
      const auto byte = [&](std::size_t at) { return unsigned(static_cast<unsigned char>(image.data[at])); };
      const unsigned width = png ? byte(16) << 24 | byte(17) << 16 | byte(18) << 8 | byte(19)
                                 : byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24;
      EXPECT_EQ(width, unsigned(size));
      std::string bytes = image.data;  // the call takes a writable pointer
      HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(&bytes[0]), DWORD(bytes.size()), TRUE, 0x00030000,
                                            size, size, LR_DEFAULTCOLOR);
      ASSERT_NE(icon, nullptr);
      ICONINFO info{};
      ASSERT_TRUE(GetIconInfo(icon, &info));
      BITMAP bitmap{};
      GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
      EXPECT_EQ(bitmap.bmWidth, size);
      if (info.hbmColor) DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
      DestroyIcon(icon);
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}));
  }
  FreeLibrary(splitterModule);
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
