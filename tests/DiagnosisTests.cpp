// The diagnosis: the network check against servers of our own on 127.0.0.1, the report's
// conclusions for chosen facts, the window, the tray item and the trace kept for them.
#include "LocalHttpServer.h"

#include "GameTestSupport.h"
#include "TestSupport.h"
#include "app/ConfigStore.h"
#include "app/UserAgent.h"
#include "diag/CDiagnosisDlg.h"
#include "diag/DiagnoseMode.h"
#include "diag/DiagnosisCollector.h"
#include "diag/DiagnosisCopy.h"
#include "diag/DiagnosisReport.h"
#include "diag/NetErrorNames.h"
#include "diag/NetworkProbe.h"
#include "framework/CWinApp.h"
#include "framework/ComPtr.h"
#include "framework/ModulePath.h"
#include "framework/Trace.h"
#include "framework/TraceRing.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <urlmon.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

bool Has(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

// No name is looked up here: the local server's address is a literal, and any other name fails.
NameResolution LiteralOnly(const std::wstring& host) {
    NameResolution r;
    if (host == L"127.0.0.1") {
        r.resolved = true;
        r.addresses = L"127.0.0.1";
    } else {
        r.error = 11001; // WSAHOST_NOT_FOUND
    }
    return r;
}

ProbeResult Probe(const std::wstring& url, DWORD limitMs = 5000) {
    ProbeOptions options;
    options.url = url;
    options.limitMs = limitMs;
    const std::string agent = OrvaneUserAgent(L"9.8.7.6");
    options.userAgent.assign(agent.begin(), agent.end());
    options.resolve = &LiteralOnly;
    return ProbeStartPage(options);
}

std::wstring ClipboardText() {
    std::wstring text;
    if (!::OpenClipboard(nullptr)) return text;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* p = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = p;
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

void ClearClipboard() {
    if (::OpenClipboard(nullptr)) {
        ::EmptyClipboard();
        ::CloseClipboard();
    }
}

std::wstring WindowText(HWND h) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(h)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(h, text.data(), static_cast<int>(text.size()))));
    return text;
}

// A complete set of facts with nothing wrong, for the conclusion cases to spoil one at a time.
DiagnosisFacts HealthyFacts() {
    DiagnosisFacts f;
    f.userProfile = L"C:\\Users\\Lin Wei";
    f.userName = L"Lin Wei";
    f.program = {true, L"1.1.18.1", L"C:\\Users\\Lin Wei\\AppData\\Local\\Orvane\\Orvane.exe", 32, L""};
    f.windows.known = true;
    f.windows.fromRtl = true;
    f.windows.major = 10;
    f.windows.build = 19045;
    f.engine.known = true;
    f.engine.exeName = L"Orvane.exe";
    f.engine.mshtmlVersion = L"11.0.19041.1";
    f.engine.emulation = {{L"HKLM", {}, true}, {L"HKCU", {true, 11001}, true}};
    f.engine.gpu = {{L"HKLM", {}, true}, {L"HKCU", {true, 1}, true}};
    f.config.known = true;
    f.config.keys = {{L"client_web", L"http://micro.example/Home", false}};
    f.network.known = true;
    f.network.probe.url = L"http://micro.example/Home";
    f.network.probe.outcome = ProbeResult::Outcome::Answered;
    f.network.probe.status = 200;
    f.devices = {true, true, L"C:\\Users\\Lin Wei\\Pictures\\Orvane", true, L""};
    return f;
}

} // namespace

