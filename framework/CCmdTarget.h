#pragma once
// Automation for framework objects, in the manner of the classic command target: an IDispatch
// answered from a static dispatch table, and a table of control events for hosted controls.
//
// Declaring tables: a macro in the class, then the table once in the class's .cpp.
//
//     class CMyDlg : public CDHtmlDialog {
//         ...
//     protected:
//         void outLink(const VARIANT& a, const VARIANT& b);
//         void OnNavigateComplete2(IDispatch* pDisp, VARIANT* url);
//         DECLARE_DISPATCH_MAP()      // these two leave the class in public access
//         DECLARE_EVENTSINK_MAP()
//     };
//
//     BEGIN_DISPATCH_MAP(CMyDlg, CDHtmlDialog)
//         DISP_FUNCTION(CMyDlg, "outLink", outLink, VT_EMPTY, VTS_VARIANT VTS_VARIANT)
//         DISP_FUNCTION_ID(CMyDlg, "other", 42, Other, VT_BSTR, VTS_I4)
//     END_DISPATCH_MAP()
//
//     BEGIN_EVENTSINK_MAP(CMyDlg, CDHtmlDialog)
//         ON_EVENT(CMyDlg, 1005, 252, OnNavigateComplete2, VTS_DISPATCH VTS_PVARIANT)
//     END_EVENTSINK_MAP()
//
// The VTS_ list says what each argument is converted to before the call (in left-to-right order;
// the framework reverses IDispatch's argument array). A template thunk deduces the member's own
// parameter types, and a static_assert in each entry checks them against the list, so a table
// that does not fit its members does not compile (framework/DispatchArgs.h lists the types each
// VTS_ entry binds to and the result types).
//
// Entries are methods: Invoke wants DISPATCH_METHOD (script engines may add DISPATCH_PROPERTYGET);
// a property read or write of an entry is DISP_E_MEMBERNOTFOUND. Named arguments are refused.
// Dispatch ids: names match without regard to case. An entry without an id (DISP_FUNCTION) gets
// MAKELONG(position + 1, depth), where depth counts tables from the object's most-derived one (0)
// towards CCmdTarget: the first entry of the most-derived table is 1.
// Events: the first entry for (control id, dispatch id), most-derived table first, runs; an
// event without an entry is answered S_OK.
// A C++ exception leaving a member never crosses the COM boundary: Invoke answers
// DISP_E_EXCEPTION and fills EXCEPINFO (COleDispatchException: its fields; COleException: its
// status; std::bad_alloc: E_OUTOFMEMORY; std::exception: E_FAIL with what(); else E_UNEXPECTED).
#include "framework/ComPtr.h"
#include "framework/DispatchArgs.h"

#include <windows.h>
#include <oaidl.h>

class CCmdTarget;
class CCmdTargetDispatch;

namespace fw {

// Runs one table entry: args are in declared order, already converted; pResult may be null.
using DispInvokeFn = HRESULT (*)(CCmdTarget* pTarget, VARIANT* const* args, VARIANT* pResult);

struct DispatchEntry {
    const wchar_t* name; // null ends the table
    DISPID dispid;       // DISPID_UNKNOWN: assigned from the position
    const char* params;  // VTS_ list
    VARTYPE vtResult;
    DispInvokeFn invoke;
};
struct DispatchMap {
    const DispatchMap* base;
    const DispatchEntry* entries;
};

struct EventSinkEntry {
    UINT ctrlId;
    DISPID dispid;
    const char* params;
    DispInvokeFn invoke; // null ends the table
};
struct EventSinkMap {
    const EventSinkMap* base;
    const EventSinkEntry* entries;
};

} // namespace fw

class CCmdTarget {
public:
    CCmdTarget() noexcept;
    virtual ~CCmdTarget();
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    // Creates the object's IDispatch (once); until then GetIDispatch gives null.
    void EnableAutomation();
    // The object's IDispatch, with a reference for the caller when bAddRef; null when automation
    // is not enabled.
    IDispatch* GetIDispatch(BOOL bAddRef) noexcept;
    // Cuts the IDispatch off from this object: later calls on it fail with RPC_E_DISCONNECTED.
    // The destructor does it; a class whose table members use state that goes before
    // ~CCmdTarget runs may call it first thing in its own destructor.
    void ExternalDisconnect() noexcept;

