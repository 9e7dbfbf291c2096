// The resources linked into the executable (the tests link the same script): inventory,
// languages, and the content of every item whose bytes or structure are fixed.
#include "ImageTestSupport.h"
#include "TestSupport.h"

#include "framework/DialogTemplate.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr WORD kLangChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED); // 0x0804
constexpr WORD kLangEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);         // 0x0409
const LPCWSTR kTypePng = L"PNG";

HMODULE Exe() { return ::GetModuleHandleW(nullptr); }

LPCWSTR IntRes(WORD id) { return MAKEINTRESOURCEW(id); }

std::wstring ResName(LPCWSTR name) {
    if (IS_INTRESOURCE(name)) return L"#" + std::to_wstring(LOWORD(reinterpret_cast<ULONG_PTR>(name)));
    return name;
}

// The bytes of one resource in one language, looked up by exactly that language.
struct LangResource {
    HRSRC info = nullptr;
    const BYTE* data = nullptr;
    DWORD size = 0;
};
LangResource FindLang(LPCWSTR type, LPCWSTR name, WORD lang) {
    LangResource r;
    r.info = ::FindResourceExW(Exe(), type, name, lang);
    if (!r.info) return r;
    if (HGLOBAL h = ::LoadResource(Exe(), r.info)) r.data = static_cast<const BYTE*>(::LockResource(h));
    r.size = ::SizeofResource(Exe(), r.info);
    return r;
}

std::vector<BYTE> Bytes(LPCWSTR type, LPCWSTR name) {
    const ResourceBytes rb = FindResourceBytes(Exe(), name, type);
    return rb.data ? std::vector<BYTE>(rb.data, rb.data + rb.size) : std::vector<BYTE>();
}

std::vector<WORD> Languages(LPCWSTR type, LPCWSTR name) {
    std::vector<WORD> langs;
    ::EnumResourceLanguagesW(
        Exe(), type, name,
        [](HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR p) -> BOOL {
            reinterpret_cast<std::vector<WORD>*>(p)->push_back(lang);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&langs));
    return langs;
}

// "type/name/lang" for every resource of the executable.
std::set<std::wstring> Inventory() {
    struct Walk {
        std::set<std::wstring> out;
        std::wstring type, name;
    } walk;
    ::EnumResourceTypesW(
        Exe(),
        [](HMODULE m, LPWSTR type, LONG_PTR p) -> BOOL {
            auto* w = reinterpret_cast<Walk*>(p);
            w->type = ResName(type);
            ::EnumResourceNamesW(
                m, type,
                [](HMODULE, LPCWSTR type2, LPWSTR name, LONG_PTR p2) -> BOOL {
                    auto* w2 = reinterpret_cast<Walk*>(p2);
                    w2->name = ResName(name);
                    for (WORD lang : Languages(type2, name)) {
                        wchar_t buf[16];
                        ::swprintf(buf, 16, L"%04X", lang);
                        w2->out.insert(w2->type + L"/" + w2->name + L"/" + buf);
                    }
                    return TRUE;
                },
                p);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&walk));
    return walk.out;
}

struct ExpectedResource {
    LPCWSTR type;
    WORD id;
    WORD lang;
    DWORD size; // 0: not fixed (art, texts of our own)
};

