#pragma once
// An automation exception: what a control reported with DISP_E_EXCEPTION, or what a handler
// wants its script caller to receive (Invoke copies these fields into EXCEPINFO).
#include <windows.h>

#include <exception>
#include <string>
#include <utility>

class COleDispatchException : public std::exception {
public:
    COleDispatchException(std::wstring source, std::wstring description, DWORD helpContext = 0,
                          SCODE scode = E_FAIL)
        : m_strSource(std::move(source)), m_strDescription(std::move(description)),
          m_dwHelpContext(helpContext), m_scError(scode) {}
    const char* what() const noexcept override { return "automation exception"; }

    std::wstring m_strSource;
    std::wstring m_strDescription;
    DWORD m_dwHelpContext;
    SCODE m_scError;
    WORD m_wCode = 0;
    std::wstring m_strHelpFile;
};
