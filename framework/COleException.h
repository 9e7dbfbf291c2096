#pragma once
// A failed OLE or automation call, carrying its status code.
#include <windows.h>

#include <exception>

class COleException : public std::exception {
public:
    explicit COleException(HRESULT sc) noexcept : m_sc(sc) {}
    const char* what() const noexcept override { return "OLE call failed"; }

    HRESULT m_sc;
};