const ExpectedResource kResources[] = {
    {RT_DIALOG, IDD_VXTRANSLUCENT_DIALOG, kLangChinese, 76},
    {RT_DIALOG, IDD_VXSTANDARD_DIALOG, kLangChinese, 344},
    {RT_DIALOG, IDD_VXGAME_DIALOG, kLangChinese, 76},
    {RT_DIALOG, IDD_DIAGNOSE, kLangChinese, 0}, // the diagnosis window
    {kTypePng, IDB_CLOSE_HOT, kLangChinese, 0},
    {kTypePng, IDB_CLOSE, kLangChinese, 0},
    {kTypePng, IDB_SKIN, kLangChinese, 0},
    {kTypePng, IDB_MIN, kLangChinese, 0},
    {kTypePng, IDB_MIN_HOT, kLangChinese, 0},
    {kTypePng, IDB_SKIN_2X, kLangChinese, 0},
    {kTypePng, IDB_CLOSE_HOT_2X, kLangChinese, 0},
    {kTypePng, IDB_CLOSE_2X, kLangChinese, 0},
    {kTypePng, IDB_MIN_2X, kLangChinese, 0},
    {kTypePng, IDB_MIN_HOT_2X, kLangChinese, 0},
    {RT_GROUP_ICON, IDR_MAINFRAME, kLangChinese, 20},
    {RT_ICON, 1, kLangChinese, 9640},
    {RT_HTML, IDR_HTML_GAME, kLangChinese, 237},
    {MAKEINTRESOURCEW(RESTYPE_DLGINIT), IDD_VXSTANDARD_DIALOG, kLangChinese, 926},
    {RT_MANIFEST, 1, kLangEnglish, 0},
    {RT_VERSION, 1, kLangChinese, 0},
};

} // namespace

// Every resource is there once, in its one language, and nothing else is.
TEST(ResourceTable, EveryResourceOnceInItsLanguage) {
    std::set<std::wstring> expected;
    for (const ExpectedResource& r : kResources) {
        SCOPED_TRACE(ResName(r.type) + L"/" + std::to_wstring(r.id));
        const LangResource found = FindLang(r.type, IntRes(r.id), r.lang);
        ASSERT_NE(found.info, nullptr);
        ASSERT_NE(found.data, nullptr);
        if (r.size) {
            EXPECT_EQ(found.size, r.size);
        } else {
            EXPECT_GT(found.size, 0u);
        }
        EXPECT_EQ(Languages(r.type, IntRes(r.id)), std::vector<WORD>{r.lang});
        // Lookups in other languages (with the loader's fallbacks) reach the same copy or none.
        for (WORD other : {WORD(0), WORD(0x0400), WORD(0x0800), kLangEnglish, kLangChinese,
                           WORD(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL))}) {
            const LangResource alt = FindLang(r.type, IntRes(r.id), other);
            if (alt.info) {
                EXPECT_EQ(alt.data, found.data) << "language " << std::hex << other;
            }
        }
        // The plain lookup the framework and the loader use finds it too.
        EXPECT_EQ(FindResourceBytes(Exe(), IntRes(r.id), r.type).data, found.data);
        wchar_t lang[16];
        ::swprintf(lang, 16, L"%04X", r.lang);
        expected.insert(ResName(r.type) + L"/#" + std::to_wstring(r.id) + L"/" + lang);
    }
    EXPECT_EQ(Inventory(), expected);
}

TEST(ResourceTable, GamePageByteForByte) {
    const char* const lines[] = {
        "<HTML>",
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\"/>",
        "<BODY ID=CVxGameDlg BGCOLOR=BLACK>",
        "",
        "<TABLE WIDTH=100%>",
        "<TR>",
        "<TD ALIGN=RIGHT>",
        "</TD>",
        "</TR>",
        "<TR WIDTH=100% HEIGHT=75>",
        "</TR>",
        "</TABLE>",
        "",
        "</BODY>",
        "</HTML>",
    };
    std::string expected;
    for (size_t i = 0; i < std::size(lines); ++i) {
        if (i) expected += "\r\n";
        expected += lines[i];
    }
    ASSERT_EQ(expected.size(), 237u);
    const std::vector<BYTE> page = Bytes(RT_HTML, IntRes(IDR_HTML_GAME));
    EXPECT_EQ(std::string(page.begin(), page.end()), expected);
}