TEST(DiagnosisProbe, LocalServerAnswersRedirectsLoopsAndCapsWhatItReads) {
    test::LocalHttpServer server;
    ASSERT_NE(server.Port(), 0);

    // A redirect is followed to its page; every hop is kept and the final address named.
    const ProbeResult redirected = Probe(server.Url(L"/redirect"));
    EXPECT_EQ(redirected.outcome, ProbeResult::Outcome::Answered);
    EXPECT_EQ(redirected.status, 200u);
    EXPECT_EQ(redirected.finalUrl, server.Url(L"/ok"));
    ASSERT_EQ(redirected.hops.size(), 2u);
    EXPECT_EQ(redirected.bytesRead, sizeof(test::LocalHttpServer::kOkBody) - 1);
    EXPECT_FALSE(redirected.capped);
    // The server sees the engine's agent with this program's name and version after it.
    const std::string agent = server.LastUserAgent();
    EXPECT_NE(agent.find(" Orvane/9.8.7.6"), std::string::npos) << agent;
    EXPECT_GT(agent.size(), std::string(" Orvane/9.8.7.6").size()) << "the engine's own agent comes first";

    const ProbeResult missing = Probe(server.Url(L"/missing"));
    EXPECT_EQ(missing.outcome, ProbeResult::Outcome::Answered);
    EXPECT_EQ(missing.status, 404u);

    // Two pages sending each other on: caught, not followed for ever.
    const ProbeResult loop = Probe(server.Url(L"/loop-a"));
    EXPECT_EQ(loop.outcome, ProbeResult::Outcome::Failed);
    EXPECT_TRUE(loop.redirectLoop);
    EXPECT_EQ(loop.error, static_cast<DWORD>(ERROR_HTTP_REDIRECT_FAILED));
    EXPECT_LE(loop.hops.size(), 4u);

    // A megabyte of binary: 64 KB read, the rest left.
    const ProbeResult huge = Probe(server.Url(L"/huge"));
    EXPECT_EQ(huge.outcome, ProbeResult::Outcome::Answered);
    EXPECT_EQ(huge.bytesRead, 64u * 1024u);
    EXPECT_TRUE(huge.capped);

    DiagnosisFacts facts = HealthyFacts();
    facts.network.probe = missing;
    EXPECT_TRUE(Has(BuildDiagnosisReport(facts), L"HTTP 状态: 404"));
    EXPECT_TRUE(Has(DiagnosisConclusions(facts).at(0), L"HTTP 404"));
    facts.network.probe = loop;
    EXPECT_TRUE(Has(DiagnosisConclusions(facts).at(0), L"循环"));
}

TEST(DiagnosisProbe, ClosedPortSilentServerOtherSchemesAndUnknownNamesAreReported) {
    // Nothing listens: WinINet's code, with its name.
    const ProbeResult closed =
        Probe(L"http://127.0.0.1:" + std::to_wstring(test::LocalHttpServer::ClosedPort()) + L"/");
    EXPECT_EQ(closed.outcome, ProbeResult::Outcome::Failed);
    EXPECT_EQ(closed.error, 12029u);
    DiagnosisFacts facts = HealthyFacts();
    facts.network.probe = closed;
    EXPECT_TRUE(Has(BuildDiagnosisReport(facts), L"12029 ERROR_INTERNET_CANNOT_CONNECT")) << BuildDiagnosisReport(facts);

    // A server that accepts and never answers: the limit, kept outside WinINet, ends the wait.
    test::LocalHttpServer server;
    const auto start = std::chrono::steady_clock::now();
    const ProbeResult silent = Probe(server.Url(L"/silent"), 1000);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(silent.outcome, ProbeResult::Outcome::TimedOut);
    EXPECT_EQ(silent.error, static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
    EXPECT_GE(waited.count(), 900);
    EXPECT_LT(waited.count(), 5000) << "the check returns at its limit, not when WinINet gives up";
    facts.network.probe = silent;
    EXPECT_TRUE(Has(DiagnosisConclusions(facts).at(0), L"没有回应"));
    server.Stop(); // lets the abandoned request end

    // Not http(s): reported, never requested.
    const ProbeResult file = Probe(L"file:///C:/Windows/win.ini");
    EXPECT_EQ(file.outcome, ProbeResult::Outcome::NotRequested);
    EXPECT_FALSE(file.notRequestedWhy.empty());
    EXPECT_TRUE(file.hops.empty());

    // A name that does not resolve (through the seam): named, and nothing sent.
    const ProbeResult unknown = Probe(L"http://no-such-host.invalid/start");
    EXPECT_EQ(unknown.outcome, ProbeResult::Outcome::Failed);
    EXPECT_EQ(unknown.error, static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED));
    EXPECT_TRUE(unknown.hops.empty());
    facts.network.probe = unknown;
    EXPECT_TRUE(Has(DiagnosisConclusions(facts).at(0), L"无法解析服务器名称 no-such-host.invalid"));
}

