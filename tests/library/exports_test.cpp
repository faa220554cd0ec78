// The DLL as a host application meets it: loaded at run time, every export
// found by name and by ordinal, and nothing in its tables that should not be.
#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Ordinals follow the byte order of the names and never change.
const std::vector<std::string> kExports = {
    "CreateSprite", "Dispose", "DisposeAllSprites", "DisposeCurrentSprite", "DisposeSprite", "DrawClear",
    "DrawEllipse", "DrawImage", "DrawImageScaled", "DrawLine", "DrawPixel", "DrawRect",
    "DrawString", "Init", "LogC", "LogD", "LogE", "LogI",
    "LogV", "LogW", "SetAlpha", "SetBackground", "SetBound", "SetColor",
    "SetEditSprite", "SetEncodingShiftJIS", "SetEncodingUTF8", "SetOPoint", "SetResolution", "SetVisible",
    "SetZ"};

// The DLL's own architecture: 32-bit x86, or PE32+ x86-64.
#ifdef _WIN64
constexpr WORD kMachine = IMAGE_FILE_MACHINE_AMD64;
constexpr WORD kOptionalHeaderMagic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
#else
constexpr WORD kMachine = IMAGE_FILE_MACHINE_I386;
constexpr WORD kOptionalHeaderMagic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
#endif

class Dll : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(module, nullptr) << "LoadLibrary failed: " << GetLastError(); }
  void TearDown() override { FreeLibrary(module); }

  const IMAGE_DATA_DIRECTORY& Directory(int entry) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return nt->OptionalHeader.DataDirectory[entry];
  }

  HMODULE module = LoadLibraryA("VesprineDovetide.dll");
  const char* base = reinterpret_cast<const char*>(module);
};

TEST_F(Dll, IsAnImageOfItsArchitecture) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  EXPECT_EQ(nt->FileHeader.Machine, kMachine);
  EXPECT_EQ(nt->OptionalHeader.Magic, kOptionalHeaderMagic);
  EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
}

TEST_F(Dll, EveryExportByNameAndByOrdinal) {
  for (size_t i = 0; i < kExports.size(); ++i) {
    const WORD ordinal = static_cast<WORD>(i + 1);
    const FARPROC by_name = GetProcAddress(module, kExports[i].c_str());
    const FARPROC by_ordinal = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    EXPECT_NE(by_name, nullptr) << kExports[i];
    EXPECT_EQ(by_name, by_ordinal) << kExports[i] << " is not ordinal " << ordinal;
  }
  EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(32)), nullptr);
  EXPECT_EQ(GetProcAddress(module, "DllMain"), nullptr);
}

TEST_F(Dll, ExportTableHoldsExactlyTheNames) {
  const auto& directory = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  EXPECT_EQ(exports->Base, 1u);
  EXPECT_EQ(exports->NumberOfFunctions, kExports.size());
  ASSERT_EQ(exports->NumberOfNames, kExports.size());
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    EXPECT_EQ(std::string(base + names[i]), kExports[i]);
    EXPECT_EQ(ordinals[i], i) << kExports[i];
  }
}

TEST_F(Dll, ImportsOnlySystemLibraries) {
  const auto& directory = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  std::set<std::string> imported;
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       entry->Name != 0; ++entry) {
    std::string name = base + entry->Name;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    imported.insert(name);
  }
  EXPECT_EQ(imported, (std::set<std::string>{"KERNEL32.DLL", "MSVCRT.DLL"}));
}

// The DLL's properties say what it is.
TEST_F(Dll, VersionResource) {
  char path[MAX_PATH];
  ASSERT_NE(GetModuleFileNameA(module, path, MAX_PATH), 0u);
  DWORD unused = 0;
  std::vector<char> info(GetFileVersionInfoSizeA(path, &unused));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, static_cast<DWORD>(info.size()), info.data()));
  const auto value = [&](const char* name) {
    char* text = nullptr;
    UINT size = 0;
    const std::string key = std::string("\\StringFileInfo\\040904b0\\") + name;
    return VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&text), &size) ? std::string(text)
                                                                                             : std::string();
  };
  EXPECT_EQ(value("ProductName"), "VesprineDovetide");
  EXPECT_EQ(value("FileVersion"), VESPRINE_EXPECTED_VERSION);
  EXPECT_EQ(value("OriginalFilename"), "VesprineDovetide.dll");
  EXPECT_NE(value("FileDescription"), "");
  EXPECT_NE(value("LegalCopyright"), "");
}

}  // namespace
