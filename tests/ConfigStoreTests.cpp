// config.ini next to the executable: the values the launcher and game window read.
#include "TestSupport.h"
#include "app/ConfigStore.h"
#include "framework/ModulePath.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::wstring ExeFolder() {
    return ModuleFolder(fw::ModuleFileName(nullptr));
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::wstring open = path.size() >= MAX_PATH ? L"\\\\?\\" + path : path;
    HANDLE h = ::CreateFileW(open.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
}

std::string Utf16Bom(const std::wstring& text) {
    std::string out = "\xFF\xFE";
    for (wchar_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return out;
}

// Writes config.ini beside the test executable for the length of a test.
class ConfigStore : public testing::Test {
protected:
    void SetUp() override { m_path = ExeFolder() + L"config.ini"; }
    void TearDown() override { ::DeleteFileW(m_path.c_str()); }
    void Write(const std::string& bytes) { WriteBytes(m_path, bytes); }
    std::wstring m_path;
};

TEST_F(ConfigStore, MissingFileSectionOrKeyGivesTheSentinel) {
    ::DeleteFileW(m_path.c_str());
    EXPECT_EQ(ReadConfigValue(L"client_web"), L"error");
    Write("[other]\r\nclient_web=http://x/\r\n");
    EXPECT_EQ(ReadConfigValue(L"client_web"), L"error");
    Write("[mw]\r\nfullscn_key=abc\r\n");
    EXPECT_EQ(ReadConfigValue(L"client_web"), L"error");
    EXPECT_EQ(ReadConfigValue(L"fullscn_key"), L"abc");
}

TEST_F(ConfigStore, ValuesFollowProfileRules) {
    Write("[MW]\r\n"
          "CLIENT_WEB = http://host.example/Home/GameServer/micro?name=ov22  \r\n"
          "fullscn_key=fullscn=1\r\n"
          "service_key=\r\n"
          "quoted=\"  spaced  \"\r\n"
          "single='x'\r\n"
          "sentinel=error\r\n"
          "upper=ERROR\r\n"
          "client_web=second-one-ignored\r\n");
    EXPECT_EQ(ReadConfigValue(L"client_web"), L"http://host.example/Home/GameServer/micro?name=ov22");
    EXPECT_EQ(ReadConfigValue(L"fullscn_key"), L"fullscn=1") << "only the first = splits";
    EXPECT_EQ(ReadConfigValue(L"service_key"), L"") << "empty is not missing";
    EXPECT_EQ(ReadConfigValue(L"quoted"), L"  spaced  ");
    EXPECT_EQ(ReadConfigValue(L"single"), L"x");
    EXPECT_EQ(ReadConfigValue(L"sentinel"), L"error");
    EXPECT_EQ(ReadConfigValue(L"upper"), L"ERROR");
}

TEST_F(ConfigStore, LongValueIsCutTo511Characters) {
    const std::string value(600, 'v');
    Write("[mw]\r\nclient_web=" + value + "\r\n");
    EXPECT_EQ(ReadConfigValue(L"client_web"), std::wstring(511, L'v'));
}

TEST_F(ConfigStore, Utf16FileWithByteOrderMark) {
    Write(Utf16Bom(L"[mw]\r\nclient_web=http://utf16.example/\r\nfullscn_key=k=1\r\n"));
    EXPECT_EQ(ReadConfigValue(L"client_web"), L"http://utf16.example/");
    EXPECT_EQ(ReadConfigValue(L"fullscn_key"), L"k=1");
}

TEST_F(ConfigStore, EditsTakeEffectAtTheNextRead) {
    Write("[mw]\r\nclient_web=one\r\n");
    EXPECT_EQ(ReadConfigValue(L"client_web"), L"one");
    Write("[mw]\r\nclient_web=two\r\n");
    EXPECT_EQ(ReadConfigValue(L"client_web"), L"two");
}

TEST_F(ConfigStore, WorkingDirectoryDoesNotMatter) {
    Write("[mw]\r\nclient_web=beside-the-exe\r\n");
    wchar_t temp[MAX_PATH];
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring other = std::wstring(temp) + L"orvane-cwd-test\\";
    ::CreateDirectoryW(other.c_str(), nullptr);
    WriteBytes(other + L"config.ini", "[mw]\r\nclient_web=in-the-working-directory\r\n");
    wchar_t saved[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(other.c_str()));
    const std::wstring value = ReadConfigValue(L"client_web");
    ::SetCurrentDirectoryW(saved);
    ::DeleteFileW((other + L"config.ini").c_str());
    ::RemoveDirectoryW(other.c_str());
    EXPECT_EQ(value, L"beside-the-exe");
}

TEST(ConfigPath, FolderKeepsItsSeparatorAndFileFollowsADoubledOne) {
    EXPECT_EQ(ConfigPathForModule(L"C:\\Games\\Launcher\\Orvane.exe"), L"C:\\Games\\Launcher\\\\config.ini");
    EXPECT_EQ(ConfigPathForModule(L"\\\\server\\share\\Orvane.exe"), L"\\\\server\\share\\\\config.ini");
    // A module path that could not be read is no file, not \config.ini on the current drive.
    EXPECT_EQ(ConfigPathForModule(L""), L"");
    EXPECT_EQ(ReadProfileValue(L"", L"mw", L"client_web"), L"error");
    EXPECT_EQ(ConfigPathForModule(L"C:Orvane.exe"), L"C:\\config.ini");
}

TEST(ConfigPath, LongModulePathsKeepTheirWholeFolder) {
    std::wstring folder = L"C:\\";
    while (folder.size() < 600) folder += L"very-long-folder-name-0123456789\\";
    const std::wstring module = folder + L"Orvane.exe";
    ASSERT_GT(module.size(), 260u);
    EXPECT_EQ(ConfigPathForModule(module), folder + L"\\config.ini");
}

// The profile parser used beyond MAX_PATH must agree with GetPrivateProfileStringW.
TEST(ConfigPath, OwnProfileReaderAgreesWithThePlatform) {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring path = std::wstring(temp) + L"orvane-profile-compare.ini";
    const std::string files[] = {
        "[mw]\r\nclient_web=http://a/\r\n",
        "[x]\r\nclient_web=no\r\n[ MW ]\r\n  Client_Web  =  'quoted value'  \r\nfullscn_key=\r\n",
        "[mw]\nclient_web=\"a=b=c\"\nservice_key=server\n[mw]\nclient_web=late\n",
        "client_web=outside\r\n[mw]\r\n;client_web=comment\r\nclient_web=inside\r\n",
        "[mw]\r\nclient_web=" + std::string(700, 'z') + "\r\n",
        Utf16Bom(L"[mw]\r\nclient_web=\x4e2d\x6587\r\n"),
        // UTF-8 with a byte-order mark, as Notepad saves it: the mark is not part of the section name.
        "\xEF\xBB\xBF[mw]\r\nclient_web=http://utf8.example/\xE4\xB8\xAD\r\nfullscn_key=k\r\n",
        "",
    };
    for (const std::string& bytes : files) {
        WriteBytes(path, bytes);
        for (const wchar_t* key : {L"client_web", L"fullscn_key", L"service_key", L"missing"}) {
            wchar_t buffer[512] = {};
            ::GetPrivateProfileStringW(L"mw", key, L"error", buffer, 512, path.c_str());
            EXPECT_EQ(ParseProfileValue(bytes, L"mw", key), std::wstring(buffer)) << "key " << key << " file " << bytes;
        }
    }
    ::DeleteFileW(path.c_str());
}

// A folder under the temporary folder whose path is longer than MAX_PATH, removed with
// everything the test put in it.
class DeepFolder {
public:
    DeepFolder() {
        wchar_t temp[MAX_PATH];
        if (::GetTempPathW(MAX_PATH, temp) == 0) return;
        std::wstring folder = temp;
        while (folder.size() < 300) {
            folder += L"deep-folder-for-config-test-0123456789\\";
            if (!::CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
                return;
            }
            m_made.push_back(folder);
        }
        m_path = folder;
    }
    ~DeepFolder() {
        for (const std::wstring& file : m_files) ::DeleteFileW((L"\\\\?\\" + file).c_str());
        for (auto it = m_made.rbegin(); it != m_made.rend(); ++it) ::RemoveDirectoryW((L"\\\\?\\" + *it).c_str());
    }
    // The folder with its trailing separator; empty when it could not be made.
    const std::wstring& path() const { return m_path; }
    // A file in the folder, removed with it.
    std::wstring File(const std::wstring& name) {
        m_files.push_back(m_path + name);
        return m_files.back();
    }

private:
    std::wstring m_path;
    std::vector<std::wstring> m_made, m_files;
};

TEST(ConfigPath, FileInAFolderBeyondMaxPathIsRead) {
    DeepFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const std::wstring config = ConfigPathForModule(folder.path() + L"Orvane.exe");
    WriteBytes(folder.File(L"config.ini"), "[mw]\r\nclient_web=http://deep.example/\r\n");
    EXPECT_EQ(ReadProfileValue(config, L"mw", L"client_web"), L"http://deep.example/");
    EXPECT_EQ(ReadProfileValue(config, L"mw", L"fullscn_key"), L"error");
}

constexpr wchar_t kExpectedValueVariable[] = L"ORVANE_EXPECTED_CLIENT_WEB";

// Run by tests/beyond-max-path.sh from a copy of this executable in a folder whose path is
// longer than MAX_PATH, with the config.ini it writes there and the value to expect; skipped
// in an ordinary run. (Wine's CreateProcessW cannot start a program from such a folder, so a
// test in here cannot be the parent.)
TEST(ConfigPath, ChildReadsTheFileBesideItsOwnExecutable) {
    wchar_t expected[600] = {};
    const DWORD n = ::GetEnvironmentVariableW(kExpectedValueVariable, expected, 600);
    if (n == 0 || n >= 600) GTEST_SKIP() << "run by tests/beyond-max-path.sh";
    EXPECT_GT(fw::ModuleFileName(nullptr).size(), static_cast<size_t>(MAX_PATH));
    EXPECT_EQ(ReadConfigValue(L"client_web"), std::wstring(expected));
}

} // namespace