TEST(DiagnosisProbe, SelfSignedCertificateIsReportedWithItsErrorAndRemedy) {
    // tools/test-inner.sh starts an https server on 127.0.0.1 with a throwaway self-signed
    // certificate for another name (orvane-test.invalid), and names its port here.
    wchar_t port[16] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"ORVANE_TEST_HTTPS_PORT", port, 16);
    if (n == 0 || n >= 16) {
        GTEST_SKIP() << "ORVANE_TEST_HTTPS_PORT is not set: tools/test-inner.sh starts the https server this test needs";
    }
    const ProbeResult r = Probe(L"https://127.0.0.1:" + std::wstring(port) + L"/");
    EXPECT_EQ(r.outcome, ProbeResult::Outcome::Failed);
    EXPECT_TRUE(r.https);
    EXPECT_EQ(r.status, 0u) << "no page is read past a refused certificate";
    // Wine's WinINet, like Windows, checks the issuer first: a self-signed one is not trusted.
    EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_INTERNET_INVALID_CA)) << DescribeNetError(r.error);
    DiagnosisFacts facts = HealthyFacts();
    facts.network.probe = r;
    const std::wstring report = BuildDiagnosisReport(facts);
    EXPECT_TRUE(Has(report, L"证书: 12045 ERROR_INTERNET_INVALID_CA")) << report;
    const std::vector<std::wstring> problems = DiagnosisConclusions(facts);
    ASSERT_EQ(problems.size(), 1u) << report;
    EXPECT_TRUE(Has(problems[0], L"服务器证书有问题: 12045 ERROR_INTERNET_INVALID_CA")) << problems[0];
}

TEST(DiagnosisProbe, CertificateAndOtherErrorCodesHaveNamesAndMeanings) {
    // The names and texts the report gives for the codes no local server here produces.
    EXPECT_EQ(DescribeNetError(12045), L"12045 ERROR_INTERNET_INVALID_CA (服务器证书的颁发机构不受信任)");
    EXPECT_EQ(DescribeNetError(12038), L"12038 ERROR_INTERNET_SEC_CERT_CN_INVALID (服务器证书上的名称与地址不符)");
    EXPECT_EQ(DescribeNetError(12037), L"12037 ERROR_INTERNET_SEC_CERT_DATE_INVALID (服务器证书已过期或尚未生效)");
    EXPECT_EQ(DescribeNetError(12007), L"12007 ERROR_INTERNET_NAME_NOT_RESOLVED (无法解析服务器名称 (DNS))");
    EXPECT_TRUE(IsCertificateError(12045) && IsCertificateError(12038) && IsCertificateError(12157));
    EXPECT_FALSE(IsCertificateError(12029));
    EXPECT_EQ(LookUpNetError(12999).name, nullptr);
    EXPECT_EQ(DescribeNetError(12999).rfind(L"12999", 0), 0u);

    DiagnosisFacts facts = HealthyFacts();
    facts.network.probe.outcome = ProbeResult::Outcome::Failed;
    facts.network.probe.https = true;
    facts.network.probe.error = 12038;
    const std::vector<std::wstring> problems = DiagnosisConclusions(facts);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_TRUE(Has(problems[0], L"证书") && Has(problems[0], L"ERROR_INTERNET_SEC_CERT_CN_INVALID"));
    EXPECT_TRUE(Has(BuildDiagnosisReport(facts), L"证书: 12038 ERROR_INTERNET_SEC_CERT_CN_INVALID"));
}