TEST(ResourceTable, ManifestRequestsNoElevationAndDeclaresDpiAwareness) {
    const std::vector<BYTE> bytes = Bytes(RT_MANIFEST, IntRes(1));
    ASSERT_GT(bytes.size(), 3u);
    EXPECT_EQ(bytes[0], 0xEF);
    EXPECT_EQ(bytes[1], 0xBB);
    EXPECT_EQ(bytes[2], 0xBF);
    const std::string xml(bytes.begin() + 3, bytes.end());
    EXPECT_EQ(xml.find("<?xml version=\"1.0\" encoding=\"UTF-8\""), 0u);
    EXPECT_NE(xml.find("manifestVersion=\"1.0\""), std::string::npos);
    EXPECT_NE(xml.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
    const size_t dpi = xml.find("<dpiAware");
    ASSERT_NE(dpi, std::string::npos);
    const size_t value = xml.find('>', dpi);
    EXPECT_EQ(xml.compare(value, 16, ">true</dpiAware>"), 0);
    EXPECT_EQ(xml.find("dependency"), std::string::npos);
    EXPECT_EQ(xml.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_EQ(xml.find("</assembly>"), xml.rfind('<'));
    // The platform's loader accepts it: an activation context can be made from it.
    wchar_t path[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    ACTCTXW ctx{};
    ctx.cbSize = sizeof ctx;
    ctx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    ctx.lpSource = path;
    ctx.lpResourceName = IntRes(1);
    HANDLE act = ::CreateActCtxW(&ctx);
    EXPECT_NE(act, INVALID_HANDLE_VALUE);
    if (act != INVALID_HANDLE_VALUE) ::ReleaseActCtx(act);
}

namespace {

// One node of a version block: key, value bytes and children.
struct VersionNode {
    std::wstring key;
    WORD type = 0;
    std::vector<VersionNode> children;
};

size_t Align4(size_t n) { return (n + 3) & ~size_t(3); }

bool ParseVersionNode(const BYTE* p, size_t avail, VersionNode& out) {
    if (avail < 6) return false;
    WORD length, valueLength;
    std::memcpy(&length, p, 2);
    std::memcpy(&valueLength, p + 2, 2);
    std::memcpy(&out.type, p + 4, 2);
    if (length < 6 || length > avail) return false;
    size_t pos = 6;
    for (;;) {
        if (pos + 2 > length) return false;
        WCHAR c;
        std::memcpy(&c, p + pos, 2);
        pos += 2;
        if (!c) break;
        out.key.push_back(c);
    }
    pos = Align4(pos) + (out.type == 1 ? valueLength * 2u : valueLength);
    pos = Align4(pos);
    while (pos + 6 <= length) {
        VersionNode child;
        if (!ParseVersionNode(p + pos, length - pos, child)) return false;
        WORD childLength;
        std::memcpy(&childLength, p + pos, 2);
        out.children.push_back(std::move(child));
        pos = Align4(pos + childLength);
    }
    return true;
}

std::wstring VersionString(std::vector<BYTE>& block, const std::wstring& name) {
    void* value = nullptr;
    UINT len = 0;
    const std::wstring path = L"\\StringFileInfo\\080403a8\\" + name;
    if (!::VerQueryValueW(block.data(), path.c_str(), &value, &len) || !value) return L"<missing>";
    return static_cast<const wchar_t*>(value);
}

} // namespace

TEST(ResourceTable, VersionBlock) {
    std::vector<BYTE> block = Bytes(RT_VERSION, IntRes(1));
    ASSERT_FALSE(block.empty());
    // VerQueryValueW may write a converted copy behind the block: give it room, as
    // GetFileVersionInfoW does.
    const size_t size = block.size();
    block.resize(size * 3, 0);

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    ASSERT_EQ(len, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(1, 18));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(1, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(1, 18));
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &len));
    ASSERT_EQ(len, 4u);
    EXPECT_EQ(translation[0], 0x0804);
    EXPECT_EQ(translation[1], 936);

    EXPECT_EQ(VersionString(block, L"ProductName"), L"Orvane");
    EXPECT_EQ(VersionString(block, L"InternalName"), L"Orvane.exe");
    EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"Orvane.exe");
    EXPECT_EQ(VersionString(block, L"FileVersion"), L"1.1.18.1");
    EXPECT_EQ(VersionString(block, L"ProductVersion"), L"1.1.18.1");
    for (const wchar_t* own : {L"CompanyName", L"FileDescription", L"LegalCopyright"}) {
        EXPECT_NE(VersionString(block, own), L"<missing>") << own;
    }

    // Exactly one string table, and it is "080403a8".
    VersionNode root;
    ASSERT_TRUE(ParseVersionNode(block.data(), size, root));
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    std::vector<std::wstring> tables;
    for (const VersionNode& child : root.children) {
        if (child.key != L"StringFileInfo") continue;
        for (const VersionNode& table : child.children) tables.push_back(table.key);
    }
    EXPECT_EQ(tables, std::vector<std::wstring>{L"080403a8"});
}

