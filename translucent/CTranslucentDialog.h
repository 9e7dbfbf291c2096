#pragma once
// Skinned background window: its whole appearance is one image with per-pixel alpha,
// presented with UpdateLayeredWindow; a colour-keyed companion dialog (the controls) is kept
// exactly over it. Overlay widgets can be composed into the same frame.
#include "framework/CDialog.h"
#include "framework/UiScale.h"
#include "translucent/COverlayWidget.h"
#include "translucent/CStandardDialog.h"
#include "translucent/IRenderListener.h"
#include "translucent/SkinFrame.h"

#include <windows.h>
#include "framework/GdiPlus.h"

#include <list>
#include <string>
#include <memory>

// Top-left corner that centres a framed window of framedWidth x framedHeight on workArea, in
// signed arithmetic with division truncating toward zero.
POINT CenteredOrigin(const RECT& workArea, int framedWidth, int framedHeight) noexcept;

class CTranslucentDialog : public CDialog, public IRenderListener {
public:
    // The skin is requested here (LoadResourceImage of nImageID, lpszImageType, hImageModule the
    // first time in the process; see SkinFrame). Nothing is thrown: a window built while the
    // previous main window is already retired must come into being, without its skin (0 x 0)
    // if need be.
    // nHighDpiImageID: the same skin drawn at twice the resolution, a resource of the same type
    // and module; 0: none, and the window keeps the skin's own size on any screen. Above 96 DPI
    // the choice between the two waits until the window is created (see ChooseScale).
    CTranslucentDialog(UINT nIDTemplate, UINT nImageID, LPCWSTR lpszImageType, HMODULE hImageModule,
                       CWnd* pParent, UINT nHighDpiImageID = 0) noexcept;
    ~CTranslucentDialog() override;

    // A new companion constructed with this window as its parent, or null; this window owns it.
    virtual CStandardDialog* CreateStandardDialog() = 0;
    // Registers overlay widgets; runs once, before the first composition.
    virtual void OnInitChildrenWnds() = 0;

    // Presents the skin with the overlay widgets over it. Without a widget to draw, and outside
    // widgets-only mode, the shared skin frame is presented as it is; otherwise a new frame is
    // composed from it.
    void UpdateView();
    // Composes and presents again unless m_bIgnoreRenderEvents is set.
    void OnRenderEvent(void* pSender) override;

    // How much larger than the skin's own size the window is drawn on a high-DPI screen; decided
    // when the window is created (1 before that, and always at 96 DPI).
    UiScale Scale() const noexcept { return m_scale; }
    // The largest scale: that of the high-DPI art itself, which is never enlarged.
    static constexpr UiScale kLargestScale = UiScale::FromQuarters(8);

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    int OnCreate(CREATESTRUCTW* pcs);
    // Above 96 DPI: the scale the window is drawn at (FitScale, at most kLargestScale, on the work
    // area of the monitor it opens on, for the framed window that OnCreate centres) and the skin
    // from m_nHighDpiImageID at that scale; traced. At 96 DPI, or without that art, the scale
    // stays 1 and the skin as it is.
    void ChooseScale(POINT createPos) noexcept;
    // ChooseScale's high-DPI step: true when the 2x art is taken at a scale above 1.
    bool TakeHighDpiSkin(LPCWSTR type, POINT createPos, UINT dpi) noexcept;
    void OnMove(int x, int y);
    void OnSize(UINT nType, int cx, int cy);
    BOOL OnEraseBkgnd(HDC hdc);
    void OnLButtonDown(UINT nFlags, POINT point);

    // Hands the frame selected into hdcMem to the screen at ptDst with size. The frame may be
    // the skin shared by every window of the process: read it, never draw into it.
    virtual void PresentFrame(HDC hdcWindow, HDC hdcMem, POINT ptDst, SIZE size);

    // The skin's size; 0 when there is no image or the query fails.
    UINT SkinWidth() const noexcept;
    UINT SkinHeight() const noexcept;
    // True when UpdateView has overlay widgets to draw.
    bool HasWidgetsToDraw() const noexcept;

    BLENDFUNCTION m_blend{};
    // The skin, shared; null when there was no memory to take it, or once a window lets it go.
    std::shared_ptr<const SkinFrame> m_pImage;
    bool m_bEnableDrag = true;
    bool m_bCenterWindow = true;
    // Nothing sets it by default: render events are honoured.
    bool m_bIgnoreRenderEvents = false;
    bool m_bWidgetsOnly = false;
    // See the constructor; 0 at 96 DPI.
    UINT m_nHighDpiImageID = 0;
    UiScale m_scale;

    std::unique_ptr<CStandardDialog> m_pStandardDialog;
    // Drawing order; the list does not own its widgets.
    std::list<COverlayWidget*> m_widgets;

private:
    // The skin as asked for, with the 1x size read from its header, while the choice of scale waits.
    struct SkinRequest {
        UINT id = 0;
        ULONG_PTR intType = 0;
        std::wstring namedType;
        HMODULE module = nullptr;
        SIZE size{};
    } m_skinRequest;
};