namespace {

// The agent the engine's requests carry in this process, as URL monikers hold it. Wine 8 fills
// the buffer but answers E_OUTOFMEMORY all the same: the size it gives (terminator included)
// tells whether the buffer holds the string.
std::string SessionUserAgent() {
    char agent[1024] = {};
    DWORD size = 0;
    const HRESULT hr = ::UrlMkGetSessionOption(URLMON_OPTION_USERAGENT, agent, sizeof(agent) - 1, &size, 0);
    if (FAILED(hr) && (hr != E_OUTOFMEMORY || size == 0 || size >= sizeof(agent))) return {};
    return agent;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

TEST(DiagnosisUserAgent, StartUpNamesTheProgramOnceInEveryEngineRequest) {
    const std::string before = SessionUserAgent();
    ASSERT_FALSE(before.empty());
    const std::wstring version = FileVersion(fw::ModuleFileName(nullptr));
    ASSERT_FALSE(version.empty());
    const std::string suffix = " Orvane/" + std::string(version.begin(), version.end());
    // What the application's start does, twice (as a second start of the launcher would).
    EXPECT_TRUE(SetProcessUserAgent());
    EXPECT_TRUE(SetProcessUserAgent());
    const std::string session = SessionUserAgent();
    EXPECT_TRUE(EndsWith(session, suffix)) << session;
    EXPECT_EQ(Count(session, " Orvane/"), 1u) << session;
    EXPECT_EQ(session.substr(0, before.size()), before) << "the engine's own agent comes first";
    char obtained[1024] = {};
    DWORD size = sizeof(obtained);
    ASSERT_EQ(::ObtainUserAgentString(0, obtained, &size), S_OK);
    EXPECT_EQ(std::string(obtained), session);
    // The diagnosis request sends the same agent, not one with the name twice.
    EXPECT_EQ(OrvaneUserAgent(version), session);

    // A request through URL monikers, as the browser makes its own, carries it to the server.
    {
        test::LocalHttpServer server;
        fw::ComPtr<IStream> stream;
        EXPECT_EQ(::URLOpenBlockingStreamW(nullptr, server.Url(L"/ok").c_str(), stream.put(), 0, nullptr), S_OK);
        EXPECT_EQ(server.LastUserAgent(), session);
    }
    // This process's other tests see the engine's own agent again.
    ASSERT_EQ(::UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, const_cast<char*>(before.c_str()),
                                      static_cast<DWORD>(before.size()), 0),
              S_OK);
}

TEST(DiagnosisReport, ConclusionsNameEachProblemWithItsRemedy) {
    const DiagnosisFacts healthy = HealthyFacts();
    EXPECT_TRUE(DiagnosisConclusions(healthy).empty());
    EXPECT_TRUE(Has(BuildDiagnosisReport(healthy), L"[结论]\r\n未发现问题"));

    DiagnosisFacts ie7 = healthy;
    ie7.engine.emulation = {{L"HKLM", {}, true}, {L"HKCU", {}, true}, {L"HKLM (64 位视图, 本进程不读)", {true, 11001}, false}};
    ASSERT_EQ(DiagnosisConclusions(ie7).size(), 1u);
    EXPECT_TRUE(Has(DiagnosisConclusions(ie7)[0], L"IE 7 模式") && Has(DiagnosisConclusions(ie7)[0], L"重新运行安装程序"));
    EXPECT_TRUE(Has(BuildDiagnosisReport(ie7), L"未设置: 无 DOCTYPE 声明的页面以 IE 7 模式显示"));

    DiagnosisFacts temporary = healthy;
    temporary.program.temporary = TemporaryFolderReason(L"C:\\Users\\Lin Wei\\AppData\\Local\\Temp\\Temp1_orvane.zip\\Orvane.exe",
                                                        L"C:\\Users\\Lin Wei\\AppData\\Local\\Temp\\");
    ASSERT_EQ(DiagnosisConclusions(temporary).size(), 1u);
    EXPECT_TRUE(Has(DiagnosisConclusions(temporary)[0], L"从安装后的文件夹启动"));
    EXPECT_EQ(TemporaryFolderReason(L"D:\\Games\\Orvane\\Orvane.exe", L"C:\\Temp\\"), L"");
    EXPECT_FALSE(TemporaryFolderReason(L"C:\\Temp\\x\\Orvane.exe", L"C:\\Temp\\").empty());

    DiagnosisFacts oldTls = healthy;
    oldTls.windows.major = 6;
    oldTls.windows.minor = 1;
    oldTls.network.secureProtocolsApply = true;
    oldTls.network.secureProtocols = {true, 0xA0};
    oldTls.network.secureProtocolsFrom = L"HKCU";
    ASSERT_EQ(DiagnosisConclusions(oldTls).size(), 1u);
    EXPECT_TRUE(Has(DiagnosisConclusions(oldTls)[0], L"TLS 1.2"));
    EXPECT_TRUE(Has(BuildDiagnosisReport(oldTls), L"TLS 1.1 未启用, TLS 1.2 未启用 (SecureProtocols = 0xA0, HKCU)"));
    oldTls.network.secureProtocols = {true, 0xA80};
    EXPECT_TRUE(DiagnosisConclusions(oldTls).empty());

    DiagnosisFacts badAddress = healthy;
    badAddress.config.keys = {{L"client_web", L"micro.example/Home", true}};
    ASSERT_EQ(DiagnosisConclusions(badAddress).size(), 1u);
    EXPECT_TRUE(Has(DiagnosisConclusions(badAddress)[0], L"client_web 不是 http 或 https 地址"));

    DiagnosisFacts utf8 = healthy;
    utf8.config.found = true;
    utf8.config.utf8Bom = true;
    ASSERT_EQ(DiagnosisConclusions(utf8).size(), 1u);
    EXPECT_TRUE(Has(DiagnosisConclusions(utf8)[0], L"UTF-8 (带 BOM)"));
    utf8.config.keys[0].fromFile = true; // read all the same (a first line left blank): no problem
    EXPECT_TRUE(DiagnosisConclusions(utf8).empty());

    // The blocks come in order, the conclusion first; a group still running says so.
    DiagnosisFacts partial = healthy;
    partial.network = {};
    const std::wstring report = BuildDiagnosisReport(partial);
    EXPECT_LT(report.find(L"[结论]"), report.find(L"[程序]"));
    EXPECT_TRUE(Has(report, L"[网络]\r\n(检查中…)"));
    EXPECT_TRUE(Has(report, L"检查尚未完成"));
}

TEST(DiagnosisReport, PlayersNameNeverAppears) {
    DiagnosisFacts facts = HealthyFacts();
    facts.config.path = L"c:\\users\\lin wei\\AppData\\Local\\Orvane\\config.ini";
    facts.devices.screenshotFolder = L"D:\\Lin Wei\\Pictures\\Orvane";
    const std::wstring report = BuildDiagnosisReport(facts);
    EXPECT_FALSE(Has(report, L"Lin Wei") || Has(report, L"lin wei")) << report;
    EXPECT_TRUE(Has(report, L"文件夹: %USERPROFILE%\\AppData\\Local\\Orvane\\"));
    EXPECT_TRUE(Has(report, L"D:\\%USERNAME%\\Pictures"));
    // A path in the profile's 8.3 form is masked too.
    facts.userProfileShort = L"C:\\Users\\LINWEI~1";
    facts.config.path = L"C:\\Users\\LINWEI~1\\AppData\\Local\\Orvane\\config.ini";
    EXPECT_TRUE(Has(BuildDiagnosisReport(facts), L"路径: %USERPROFILE%\\AppData\\Local\\Orvane\\config.ini"));
    // A part that only begins with the name is not the name.
    EXPECT_EQ(MaskUserName(L"C:\\Lin Weixin\\a", L"C:\\Users\\Lin Wei", L"Lin Wei"), L"C:\\Lin Weixin\\a");
}

namespace {

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    ::CloseHandle(h);
}

std::wstring ScratchFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"orvane-diag-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

} // namespace