TEST(ResourceTable, OnlyIconGroupHoldsOne48PixelImage) {
    const std::vector<BYTE> group = Bytes(RT_GROUP_ICON, IntRes(IDR_MAINFRAME));
    ASSERT_EQ(group.size(), 6u + 14u);
    WORD header[3];
    std::memcpy(header, group.data(), sizeof header);
    EXPECT_EQ(header[0], 0);  // reserved
    EXPECT_EQ(header[1], 1);  // icons
    ASSERT_EQ(header[2], 1);  // one image
    const BYTE* e = group.data() + 6; // packed GRPICONDIRENTRY
    EXPECT_EQ(e[0], 48);               // width
    EXPECT_EQ(e[1], 48);               // height
    EXPECT_EQ(e[2], 0);                // no palette
    WORD planes, bits, iconId;
    DWORD bytesInRes;
    std::memcpy(&planes, e + 4, 2);
    std::memcpy(&bits, e + 6, 2);
    std::memcpy(&bytesInRes, e + 8, 4);
    std::memcpy(&iconId, e + 12, 2);
    EXPECT_EQ(planes, 1);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(bytesInRes, 9640u);
    EXPECT_EQ(iconId, 1);

    // The platform picks that image for a 48 x 48 icon and can build it.
    EXPECT_EQ(::LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group.data()), TRUE, 48, 48, 0), iconId);
    std::vector<BYTE> image = Bytes(RT_ICON, IntRes(iconId));
    ASSERT_EQ(image.size(), bytesInRes);
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, image.data(), sizeof bih);
    EXPECT_EQ(bih.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(bih.biWidth, 48);
    EXPECT_EQ(bih.biHeight, 96); // colour rows plus mask rows
    EXPECT_EQ(bih.biBitCount, 32);
    fw::UniqueIcon icon(::CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE, 0x00030000,
                                                   48, 48, LR_DEFAULTCOLOR));
    ASSERT_TRUE(icon);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
    fw::UniqueBitmap color(info.hbmColor), mask(info.hbmMask);
    BITMAP bm{};
    ASSERT_TRUE(::GetObjectW(color.get(), sizeof bm, &bm));
    EXPECT_EQ(bm.bmWidth, 48);
    EXPECT_EQ(bm.bmHeight, 48);

    std::vector<std::wstring> groups;
    ::EnumResourceNamesW(
        Exe(), RT_GROUP_ICON,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR p) -> BOOL {
            reinterpret_cast<std::vector<std::wstring>*>(p)->push_back(ResName(name));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&groups));
    EXPECT_EQ(groups, std::vector<std::wstring>{L"#155"});
}

namespace {

std::string ButtonProps(const char* fullTextTool, const char* imageType) {
    const std::pair<const char*, std::string> props[] = {
        {"MFCButton_Style", "6"},
        {"MFCButton_Autosize", "FALSE"},
        {"MFCButton_Tooltip", ""},
        {"MFCButton_FullTextTool", fullTextTool},
        {"MFCButton_CursorType", "12"},
        {"MFCButton_ImageType", imageType},
        {"MFCButton_ImageOnTop", "FALSE"},
        {"MFCButton_ImageOnRight", "FALSE"},
    };
    std::string s;
    for (const auto& p : props) s += std::string("<") + p.first + ">" + p.second + "</" + p.first + ">";
    return s;
}

} // namespace

