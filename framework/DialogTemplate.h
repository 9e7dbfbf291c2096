#pragma once
// Reading dialog templates and their control initial data from the resources.
#include "framework/ResourceBytes.h"

#include <windows.h>
#include <cstddef>
#include <string>
#include <vector>

// Messages of the control initial data records.
constexpr WORD WM_OCC_LOADFROMSTREAM = 0x0376;
constexpr WORD WM_MFC_INITCTRL = 0x037C;

struct DialogTemplateItem {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::wstring className; // empty when the class is an ordinal
    WORD classOrdinal = 0;
    std::wstring title;     // empty when the title is an ordinal or absent
    WORD titleOrdinal = 0;
    std::vector<BYTE> extra;
    size_t offset = 0; // byte offset of the item in the template
    size_t size = 0;   // bytes of the item, without trailing alignment
};

struct DialogTemplateInfo {
    bool extended = false;
    WORD version = 0;
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, windowClass, caption;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::wstring typeface;
    size_t headerSize = 0; // bytes before the first item (unaligned)
    std::vector<DialogTemplateItem> items;
};

// Parses an extended (or classic) dialog template; false when the bytes are malformed.
bool ParseDialogTemplate(const BYTE* data, size_t size, DialogTemplateInfo& out);

// A control-id/message/data record of the control initial data resource (type 240).
struct DlgInitRecord {
    WORD id = 0;
    WORD message = 0;
    std::vector<BYTE> data;
};
// Records up to the terminating zero id; a truncated record ends the list.
std::vector<DlgInitRecord> ParseDlgInit(const BYTE* data, size_t size);

// An ActiveX item taken out of a template before the platform creates the dialog.
struct DialogControlItem {
    CLSID clsid{};
    UINT id = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT dluRect{}; // left, top, right, bottom in dialog units
    std::wstring title;
    std::vector<BYTE> initState; // the control's WM_OCC_LOADFROMSTREAM record, if any
};

// Copies the template without items whose class is a CLSID ("{...}"); those items are returned.
std::vector<BYTE> StripActiveXItems(const BYTE* data, size_t size, std::vector<DialogControlItem>& removed);