TEST(DiagnosisFacts, ConfigVersionAndScreenshotFolderAsTheProgramSeesThem) {
    const std::wstring folder = ScratchFolder();
    const std::wstring exe = folder + L"\\Orvane.exe"; // only its folder is used
    const std::wstring ini = folder + L"\\config.ini";

    ::DeleteFileW(ini.c_str());
    ConfigFacts missing = CollectConfigFacts(exe);
    EXPECT_EQ(missing.path, ini);
    EXPECT_FALSE(missing.found);
    ASSERT_EQ(missing.keys.size(), 3u);
    EXPECT_FALSE(missing.keys[0].fromFile);
    EXPECT_EQ(missing.startPage, ConfigDefault(L"client_web"));

    // UTF-16 with a byte-order mark; fullscn_key missing, service_key written as "error".
    const std::wstring wide = L"[mw]\r\nclient_web=http://127.0.0.1:1/宽\r\nservice_key=error\r\n";
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : wide) bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    WriteFileBytes(ini, bytes);
    const ConfigFacts utf16 = CollectConfigFacts(exe);
    EXPECT_TRUE(utf16.found);
    EXPECT_EQ(utf16.encoding, L"UTF-16 (带 BOM)");
    EXPECT_TRUE(utf16.keys[0].fromFile);
    EXPECT_EQ(utf16.keys[0].value, L"http://127.0.0.1:1/宽");
    EXPECT_FALSE(utf16.keys[1].fromFile);
    EXPECT_EQ(utf16.keys[1].value, L"fullscn=1");
    EXPECT_FALSE(utf16.keys[2].fromFile) << "\"error\" is the same as no value";
    EXPECT_EQ(utf16.keys[2].value, L"server");
    DiagnosisFacts facts = HealthyFacts();
    facts.config = utf16;
    const std::wstring report = BuildDiagnosisReport(facts);
    EXPECT_TRUE(Has(report, L"fullscn_key: 未设置, 使用默认值 \"fullscn=1\"")) << report;
    EXPECT_TRUE(Has(report, L"client_web: \"http://127.0.0.1:1/宽\" (来自文件)"));

    WriteFileBytes(ini, "[mw]\r\nfullscn_key=play=1\r\n");
    const ConfigFacts ansi = CollectConfigFacts(exe);
    EXPECT_EQ(ansi.encoding, L"ANSI (代码页 " + std::to_wstring(::GetACP()) + L")");
    EXPECT_EQ(ansi.keys[1].value, L"play=1");
    EXPECT_TRUE(ansi.keys[1].fromFile);
    ::DeleteFileW(ini.c_str());

    // The version as the executable's version resource carries it.
    const std::wstring testExe = fw::ModuleFileName(nullptr);
    const ProgramFacts program = CollectProgramFacts(testExe);
    HRSRC res = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_VERSION);
    ASSERT_NE(res, nullptr);
    const BYTE* block = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, res)));
    const DWORD size = ::SizeofResource(nullptr, res);
    const BYTE signature[] = {0xBD, 0x04, 0xEF, 0xFE}; // VS_FIXEDFILEINFO.dwSignature
    const BYTE* fixed = std::search(block, block + size, signature, signature + 4);
    ASSERT_LT(fixed, block + size);
    DWORD ms = 0, ls = 0;
    std::memcpy(&ms, fixed + 8, 4);
    std::memcpy(&ls, fixed + 12, 4);
    EXPECT_EQ(program.version, std::to_wstring(HIWORD(ms)) + L"." + std::to_wstring(LOWORD(ms)) + L"." +
                                   std::to_wstring(HIWORD(ls)) + L"." + std::to_wstring(LOWORD(ls)));
    EXPECT_EQ(program.bits, 64);

    // A folder that can take a screenshot, one that does not exist yet, one under a file.
    std::wstring why;
    EXPECT_TRUE(FolderWritable(folder, why)) << why;
    EXPECT_TRUE(FolderWritable(folder + L"\\new\\Orvane", why)) << why;
    WriteFileBytes(folder + L"\\plain", "x");
    EXPECT_FALSE(FolderWritable(folder + L"\\plain\\Orvane", why));
    EXPECT_TRUE(Has(why, L"是文件")) << why;
    const DeviceFacts devices = CollectDeviceFacts(false, folder + L"\\plain\\Orvane");
    facts = HealthyFacts();
    facts.devices = devices;
    const std::vector<std::wstring> problems = DiagnosisConclusions(facts);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_TRUE(Has(problems[0], L"没有默认音频输出设备"));
    EXPECT_TRUE(Has(problems[1], L"截图文件夹无法写入"));
    ::DeleteFileW((folder + L"\\plain").c_str());
    ::RemoveDirectoryW(folder.c_str());
}