TEST(ResourceTable, CompanionControlInitialData) {
    const std::vector<BYTE> bytes = Bytes(MAKEINTRESOURCEW(RESTYPE_DLGINIT), IntRes(IDD_VXSTANDARD_DIALOG));
    ASSERT_EQ(bytes.size(), 926u);
    const std::vector<DlgInitRecord> records = ParseDlgInit(bytes.data(), bytes.size());
    ASSERT_EQ(records.size(), 3u);

    EXPECT_EQ(records[0].id, IDC_BROWSER);
    EXPECT_EQ(records[0].message, WM_OCC_LOADFROMSTREAM);
    ASSERT_EQ(records[0].data.size(), 160u);
    // Our browser state: the control's class id, then format version 1.
    const GUID clsidWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
    EXPECT_EQ(std::memcmp(records[0].data.data(), &clsidWebBrowser, sizeof clsidWebBrowser), 0);
    DWORD version;
    std::memcpy(&version, records[0].data.data() + 16, 4);
    EXPECT_EQ(version, 1u);

    const std::string closeProps = ButtonProps("FALSE", "10");
    const std::string minProps = ButtonProps("TRUE", "8");
    ASSERT_EQ(closeProps.size(), 371u);
    ASSERT_EQ(minProps.size(), 369u);
    EXPECT_EQ(records[1].id, IDC_BTN_CLOSE);
    EXPECT_EQ(records[1].message, WM_MFC_INITCTRL);
    EXPECT_EQ(std::string(records[1].data.begin(), records[1].data.end()), closeProps);
    EXPECT_EQ(records[2].id, IDC_BTN_MINIMIZE);
    EXPECT_EQ(records[2].message, WM_MFC_INITCTRL);
    EXPECT_EQ(std::string(records[2].data.begin(), records[2].data.end()), minProps);

    // The records fill the resource up to a terminating zero id.
    size_t used = 0;
    for (const DlgInitRecord& r : records) used += 8 + r.data.size();
    EXPECT_EQ(used + 2, bytes.size());
    EXPECT_EQ(bytes[used], 0);
    EXPECT_EQ(bytes[used + 1], 0);
}

