#include "diag/NetErrorNames.h"

#include <wininet.h>

#include <iterator>

namespace {

struct Entry {
    DWORD code;
    NetErrorName name;
};

#define ORVANE_NET_ERROR(code, text) {code, {L## #code, text}}

const Entry kEntries[] = {
    ORVANE_NET_ERROR(ERROR_INTERNET_OUT_OF_HANDLES, L"系统句柄用尽"),
    ORVANE_NET_ERROR(ERROR_INTERNET_TIMEOUT, L"请求超时"),
    ORVANE_NET_ERROR(ERROR_INTERNET_EXTENDED_ERROR, L"服务器返回了扩展错误"),
    ORVANE_NET_ERROR(ERROR_INTERNET_INTERNAL_ERROR, L"WinINet 内部错误"),
    ORVANE_NET_ERROR(ERROR_INTERNET_INVALID_URL, L"地址格式无效"),
    ORVANE_NET_ERROR(ERROR_INTERNET_UNRECOGNIZED_SCHEME, L"不支持的地址协议"),
    ORVANE_NET_ERROR(ERROR_INTERNET_NAME_NOT_RESOLVED, L"无法解析服务器名称 (DNS)"),
    ORVANE_NET_ERROR(ERROR_INTERNET_PROTOCOL_NOT_FOUND, L"找不到所需协议"),
    ORVANE_NET_ERROR(ERROR_INTERNET_INVALID_OPTION, L"无效的选项"),
    ORVANE_NET_ERROR(ERROR_INTERNET_OPERATION_CANCELLED, L"操作被取消"),
    ORVANE_NET_ERROR(ERROR_INTERNET_INCORRECT_HANDLE_STATE, L"句柄状态不正确"),
    ORVANE_NET_ERROR(ERROR_INTERNET_SHUTDOWN, L"WinINet 正在关闭"),
    ORVANE_NET_ERROR(ERROR_INTERNET_ITEM_NOT_FOUND, L"找不到所需项目"),
    ORVANE_NET_ERROR(ERROR_INTERNET_CANNOT_CONNECT, L"无法连接到服务器"),
    ORVANE_NET_ERROR(ERROR_INTERNET_CONNECTION_ABORTED, L"连接被中止"),
    ORVANE_NET_ERROR(ERROR_INTERNET_CONNECTION_RESET, L"连接被重置"),
    ORVANE_NET_ERROR(ERROR_INTERNET_FORCE_RETRY, L"需要重试请求"),
    ORVANE_NET_ERROR(ERROR_INTERNET_INVALID_PROXY_REQUEST, L"代理请求无效"),
    ORVANE_NET_ERROR(ERROR_INTERNET_SEC_CERT_DATE_INVALID, L"服务器证书已过期或尚未生效"),
    ORVANE_NET_ERROR(ERROR_INTERNET_SEC_CERT_CN_INVALID, L"服务器证书上的名称与地址不符"),
    ORVANE_NET_ERROR(ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR, L"重定向从 http 转到了 https"),
    ORVANE_NET_ERROR(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR, L"重定向从 https 转到了 http"),
    ORVANE_NET_ERROR(ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED, L"服务器要求客户端证书"),
    ORVANE_NET_ERROR(ERROR_INTERNET_INVALID_CA, L"服务器证书的颁发机构不受信任"),
    ORVANE_NET_ERROR(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, L"安全通道 (TLS) 错误"),
    ORVANE_NET_ERROR(ERROR_INTERNET_SEC_CERT_ERRORS, L"服务器证书有错误"),
    ORVANE_NET_ERROR(ERROR_INTERNET_SEC_CERT_NO_REV, L"无法检查证书是否被吊销"),
    ORVANE_NET_ERROR(ERROR_INTERNET_SEC_CERT_REV_FAILED, L"证书吊销检查失败"),
    ORVANE_NET_ERROR(ERROR_INTERNET_SEC_INVALID_CERT, L"服务器证书无效"),
    ORVANE_NET_ERROR(ERROR_INTERNET_SEC_CERT_REVOKED, L"服务器证书已被吊销"),
    ORVANE_NET_ERROR(ERROR_INTERNET_DISCONNECTED, L"计算机未连接网络"),
    ORVANE_NET_ERROR(ERROR_INTERNET_SERVER_UNREACHABLE, L"无法到达服务器"),
    ORVANE_NET_ERROR(ERROR_INTERNET_PROXY_SERVER_UNREACHABLE, L"无法到达代理服务器"),
    ORVANE_NET_ERROR(ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT, L"自动代理脚本有错误"),
    ORVANE_NET_ERROR(ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT, L"无法下载自动代理脚本"),
    ORVANE_NET_ERROR(ERROR_HTTP_HEADER_NOT_FOUND, L"找不到所需的 HTTP 头"),
    ORVANE_NET_ERROR(ERROR_HTTP_DOWNLEVEL_SERVER, L"服务器不支持所需的 HTTP 版本"),
    ORVANE_NET_ERROR(ERROR_HTTP_INVALID_SERVER_RESPONSE, L"服务器的回应无法识别"),
    ORVANE_NET_ERROR(ERROR_HTTP_INVALID_HEADER, L"HTTP 头无效"),
    ORVANE_NET_ERROR(ERROR_HTTP_INVALID_QUERY_REQUEST, L"HTTP 查询无效"),
    ORVANE_NET_ERROR(ERROR_HTTP_REDIRECT_FAILED, L"重定向失败"),
    ORVANE_NET_ERROR(ERROR_HTTP_NOT_REDIRECTED, L"请求没有被重定向"),
    ORVANE_NET_ERROR(ERROR_HTTP_REDIRECT_NEEDS_CONFIRMATION, L"重定向需要确认"),
    ORVANE_NET_ERROR(ERROR_ACCESS_DENIED, L"拒绝访问"),
    ORVANE_NET_ERROR(ERROR_NOT_ENOUGH_MEMORY, L"内存不足"),
    ORVANE_NET_ERROR(ERROR_INVALID_PARAMETER, L"参数无效"),
    ORVANE_NET_ERROR(ERROR_TIMEOUT, L"超时"),
};

#undef ORVANE_NET_ERROR

} // namespace

NetErrorName LookUpNetError(DWORD code) noexcept {
    for (const Entry& e : kEntries) {
        if (e.code == code) return e.name;
    }
    return {nullptr, nullptr};
}

bool IsCertificateError(DWORD code) noexcept {
    switch (code) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
        return true;
    default:
        return false;
    }
}

std::wstring DescribeNetError(DWORD code) {
    std::wstring out = std::to_wstring(code);
    const NetErrorName known = LookUpNetError(code);
    if (known.name) {
        out += L' ';
        out += known.name;
        out += L" (";
        out += known.text;
        out += L')';
        return out;
    }
    // Not ours to name: the system's own text, in the player's language, when it has one.
    wchar_t* message = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                          nullptr, code, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    if (message) {
        std::wstring text(message, length);
        ::LocalFree(message);
        while (!text.empty() && (text.back() == L' ' || text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
        if (!text.empty()) out += L" (" + text + L')';
    }
    return out;
}