TEST(DiagnosisMode, OnlyTheDiagnoseOptionChoosesIt) {
    EXPECT_TRUE(IsDiagnoseCommandLine(L"\"C:\\Program Files\\Orvane\\Orvane.exe\" /diagnose"));
    EXPECT_TRUE(IsDiagnoseCommandLine(L"Orvane.exe -DIAGNOSE"));
    EXPECT_TRUE(IsDiagnoseCommandLine(L"Orvane.exe /Diagnose"));
    EXPECT_FALSE(IsDiagnoseCommandLine(L"\"C:\\x\\Orvane.exe\""));
    EXPECT_FALSE(IsDiagnoseCommandLine(L"\"C:\\diagnose\\Orvane.exe\""));
    EXPECT_FALSE(IsDiagnoseCommandLine(L"Orvane.exe /diagnosex"));
    EXPECT_FALSE(IsDiagnoseCommandLine(L"Orvane.exe diagnose"));
    EXPECT_FALSE(IsDiagnoseCommandLine(L""));
}

TEST(DiagnosisTrace, TheLast200LinesAreKeptWhateverTheSink) {
    static std::vector<std::wstring> seen;
    seen.clear();
    const fw::TraceSink old = fw::SetTraceSink([](std::wstring_view line) { seen.emplace_back(line); });
    for (int i = 0; i < 250; ++i) fw::Trace(L"ring line ", std::to_wstring(i), L" ", fw::Quoted(L"a\"b"));
    fw::SetTraceSink(old);
    const std::vector<std::wstring> kept = fw::RecentTraceLines();
    ASSERT_EQ(kept.size(), fw::kTraceRingLines);
    EXPECT_EQ(kept.front(), L"Orvane: ring line 50 \"a\\\"b\"");
    EXPECT_EQ(kept.back(), L"Orvane: ring line 249 \"a\\\"b\"");
    // The same text the sink was given, in the same order.
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), seen.end() - 200));
}