    virtual const fw::DispatchMap* GetDispatchMap() const;
    virtual const fw::EventSinkMap* GetEventSinkMap() const;

    // The dispatch core, as the IDispatch object calls it.
    HRESULT DispatchGetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) const noexcept;
    HRESULT DispatchInvoke(DISPID dispid, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult,
                           EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept;
    // Entry of the dispatch table for a name (and its effective id), or for an id; null when none.
    const fw::DispatchEntry* FindDispatchEntry(LPCOLESTR name, DISPID* pDispId) const noexcept;
    const fw::DispatchEntry* FindDispatchEntry(DISPID dispid) const noexcept;

    // Runs the event-sink entry for an event of control nCtrlId; S_OK doing nothing when the
    // tables have none.
    HRESULT OnEvent(UINT nCtrlId, DISPID dispid, DISPPARAMS* pParams, EXCEPINFO* pExcepInfo,
                    UINT* puArgErr) noexcept;

    // The root tables: no entries.
    static const fw::DispatchEntry _dispatchEntries[];
    static const fw::DispatchMap dispatchMap;
    static const fw::EventSinkEntry _eventSinkEntries[];
    static const fw::EventSinkMap eventSinkMap;

private:
    fw::ComPtr<CCmdTargetDispatch> m_pDispatch;
};

#define DECLARE_DISPATCH_MAP()                                                                     \
public:                                                                                            \
    static const ::fw::DispatchEntry _dispatchEntries[];                                           \
    static const ::fw::DispatchMap dispatchMap;                                                    \
    const ::fw::DispatchMap* GetDispatchMap() const override { return &dispatchMap; }

#define BEGIN_DISPATCH_MAP(theClass, baseClass)                                                    \
    const ::fw::DispatchMap theClass::dispatchMap = {&baseClass::dispatchMap, theClass::_dispatchEntries}; \
    const ::fw::DispatchEntry theClass::_dispatchEntries[] = {

#define DISP_FUNCTION_ID(theClass, szExternalName, dispid, memberFxn, vtRetVal, vtsParams)         \
    {L"" szExternalName, (dispid), (vtsParams), (vtRetVal), []() constexpr {                       \
         static_assert(::fw::disp::DispatchSignatureFits<decltype(&theClass::memberFxn)>(vtsParams, vtRetVal), \
                       "dispatch entry " szExternalName ": VTS list or result type does not fit the member"); \
         return &::fw::disp::Thunk<theClass, &theClass::memberFxn>::Invoke;                        \
     }()},

#define DISP_FUNCTION(theClass, szExternalName, memberFxn, vtRetVal, vtsParams)                    \
    DISP_FUNCTION_ID(theClass, szExternalName, DISPID_UNKNOWN, memberFxn, vtRetVal, vtsParams)

#define END_DISPATCH_MAP()                                                                         \
    {nullptr, DISPID_UNKNOWN, nullptr, VT_EMPTY, nullptr}                                          \
    }                                                                                              \
    ;

#define DECLARE_EVENTSINK_MAP()                                                                    \
public:                                                                                            \
    static const ::fw::EventSinkEntry _eventSinkEntries[];                                         \
    static const ::fw::EventSinkMap eventSinkMap;                                                  \
    const ::fw::EventSinkMap* GetEventSinkMap() const override { return &eventSinkMap; }

#define BEGIN_EVENTSINK_MAP(theClass, baseClass)                                                   \
    const ::fw::EventSinkMap theClass::eventSinkMap = {&baseClass::eventSinkMap, theClass::_eventSinkEntries}; \
    const ::fw::EventSinkEntry theClass::_eventSinkEntries[] = {

#define ON_EVENT(theClass, id, dispid, pfnHandler, vtsParams)                                      \
    {static_cast<UINT>(id), static_cast<DISPID>(dispid), (vtsParams), []() constexpr {             \
         static_assert(::fw::disp::EventSignatureFits<decltype(&theClass::pfnHandler)>(vtsParams),  \
                       "event entry " #pfnHandler ": VTS list does not fit the handler");          \
         return &::fw::disp::Thunk<theClass, &theClass::pfnHandler>::Invoke;                       \
     }()},

#define END_EVENTSINK_MAP()                                                                        \
    {0, DISPID_UNKNOWN, nullptr, nullptr}                                                          \
    }                                                                                              \
    ;
