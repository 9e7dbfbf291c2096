#pragma once
// Test doubles and helpers shared by the layered window and companion dialog tests.
#include "translucent/CStandardDialog.h"
#include "translucent/CTranslucentDialog.h"

#include <windows.h>
#include "framework/GdiPlus.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace test {

constexpr COLORREF kKeyGreen = RGB(0, 255, 0);


// Counts of the messages a window procedure saw, by message and by (message, wParam).
struct MessageLog {
    std::vector<UINT> order;
    std::map<UINT, int> count;
    std::map<std::pair<UINT, WPARAM>, int> byParam;
    void Add(UINT message, WPARAM wParam) {
        order.push_back(message);
        ++count[message];
        ++byParam[{message, wParam}];
    }
    int Count(UINT message) const {
        auto it = count.find(message);
        return it == count.end() ? 0 : it->second;
    }
    int Count(UINT message, WPARAM wParam) const {
        auto it = byParam.find({message, wParam});
        return it == byParam.end() ? 0 : it->second;
    }
};

// Companion on a given template (the real one, 103, by default) with the launcher's key.
class TestCompanion : public CStandardDialog {
public:
    explicit TestCompanion(CWnd* pParent, UINT nIDTemplate = 103, COLORREF crKey = kKeyGreen)
        : CStandardDialog(nIDTemplate, crKey, pParent) {}
    ~TestCompanion() override {
        if (onDestroyObject) onDestroyObject();
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        log.Add(message, wParam);
        const LRESULT result = CStandardDialog::WindowProc(message, wParam, lParam);
        if (message == WM_COMMAND && m_hWnd) visibleAfterCommand = ::IsWindowVisible(m_hWnd) != FALSE;
        return result;
    }
    void DoDataExchange(CDataExchange* pDX) override {
        journal.push_back(pDX->m_bSaveAndValidate ? "save data" : "load data");
    }
    // Modeless creation under any window handle, framework object or not.
    BOOL CreateWithOwner(HWND owner) {
        const ResourceBytes tmpl = FindResourceBytes(::GetModuleHandleW(nullptr), m_lpszTemplateName, RT_DIALOG);
        return CreateIndirect(tmpl.data, tmpl.size, owner);
    }
    HBRUSH KeyBrush() const { return m_brushKey.get(); }
    COLORREF Key() const { return m_crKey; }

    MessageLog log;
    bool visibleAfterCommand = true;
    std::vector<std::string> journal;
    std::function<void()> onDestroyObject;
};

// The frame handed to the screen: header of the selected DIB section and its pixels.
struct Frame {
    DIBSECTION section{};
    POINT ptDst{};
    SIZE size{};
    std::vector<BYTE> bits; // as stored: bottom-up rows
    // BGRA of the pixel at (x, y) counted from the top.
    const BYTE* At(int x, int y) const {
        const int stride = section.dsBm.bmWidthBytes;
        const int row = section.dsBmih.biHeight > 0 ? section.dsBm.bmHeight - 1 - y : y;
        return bits.data() + static_cast<size_t>(row) * stride + static_cast<size_t>(x) * 4;
    }
};

// Background on template 102 with a skin resource (158 "PNG" by default), whose companion is a
// TestCompanion on template 103. Records messages, the CREATESTRUCT and every presented frame.
class TestBackground : public CTranslucentDialog {
public:
    explicit TestBackground(UINT nImageID = 158, bool center = true, bool withCompanion = true,
                            LPCWSTR type = L"PNG", HMODULE module = nullptr)
        : CTranslucentDialog(102, nImageID, type, module, nullptr), m_withCompanion(withCompanion) {
        m_bCenterWindow = center;
    }
    ~TestBackground() override {
        if (onDestroyObject) onDestroyObject();
    }

    CStandardDialog* CreateStandardDialog() override {
        styleAtCompanion = GetStyle();
        exStyleAtCompanion = GetExStyle();
        if (!m_withCompanion) return nullptr;
        companion = new TestCompanion(this);
        return companion;
    }
    void OnInitChildrenWnds() override {
        ++initChildrenCalls;
        presentsAtInitChildren = static_cast<int>(frames.size());
        for (COverlayWidget* w : widgetsToAdd) m_widgets.push_back(w);
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        log.Add(message, wParam);
        if (message == WM_CREATE) {
            const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            createPos = POINT{cs->x, cs->y};
            styleAtCreate = GetStyle();
        }
        if (message == WM_CLOSE && closeJournal) closeJournal->push_back("background close");
        return CTranslucentDialog::WindowProc(message, wParam, lParam);
    }
    void PresentFrame(HDC hdcWindow, HDC hdcMem, POINT ptDst, SIZE size) override;

    // Access for the tests.
    void SetWidgetsOnly(bool on) { m_bWidgetsOnly = on; }
    void SetEnableDrag(bool on) { m_bEnableDrag = on; }
    void SetIgnoreRenderEvents(bool on) { m_bIgnoreRenderEvents = on; }
    bool IgnoreRenderEvents() const { return m_bIgnoreRenderEvents; }
    bool WidgetsOnly() const { return m_bWidgetsOnly; }
    bool EnableDrag() const { return m_bEnableDrag; }
    bool CenterWindow() const { return m_bCenterWindow; }
    const BLENDFUNCTION& Blend() const { return m_blend; }
    bool HasSkin() const { return m_pImage != nullptr; }
    const SkinFrame* Skin() const { return m_pImage.get(); }
    UINT Width() const { return SkinWidth(); }
    UINT Height() const { return SkinHeight(); }
    CStandardDialog* Companion() const { return m_pStandardDialog.get(); }
    std::list<COverlayWidget*>& Widgets() { return m_widgets; }

    MessageLog log;
    POINT createPos{-1, -1};
    DWORD styleAtCreate = 0;
    DWORD styleAtCompanion = 0;
    DWORD exStyleAtCompanion = 0;
    TestCompanion* companion = nullptr; // owned by the base
    std::vector<COverlayWidget*> widgetsToAdd;
    int initChildrenCalls = 0;
    int presentsAtInitChildren = -1;
    std::vector<Frame> frames;
    bool keepFrames = true;
    int presents = 0;
    std::function<void()> onDestroyObject;
    std::vector<std::string>* closeJournal = nullptr;

private:
    bool m_withCompanion;
};

// A widget that fills a rectangle with one ARGB colour and notes its calls in a shared record.
class SolidWidget : public COverlayWidget {
public:
    SolidWidget(std::string name, RECT rc, Gdiplus::ARGB color, std::vector<std::string>& calls, BYTE visible = TRUE)
        : m_name(std::move(name)), m_rc(rc), m_color(color), m_calls(calls) {
        m_bVisible = visible;
    }
    void Render(Gdiplus::Graphics& graphics) override;

    std::string m_name;
    RECT m_rc;
    Gdiplus::ARGB m_color;
    std::vector<std::string>& m_calls;
};

// Decodes an image resource of this executable with GDI+ into straight (not premultiplied) ARGB rows.
struct DecodedImage {
    UINT width = 0, height = 0;
    std::vector<UINT32> argb; // top-down, 0xAARRGGBB
};
DecodedImage DecodeResourceImage(UINT id, LPCWSTR type);

// GDI objects of this process.
DWORD GdiObjects();

// A window filled with one colour: a visible popup at screen rc, or a child at client rc of parent.
HWND CreateSolidWindow(const RECT& rc, COLORREF color, HWND parent = nullptr);

} // namespace test