TEST(DiagnosisWindow, ShowsTheReportAsChecksEndAnswersThroughoutAndCopies) {
    test::LocalHttpServer server;
    DiagnosisSettings settings;
    settings.exePath = fw::ModuleFileName(nullptr);
    settings.networkLimitMs = 1500;
    settings.resolve = &LiteralOnly;
    settings.startPage = server.Url(L"/silent");
    settings.screenshotFolder = L"C:\\does-not-matter\\Orvane";
    CDiagnosisDlg dlg(settings);
    ASSERT_TRUE(dlg.Create(IDD_DIAGNOSE));
    HWND report = dlg.GetDlgItem(IDC_DIAG_REPORT);
    HWND copy = dlg.GetDlgItem(IDC_DIAG_COPY);
    HWND close = dlg.GetDlgItem(IDCANCEL);
    ASSERT_TRUE(report && copy && close);
    EXPECT_EQ(WindowText(dlg.m_hWnd), L"Orvane 诊断");
    EXPECT_TRUE(::IsWindowVisible(dlg.m_hWnd));
    EXPECT_TRUE(_wcsicmp(test::ClassNameOf(report).c_str(), L"Edit") == 0);
    const LONG style = ::GetWindowLongW(report, GWL_STYLE);
    EXPECT_TRUE((style & ES_MULTILINE) && (style & ES_READONLY) && (style & WS_VSCROLL));
    EXPECT_EQ(WindowText(copy), L"复制");
    EXPECT_EQ(WindowText(close), L"关闭");
    // Up at once: the network check is still waiting on the silent server.
    EXPECT_FALSE(dlg.Finished());
    EXPECT_TRUE(Has(WindowText(report), L"(检查中…)"));

    // Another thread asks the window every few milliseconds while the check waits.
    std::atomic<bool> stop{false};
    std::atomic<DWORD> longest{0};
    std::atomic<int> unanswered{0};
    std::atomic<bool> proberDone{false};
    HWND target = dlg.m_hWnd;
    std::thread prober([&] {
        while (!stop) {
            const auto t0 = std::chrono::steady_clock::now();
            DWORD_PTR r = 0;
            if (!::SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &r)) ++unanswered;
            const auto ms = static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                   std::chrono::steady_clock::now() - t0)
                                                   .count());
            if (ms > longest) longest = ms;
            ::Sleep(5);
        }
        proberDone = true;
    });
    const bool finished = test::PumpUntil([&] { return dlg.Finished(); }, 8000);
    stop = true;
    // Pumped until the prober is out: its last question may be waiting for this thread.
    test::PumpUntil([&] { return proberDone.load(); }, 3000);
    prober.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(unanswered.load(), 0) << "longest wait " << longest.load() << " ms";

    const std::wstring shown = WindowText(report);
    EXPECT_EQ(shown, dlg.ReportText());
    EXPECT_TRUE(Has(shown, L"没有回应")) << shown;
    EXPECT_FALSE(Has(shown, L"(检查中…)"));

    ClearClipboard();
    ::SendMessageW(copy, BM_CLICK, 0, 0);
    EXPECT_EQ(ClipboardText(), shown);

    ::SendMessageW(close, BM_CLICK, 0, 0);
    test::PumpFor(20);
    EXPECT_FALSE(::IsWindowVisible(dlg.m_hWnd));
    dlg.DestroyWindow();
    server.Stop();
}

