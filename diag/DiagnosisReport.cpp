#include "diag/DiagnosisReport.h"

#include "diag/NetErrorNames.h"

#include <cwchar>
#include <iterator>

namespace {

constexpr DWORD kTls11 = 0x200; // SecureProtocols bits
constexpr DWORD kTls12 = 0x800;
constexpr wchar_t kPending[] = L"(检查中…)";

std::wstring Hex(DWORD value) {
    wchar_t text[16];
    std::swprintf(text, std::size(text), L"0x%lX", static_cast<unsigned long>(value));
    return text;
}

bool StartsWithNoCase(const std::wstring& text, size_t at, const std::wstring& prefix) {
    return !prefix.empty() && text.size() - at >= prefix.size() &&
           ::CompareStringOrdinal(text.c_str() + at, static_cast<int>(prefix.size()), prefix.c_str(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

std::wstring WindowsName(const WindowsFacts& w) {
    if (w.major == 6 && w.minor == 1) return L"Windows 7";
    if (w.major == 6 && w.minor == 2) return L"Windows 8";
    if (w.major == 6 && w.minor == 3) return L"Windows 8.1";
    if (w.major == 10 && w.build >= 22000) return L"Windows 11";
    if (w.major == 10) return L"Windows 10";
    if (w.major < 6 || (w.major == 6 && w.minor == 0)) return L"Windows Vista 或更早 (不受支持)";
    return L"Windows";
}

std::wstring GpuMeaning(const RegistryDword& value) {
    if (!value.present) return L"未设置: 软件渲染 (不使用 GPU)";
    return std::to_wstring(value.value) + (value.value ? L": 使用 GPU 渲染" : L": 软件渲染 (不使用 GPU)");
}

void Line(std::wstring& out, const std::wstring& text) {
    out += text;
    out += L"\r\n";
}

void Heading(std::wstring& out, const wchar_t* title) {
    out += L"\r\n";
    out += L"[";
    out += title;
    out += L"]\r\n";
}

std::wstring Tls12State(const NetworkFacts& n) {
    if (!n.secureProtocols.present) return L"未知";
    const DWORD v = n.secureProtocols.value;
    return std::wstring(L"TLS 1.1 ") + ((v & kTls11) ? L"已启用" : L"未启用") + L", TLS 1.2 " +
           ((v & kTls12) ? L"已启用" : L"未启用") + L" (SecureProtocols = " + Hex(v) + L", " + n.secureProtocolsFrom +
           L")";
}

void ProgramSection(std::wstring& out, const ProgramFacts& p) {
    Heading(out, L"程序");
    if (!p.known) return Line(out, kPending);
    Line(out, L"版本: " + (p.version.empty() ? std::wstring(L"未知 (无版本信息)") : p.version));
    const size_t sep = p.exePath.find_last_of(L"\\/");
    Line(out, L"文件夹: " + (sep == std::wstring::npos ? p.exePath : p.exePath.substr(0, sep + 1)));
    Line(out, L"文件名: " + (sep == std::wstring::npos ? p.exePath : p.exePath.substr(sep + 1)));
    Line(out, L"进程: " + std::to_wstring(p.bits) + L" 位");
    Line(out, L"运行位置: " + (p.temporary.empty() ? std::wstring(L"正常 (不是临时文件夹或压缩包)") : p.temporary));
}

void WindowsSection(std::wstring& out, const WindowsFacts& w) {
    Heading(out, L"Windows");
    if (!w.known) return Line(out, kPending);
    if (w.fromRtl) {
        std::wstring version = WindowsName(w) + L" (" + std::to_wstring(w.major) + L"." + std::to_wstring(w.minor) +
                               L", 内部版本 " + std::to_wstring(w.build);
        if (!w.servicePack.empty()) version += L", " + w.servicePack;
        Line(out, L"版本: " + version + L")");
    } else {
        Line(out, L"版本: 未知 (RtlGetVersion 没有回答)");
    }
    Line(out, L"ANSI 代码页: " + std::to_wstring(w.ansiCodePage));
    Line(out, L"界面语言: " + (w.uiLanguageName.empty() ? std::wstring(L"未知") : w.uiLanguageName) + L" (" +
                  Hex(w.uiLanguage) + L")");
    Line(out, L"DPI: " + std::to_wstring(w.dpi) + L" (缩放 " + std::to_wstring(w.dpi * 100 / 96) + L"%)");
    Line(out, L"屏幕: " + std::to_wstring(w.screenWidth) + L" x " + std::to_wstring(w.screenHeight) + L" 像素");
}

void FeatureLines(std::wstring& out, const wchar_t* title, const std::vector<FeatureSource>& sources,
                  std::wstring (*meaning)(const RegistryDword&)) {
    Line(out, std::wstring(title) + L": " + meaning(EffectiveFeature(sources)));
    for (const FeatureSource& s : sources) {
        Line(out, L"  " + s.where + L": " + (s.value.present ? std::to_wstring(s.value.value) : L"未设置"));
    }
}

void EngineSection(std::wstring& out, const EngineFacts& e) {
    Heading(out, L"浏览器引擎");
    if (!e.known) return Line(out, kPending);
    Line(out, L"mshtml.dll 版本: " + (e.mshtmlVersion.empty() ? std::wstring(L"未知 (找不到或无版本信息)") : e.mshtmlVersion));
    Line(out, L"程序文件名 (设置按此查找): " + e.exeName);
    FeatureLines(out, L"文档模式 (FEATURE_BROWSER_EMULATION)", e.emulation, &EmulationMeaning);
    FeatureLines(out, L"GPU 渲染 (FEATURE_GPU_RENDERING)", e.gpu, &GpuMeaning);
}

void ConfigSection(std::wstring& out, const ConfigFacts& c) {
    Heading(out, L"config.ini");
    if (!c.known) return Line(out, kPending);
    Line(out, L"路径: " + (c.path.empty() ? std::wstring(L"未知 (程序路径无法读取)") : c.path));
    if (!c.found) {
        Line(out, L"状态: 未找到 (各项使用默认值)");
    } else if (c.readError) {
        Line(out, L"状态: 已找到, 但无法读取: " + DescribeNetError(c.readError));
    } else {
        Line(out, L"状态: 已找到");
        Line(out, L"编码: " + c.encoding);
    }
    for (const ConfigKeyFacts& k : c.keys) {
        Line(out, k.key + L": " + (k.fromFile ? L"\"" + k.value + L"\" (来自文件)" : L"未设置, 使用默认值 \"" + k.value + L"\""));
    }
}

std::wstring ProbeFailure(const ProbeResult& p) {
    if (p.outcome == ProbeResult::Outcome::TimedOut) {
        return L"失败: " + std::to_wstring(p.elapsedMs / 1000) + L" 秒内没有回应 (停在: " + p.step + L"), " +
               DescribeNetError(p.error);
    }
    return L"失败 (" + p.step + L"): " + DescribeNetError(p.error);
}

void NetworkSection(std::wstring& out, const NetworkFacts& n) {
    Heading(out, L"网络");
    if (!n.known) return Line(out, kPending);
    const ProbeResult& p = n.probe;
    Line(out, L"起始页: " + p.url);
    if (!p.notRequestedWhy.empty()) {
        Line(out, L"请求: " + p.notRequestedWhy);
    } else {
        Line(out, L"代理: " + p.proxy);
        if (p.resolveTried) {
            Line(out, L"名称解析 (" + p.host + L"): " +
                          (p.resolution.resolved ? L"成功, " + p.resolution.addresses
                                                 : L"失败, " + DescribeNetError(p.resolution.error)));
        } else {
            Line(out, L"名称解析 (" + p.host + L"): 未完成");
        }
        if (p.connected) Line(out, L"连接: 成功");
        if (p.https && p.connected) Line(out, L"TLS 协议: " + p.tlsProtocol);
        if (p.https && IsCertificateError(p.error)) Line(out, L"证书: " + DescribeNetError(p.error));
        else if (p.https && p.connected) Line(out, L"证书: 没有错误");
        if (p.status) Line(out, L"HTTP 状态: " + std::to_wstring(p.status));
        for (size_t i = 1; i < p.hops.size(); ++i) Line(out, L"重定向到: " + p.hops[i]);
        if (p.redirectLoop) Line(out, L"重定向: 形成循环或次数过多, 已停止");
        if (p.outcome == ProbeResult::Outcome::Answered) {
            Line(out, L"最终地址: " + p.finalUrl);
            Line(out, L"首字节时间: " + std::to_wstring(p.firstByteMs) + L" 毫秒");
            Line(out, L"已读取: " + std::to_wstring(p.bytesRead) + L" 字节" +
                          (p.capped ? L" (已到上限 " + std::to_wstring(p.bytesRead / 1024) + L" KB, 其余未读)" : L""));
            Line(out, L"结果: 成功");
        } else {
            Line(out, L"结果: " + ProbeFailure(p));
        }
        Line(out, L"用时: " + std::to_wstring(p.elapsedMs) + L" 毫秒");
    }
    if (n.secureProtocolsApply) Line(out, L"WinINet 安全协议: " + Tls12State(n));
}

void DeviceSection(std::wstring& out, const DeviceFacts& d) {
    Heading(out, L"声音与文件");
    if (!d.known) return Line(out, kPending);
    Line(out, std::wstring(L"默认音频输出设备: ") + (d.audioOutput ? L"有" : L"无"));
    Line(out, L"截图文件夹: " + (d.screenshotFolder.empty() ? std::wstring(L"无 (系统没有图片文件夹)") : d.screenshotFolder));
    Line(out, L"截图文件夹可写入: " + (d.screenshotWritable ? std::wstring(L"是") : L"否, " + d.screenshotWhy));
}

} // namespace

RegistryDword EffectiveFeature(const std::vector<FeatureSource>& sources) {
    for (const FeatureSource& s : sources) {
        if (s.applies && s.value.present) return s.value;
    }
    return {};
}

std::wstring EmulationMeaning(const RegistryDword& value) {
    if (!value.present) return L"未设置: 无 DOCTYPE 声明的页面以 IE 7 模式显示";
    const std::wstring n = std::to_wstring(value.value);
    switch (value.value) {
    case 7000: return n + L": IE 7 模式";
    case 8000: return n + L": 有 DOCTYPE 的页面用 IE 8 模式, 其余 IE 7 模式";
    case 8888: return n + L": 一律 IE 8 模式";
    case 9000: return n + L": 有 DOCTYPE 的页面用 IE 9 模式";
    case 9999: return n + L": 一律 IE 9 模式";
    case 10000: return n + L": 有 DOCTYPE 的页面用 IE 10 模式";
    case 10001: return n + L": 一律 IE 10 模式";
    case 11000: return n + L": 有 DOCTYPE 的页面用 IE 11 模式";
    case 11001: return n + L": 一律 IE 11 (Edge) 模式";
    default: return n + L": 未知的值, 引擎按 IE 7 模式处理";
    }
}

std::vector<std::wstring> DiagnosisConclusions(const DiagnosisFacts& f) {
    std::vector<std::wstring> out;
    if (f.program.known && !f.program.temporary.empty()) {
        out.push_back(L"程序正在临时文件夹或压缩包中运行 (" + f.program.temporary +
                      L")。请先完整解压或运行安装程序, 然后从安装后的文件夹启动 Orvane。");
    }
    if (f.engine.known) {
        const RegistryDword mode = EffectiveFeature(f.engine.emulation);
        if (!mode.present || mode.value < 8000 || EmulationMeaning(mode).find(L"未知") != std::wstring::npos) {
            out.push_back(L"浏览器引擎处于 IE 7 模式 (" + EmulationMeaning(mode) +
                          L"), 页面可能空白或错乱。请重新运行安装程序; 不要改动程序文件名 (现在是 " + f.engine.exeName +
                          L")。");
        }
        if (f.engine.mshtmlVersion.empty()) out.push_back(L"找不到 Internet Explorer 的浏览器引擎 (mshtml.dll)。请修复或重新安装 Internet Explorer 11。");
    }
    if (f.config.known && f.config.found && f.config.readError) {
        out.push_back(L"config.ini 无法读取, 程序改用默认值。请检查该文件的权限, 或从安装程序重新取得它。");
    }
    if (f.config.known && f.config.found && f.config.utf8Bom && !f.config.keys.empty() && !f.config.keys[0].fromFile) {
        out.push_back(L"config.ini 以 UTF-8 (带 BOM) 保存, Windows 读不出其中的设置, 程序改用默认值。请用记事本另存为 "
                      L"ANSI 或 Unicode (UTF-16) 编码。");
    }
    if (f.config.known) {
        for (const ConfigKeyFacts& k : f.config.keys) {
            if (k.key == L"client_web" && k.fromFile && !IsHttpAddress(k.value)) {
                out.push_back(L"config.ini 中的 client_web 不是 http 或 https 地址 (\"" + k.value +
                              L"\")。请改正它, 或删除这一行以使用默认起始页。");
            }
        }
    }
    if (f.network.known) {
        const ProbeResult& p = f.network.probe;
        const std::wstring proxyHint = p.proxied ? L"并检查代理设置 (Internet 选项 > 连接 > 局域网设置)" : L"";
        if (p.notRequestedWhy.empty() && p.outcome != ProbeResult::Outcome::Answered) {
            if (p.resolveTried && !p.resolution.resolved && !p.proxied) {
                out.push_back(L"无法解析服务器名称 " + p.host + L"。请检查网络连接和 DNS 设置, 或换一个网络再试。");
            } else if (p.redirectLoop) {
                out.push_back(L"起始页的重定向形成循环。请把本报告发给运营方。");
            } else if (IsCertificateError(p.error)) {
                out.push_back(L"服务器证书有问题: " + DescribeNetError(p.error) +
                              L"。请检查电脑的日期和时间; 若仍有问题, 请把本报告发给运营方。");
            } else if (p.outcome == ProbeResult::Outcome::TimedOut) {
                out.push_back(L"服务器 " + std::to_wstring(p.elapsedMs / 1000) + L" 秒内没有回应。请检查网络" +
                              proxyHint + L", 稍后再试。");
            } else {
                out.push_back(L"无法打开起始页: " + DescribeNetError(p.error) + L"。请检查网络、防火墙" + proxyHint +
                              L"。");
            }
        } else if (p.outcome == ProbeResult::Outcome::Answered && p.status >= 400) {
            out.push_back(L"起始页返回 HTTP " + std::to_wstring(p.status) +
                          L"。请检查 config.ini 中的 client_web; 若没有改动过, 请把本报告发给运营方。");
        }
        const DWORD protocols = f.network.secureProtocols.value;
        if (f.network.secureProtocolsApply && f.network.secureProtocols.present && !(protocols & kTls12)) {
            out.push_back(L"此 Windows 没有为 WinINet 启用 TLS 1.2, 加密的游戏页面可能打不开。请在 "
                          L"Internet 选项 > 高级 中勾选 \"使用 TLS 1.1\" 和 \"使用 TLS 1.2\"。");
        }
    }
    if (f.devices.known && !f.devices.audioOutput) {
        out.push_back(L"没有默认音频输出设备, 游戏将没有声音。请接上或启用扬声器或耳机。");
    }
    if (f.devices.known && !f.devices.screenshotWritable) {
        out.push_back(L"截图文件夹无法写入 (" + f.devices.screenshotWhy + L"), 截图将无法保存。请检查图片文件夹的权限和磁盘空间。");
    }
    return out;
}

std::wstring BuildDiagnosisReport(const DiagnosisFacts& f) {
    std::wstring out;
    wchar_t when[64];
    std::swprintf(when, std::size(when), L"%04u-%02u-%02u %02u:%02u:%02u", f.generatedAt.wYear, f.generatedAt.wMonth,
                  f.generatedAt.wDay, f.generatedAt.wHour, f.generatedAt.wMinute, f.generatedAt.wSecond);
    Line(out, L"Orvane 诊断报告");
    Line(out, std::wstring(L"时间: ") + when + L" (本机时间)");
    Heading(out, L"结论");
    const bool complete = f.program.known && f.windows.known && f.engine.known && f.config.known && f.network.known &&
                          f.devices.known;
    const std::vector<std::wstring> problems = DiagnosisConclusions(f);
    for (size_t i = 0; i < problems.size(); ++i) Line(out, std::to_wstring(i + 1) + L". " + problems[i]);
    if (!complete) {
        Line(out, L"检查尚未完成…");
    } else if (problems.empty()) {
        Line(out, L"未发现问题。若游戏仍无法显示, 请把本报告全文发给运营方。");
    }
    ProgramSection(out, f.program);
    WindowsSection(out, f.windows);
    EngineSection(out, f.engine);
    ConfigSection(out, f.config);
    NetworkSection(out, f.network);
    DeviceSection(out, f.devices);
    // The short form first: it may share its start with the long one.
    if (!f.userProfileShort.empty() && f.userProfileShort != f.userProfile) {
        out = MaskUserName(out, f.userProfileShort, L"");
    }
    return MaskUserName(out, f.userProfile, f.userName);
}

std::wstring MaskUserName(const std::wstring& text, const std::wstring& userProfile, const std::wstring& userName) {
    std::wstring profile = userProfile;
    while (!profile.empty() && (profile.back() == L'\\' || profile.back() == L'/')) profile.pop_back();
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        // The profile folder itself, followed by a separator or the end of the path.
        if (profile.size() > 3 && StartsWithNoCase(text, i, profile)) {
            const size_t end = i + profile.size();
            if (end == text.size() || text[end] == L'\\' || text[end] == L'/' || text[end] == L'"' ||
                text[end] == L'\r' || text[end] == L' ') {
                out += L"%USERPROFILE%";
                i = end;
                continue;
            }
        }
        // The name as a whole path part anywhere else (a second drive's Users folder, a temp path).
        if (!userName.empty() && i > 0 && (text[i - 1] == L'\\' || text[i - 1] == L'/') &&
            StartsWithNoCase(text, i, userName)) {
            const size_t end = i + userName.size();
            if (end == text.size() || text[end] == L'\\' || text[end] == L'/' || text[end] == L'\r') {
                out += L"%USERNAME%";
                i = end;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}
