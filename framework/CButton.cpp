#include "framework/CButton.h"

CButton::~CButton() = default;

BOOL CButton::Create(LPCWSTR lpszCaption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
    return CWnd::Create(L"Button", lpszCaption, dwStyle, rect, pParentWnd, nID);
}