// "复制诊断信息" in the game window's tray menu: the report and the trace onto the clipboard,
// announced by a balloon, the window answering meanwhile.
class DiagnosisTray : public gametest::ModalGameTest {
protected:
    void SetUp() override {
        ModalGameTest::SetUp();
        m_config = ModuleFolder(fw::ModuleFileName(nullptr)) + L"config.ini";
        const std::string text = "[mw]\r\nclient_web=http://127.0.0.1:" + std::to_string(m_server.Port()) + "/redirect\r\n";
        HANDLE h = ::CreateFileW(m_config.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
        ::CloseHandle(h);
    }
    void TearDown() override { ::DeleteFileW(m_config.c_str()); }
    test::LocalHttpServer m_server;
    std::wstring m_config;
};

TEST_F(DiagnosisTray, CopiesReportAndTraceAndSaysSo) {
    ClearClipboard();
    fw::Trace(L"a line from before the copy");
    bool balloonSeen = false;
    std::wstring clipboard;
    test::Deadline deadline("the copy to end in the game window's modal loop", 15000);
    gametest::RunSteps({[&] { dlg.OnTrayCommand(ID_TRAY_COPY_DIAGNOSIS); },
                        [&] {
                            gametest::WaitThen([&] { return dlg.m_strLastBalloon.rfind(L"诊断信息已复制", 0) == 0; },
                                               [&](bool seen) {
                                                   balloonSeen = seen;
                                                   clipboard = ClipboardText();
                                                   dlg.EndDialog(static_cast<int>(kEndedByTest));
                                               },
                                               8000);
                        }});
    EXPECT_EQ(dlg.DoModal(), kEndedByTest);
    EXPECT_TRUE(balloonSeen) << "balloon: " << testing::PrintToString(dlg.m_strLastBalloon);
    EXPECT_TRUE(Has(clipboard, L"[结论]")) << testing::PrintToString(clipboard);
    EXPECT_TRUE(Has(clipboard, L"最终地址: " + m_server.Url(L"/ok")));
    const size_t traceAt = clipboard.find(L"[最近的程序日志");
    ASSERT_NE(traceAt, std::wstring::npos);
    EXPECT_NE(clipboard.find(L"Orvane: a line from before the copy\r\n", traceAt), std::wstring::npos);
    EXPECT_NE(clipboard.find(L"Orvane: tray menu: copy the diagnosis\r\n", traceAt), std::wstring::npos);
}
