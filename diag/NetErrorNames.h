#pragma once
// Names and plain-Chinese meanings of the error codes a network check can meet: WinINet's own
// (12001 and up) and the Windows ones that come through it. Support staff search for the name;
// the player reads the meaning.
#include <windows.h>

#include <string>

struct NetErrorName {
    const wchar_t* name; // "ERROR_INTERNET_CANNOT_CONNECT"; null for an unknown code
    const wchar_t* text; // "无法连接到服务器"; null for an unknown code
};

// The name and meaning of code; both null when the code is not one we know.
NetErrorName LookUpNetError(DWORD code) noexcept;
// "12029 ERROR_INTERNET_CANNOT_CONNECT (无法连接到服务器)"; an unknown code as its number and
// the system's own message where it has one.
std::wstring DescribeNetError(DWORD code);
// Whether code is one of the certificate and secure-channel errors.
bool IsCertificateError(DWORD code) noexcept;
