#pragma once
// Both ends of an IDispatch::Invoke call, with the conventions they share: the arguments travel
// last to first, typed by a VTS_ list, and a failure travels as DISP_E_EXCEPTION with EXCEPINFO.
//   - Called: a dispatch-table entry gets its arguments converted to its list, and whatever it
//     throws comes back to the caller as EXCEPINFO.
//   - Calling: a late-bound call on a control's IDispatch from a VTS_ list and C++ arguments,
//     whose EXCEPINFO comes back as a thrown COleDispatchException.
#include "framework/CCmdTarget.h"

#include <windows.h>
#include <oaidl.h>

#include <cstdarg>

namespace fw {

// Converts the Invoke arguments to the entry's declared types (params) and runs fn; a result is
// converted to vtResult. No exception leaves: what fn throws comes back as DISP_E_EXCEPTION with
// pExcepInfo filled in.
HRESULT CallDispatchEntry(CCmdTarget* pTarget, const char* params, VARTYPE vtResult, DispInvokeFn fn,
                          DISPPARAMS* pParams, VARIANT* pResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept;

// The work of CWnd::InvokeHelper on pDispatch (not null): pbParamInfo is a VTS_ list describing
// the arguments in argList, vtRet and pvRet the result's type and where it goes.
void InvokeDispatchV(IDispatch* pDispatch, DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet,
                     const BYTE* pbParamInfo, va_list argList);

} // namespace fw