namespace {

struct ExpectedItem {
    DWORD id;
    LPCWSTR className; // null: the predefined button class (ordinal 0x0080 or "Button")
    LPCWSTR text;
    DWORD style;
    short x, y, cx, cy;
};

struct ExpectedTemplate {
    WORD id;
    DWORD style, exStyle;
    short x, y, cx, cy;
    LPCWSTR caption;
    WORD pointSize, weight;
    BYTE italic, charset;
    LPCWSTR typeface;
    std::vector<ExpectedItem> items;
};

const ExpectedTemplate kTemplates[] = {
    {IDD_VXTRANSLUCENT_DIALOG, 0x10C90048, WS_EX_APPWINDOW, 0, 0, 315, 208, L"Orvane", 9, 0, 0, 1, L"MS Shell Dlg", {}},
    {IDD_VXSTANDARD_DIALOG,
     0x80000040,
     0,
     0,
     0,
     662,
     388,
     L"",
     9,
     0,
     0,
     0,
     L"MS Sans Serif",
     {
         {IDC_BTN_SITE, nullptr, L"\u5B98\u65B9\u7F51\u7AD9", 0x40010C81, 0, 0, 55, 17},
         {IDC_BROWSER, L"{8856F961-340A-11D0-A96B-00C04FD705A2}", L"", 0x50000000, 139, 69, 37, 20},
         {IDC_BTN_CLOSE, L"MfcButton", L"", 0x50000000, 528, 60, 16, 16},
         {IDC_BTN_HIDDEN, nullptr, L"", 0x40010001, 59, 2, 50, 14},
         {IDC_BTN_MINIMIZE, L"MfcButton", L"", 0x50010000, 451, 63, 50, 14},
     }},
    {IDD_VXGAME_DIALOG, 0x80C008C8, WS_EX_APPWINDOW, 0, 0, 835, 415, L"Orvane", 8, 400, 0, 1, L"MS Shell Dlg", {}},
};

bool SameClass(const std::wstring& a, LPCWSTR b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

} // namespace

TEST(ResourceTable, DialogTemplates) {
    for (const ExpectedTemplate& t : kTemplates) {
        SCOPED_TRACE(t.id);
        const std::vector<BYTE> bytes = Bytes(RT_DIALOG, IntRes(t.id));
        DialogTemplateInfo info;
        ASSERT_TRUE(ParseDialogTemplate(bytes.data(), bytes.size(), info));
        EXPECT_TRUE(info.extended);
        EXPECT_EQ(info.version, 1);
        EXPECT_EQ(info.helpId, 0u);
        EXPECT_EQ(info.style, t.style);
        EXPECT_EQ(info.exStyle, t.exStyle);
        EXPECT_EQ(info.x, t.x);
        EXPECT_EQ(info.y, t.y);
        EXPECT_EQ(info.cx, t.cx);
        EXPECT_EQ(info.cy, t.cy);
        // No menu, no window class: both fields are a single zero word.
        WORD menu, windowClass;
        std::memcpy(&menu, bytes.data() + 26, 2);
        std::memcpy(&windowClass, bytes.data() + 28, 2);
        EXPECT_EQ(menu, 0);
        EXPECT_EQ(windowClass, 0);
        EXPECT_EQ(info.caption, t.caption);
        EXPECT_EQ(info.pointSize, t.pointSize);
        EXPECT_EQ(info.weight, t.weight);
        EXPECT_EQ(info.italic, t.italic);
        EXPECT_EQ(info.charset, t.charset);
        EXPECT_EQ(info.typeface, t.typeface);

        ASSERT_EQ(info.items.size(), t.items.size());
        for (size_t i = 0; i < t.items.size(); ++i) {
            const ExpectedItem& want = t.items[i];
            const DialogTemplateItem& got = info.items[i];
            SCOPED_TRACE(want.id);
            EXPECT_EQ(got.id, want.id);
            EXPECT_EQ(got.helpId, 0u);
            EXPECT_EQ(got.exStyle, 0u);
            EXPECT_EQ(got.style, want.style);
            EXPECT_EQ(got.x, want.x);
            EXPECT_EQ(got.y, want.y);
            EXPECT_EQ(got.cx, want.cx);
            EXPECT_EQ(got.cy, want.cy);
            if (want.className) {
                EXPECT_TRUE(SameClass(got.className, want.className)) << "class " << testing::PrintToString(got.className);
            } else {
                EXPECT_TRUE(got.classOrdinal == 0x0080 || SameClass(got.className, L"Button"));
            }
            EXPECT_EQ(got.title, want.text);
            EXPECT_EQ(got.titleOrdinal, 0);
            EXPECT_TRUE(got.extra.empty());
        }
        // Nothing follows the last field.
        const size_t end = info.items.empty() ? info.headerSize : info.items.back().offset + info.items.back().size;
        EXPECT_EQ(end, bytes.size());
    }
}

namespace {

struct PngFacts {
    UINT width = 0, height = 0;
    BYTE bitDepth = 0, colourType = 0, compression = 0, filter = 0, interlace = 0;
    std::vector<std::string> chunks; // types in file order
    bool crcOk = true;
    bool endsAtIend = false;
};

uint32_t Crc32(const BYTE* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

uint32_t BigEndian32(const BYTE* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool ReadPngFacts(const std::vector<BYTE>& b, PngFacts& f) {
    static const BYTE signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (b.size() < 8 + 25 || std::memcmp(b.data(), signature, 8) != 0) return false;
    size_t pos = 8;
    while (pos + 12 <= b.size()) {
        const uint32_t len = BigEndian32(&b[pos]);
        if (len > b.size() - pos - 12) return false;
        const std::string type(reinterpret_cast<const char*>(&b[pos + 4]), 4);
        if (f.chunks.empty()) {
            if (type != "IHDR" || len != 13) return false;
            const BYTE* h = &b[pos + 8];
            f.width = BigEndian32(h);
            f.height = BigEndian32(h + 4);
            f.bitDepth = h[8];
            f.colourType = h[9];
            f.compression = h[10];
            f.filter = h[11];
            f.interlace = h[12];
        }
        f.chunks.push_back(type);
        f.crcOk = f.crcOk && Crc32(&b[pos + 4], len + 4) == BigEndian32(&b[pos + 8 + len]);
        pos += 12 + len;
        if (type == "IEND") {
            f.endsAtIend = pos == b.size();
            break;
        }
    }
    return true;
}

bool HasChunk(const PngFacts& f, const char* type) {
    for (const std::string& c : f.chunks) {
        if (c == type) return true;
    }
    return false;
}

// Mean luminance of the fully opaque pixels, and how many there are.
double OpaqueLuminance(const test::ArgbImage& img, size_t* count) {
    double sum = 0;
    size_t n = 0;
    for (uint32_t c : img.pixels) {
        if (test::Alpha(c) != 255) continue;
        sum += 0.299 * test::Red(c) + 0.587 * test::Green(c) + 0.114 * test::Blue(c);
        ++n;
    }
    if (count) *count = n;
    return n ? sum / n : 0.0;
}

} // namespace

TEST(ResourceTable, PngImages) {
    test::GdiplusSession gdiplus;
    struct Png {
        WORD id;
        UINT width, height;
        BYTE colourType;
    };
    const Png pngs[] = {
        {IDB_CLOSE_HOT, 52, 80, 3}, {IDB_CLOSE, 52, 80, 3}, {IDB_SKIN, 1257, 877, 6},
        {IDB_MIN, 57, 61, 3},       {IDB_MIN_HOT, 57, 61, 3},
        // Twice the size for high-DPI screens.
        {IDB_CLOSE_HOT_2X, 104, 160, 3}, {IDB_CLOSE_2X, 104, 160, 3}, {IDB_SKIN_2X, 2514, 1754, 6},
        {IDB_MIN_2X, 114, 122, 3},       {IDB_MIN_HOT_2X, 114, 122, 3},
    };
    for (const Png& png : pngs) {
        SCOPED_TRACE(png.id);
        const std::vector<BYTE> bytes = Bytes(kTypePng, IntRes(png.id));
        PngFacts f;
        ASSERT_TRUE(ReadPngFacts(bytes, f));
        EXPECT_EQ(f.width, png.width);
        EXPECT_EQ(f.height, png.height);
        EXPECT_EQ(f.bitDepth, 8);
        EXPECT_EQ(f.colourType, png.colourType);
        EXPECT_EQ(f.compression, 0);
        EXPECT_EQ(f.filter, 0);
        EXPECT_EQ(f.interlace, 0);
        EXPECT_TRUE(f.crcOk);
        EXPECT_TRUE(f.endsAtIend);
        EXPECT_TRUE(HasChunk(f, "tEXt"));
        EXPECT_TRUE(HasChunk(f, "iTXt"));
        // Palette images carry their transparency in tRNS.
        EXPECT_EQ(HasChunk(f, "PLTE"), png.colourType == 3);
        EXPECT_EQ(HasChunk(f, "tRNS"), png.colourType == 3);

        test::ArgbImage img;
        ASSERT_TRUE(test::DecodeArgb(bytes.data(), bytes.size(), img));
        EXPECT_EQ(img.width, png.width);
        EXPECT_EQ(img.height, png.height);
        // Every image has a transparent surround.
        EXPECT_EQ(test::Alpha(img.at(0, 0)), 0);
        EXPECT_EQ(test::Alpha(img.at(img.width - 1, img.height - 1)), 0);
    }
}

TEST(ResourceTable, HotButtonImagesAreBrighterVersionsOfTheSameShape) {
    test::GdiplusSession gdiplus;
    for (const auto& pair : {std::pair<WORD, WORD>{IDB_CLOSE, IDB_CLOSE_HOT}, {IDB_MIN, IDB_MIN_HOT},
                             {IDB_CLOSE_2X, IDB_CLOSE_HOT_2X}, {IDB_MIN_2X, IDB_MIN_HOT_2X}}) {
        SCOPED_TRACE(pair.first);
        const std::vector<BYTE> normalBytes = Bytes(kTypePng, IntRes(pair.first));
        const std::vector<BYTE> hotBytes = Bytes(kTypePng, IntRes(pair.second));
        test::ArgbImage normal, hot;
        ASSERT_TRUE(test::DecodeArgb(normalBytes.data(), normalBytes.size(), normal));
        ASSERT_TRUE(test::DecodeArgb(hotBytes.data(), hotBytes.size(), hot));
        ASSERT_EQ(normal.pixels.size(), hot.pixels.size());
        size_t normalOpaque = 0, hotOpaque = 0;
        const double normalLum = OpaqueLuminance(normal, &normalOpaque);
        const double hotLum = OpaqueLuminance(hot, &hotOpaque);
        ASSERT_GT(normalOpaque, normal.pixels.size() / 4);
        EXPECT_GT(hotLum, normalLum * 1.1);
        // Same shape: the opaque areas coincide.
        size_t both = 0, either = 0;
        for (size_t i = 0; i < normal.pixels.size(); ++i) {
            const bool a = test::Alpha(normal.pixels[i]) == 255, b = test::Alpha(hot.pixels[i]) == 255;
            both += a && b;
            either += a || b;
        }
        EXPECT_GE(both * 100, either * 98);
        // Soft edges: translucent pixels from the tRNS chunk.
        size_t partial = 0;
        for (uint32_t c : normal.pixels) partial += test::Alpha(c) > 0 && test::Alpha(c) < 255;
        EXPECT_GT(partial, 50u);
    }
}

TEST(ResourceTable, SkinSurroundPanelAndSoftEdges) {
    test::GdiplusSession gdiplus;
    const std::vector<BYTE> bytes = Bytes(kTypePng, IntRes(IDB_SKIN));
    test::ArgbImage skin;
    ASSERT_TRUE(test::DecodeArgb(bytes.data(), bytes.size(), skin));
    ASSERT_EQ(skin.width, 1257u);
    ASSERT_EQ(skin.height, 877u);
    // The whole outer frame is fully transparent.
    for (UINT x = 0; x < skin.width; ++x) {
        ASSERT_EQ(test::Alpha(skin.at(x, 0)), 0) << x;
        ASSERT_EQ(test::Alpha(skin.at(x, skin.height - 1)), 0) << x;
    }
    for (UINT y = 0; y < skin.height; ++y) {
        ASSERT_EQ(test::Alpha(skin.at(0, y)), 0) << y;
        ASSERT_EQ(test::Alpha(skin.at(skin.width - 1, y)), 0) << y;
    }
    // Under the browser control (363, 308, 658 x 426): opaque and dark.
    for (UINT y = 308; y < 308 + 426; ++y) {
        for (UINT x = 363; x < 363 + 658; ++x) {
            const uint32_t c = skin.at(x, y);
            ASSERT_EQ(test::Alpha(c), 255) << x << "," << y;
            ASSERT_LE(std::max({test::Red(c), test::Green(c), test::Blue(c)}), 40) << x << "," << y;
        }
    }
    size_t partial = 0, opaque = 0;
    for (uint32_t c : skin.pixels) {
        partial += test::Alpha(c) > 0 && test::Alpha(c) < 255;
        opaque += test::Alpha(c) == 255;
    }
    EXPECT_GT(partial, 5000u);
    EXPECT_GT(opaque, size_t(658) * 426);
}
