#pragma once
// Image buttons: the "MfcButton" window class of dialog templates and the CMFCButton object
// that binds to it (borderless, per-pixel-alpha images, hot image, hand cursor).
#include "framework/CButton.h"
#include "framework/PremultipliedImage.h"

#include <string>
#include <vector>

// Window class of image buttons in dialog templates.
constexpr wchar_t kMfcButtonClassName[] = L"MfcButton";

// Registers the window classes of the framework's own template controls, once per process.
// The dialog creation path calls it before any template is created.
BOOL AfxRegisterMFCCtrlClasses() noexcept;

class CMFCButton : public CButton {
public:
    // Values of the initial data properties.
    enum : int { BUTTONSTYLE_3D = 0, BUTTONSTYLE_NOBORDERS = 6 };
    enum : int { CURSOR_DEFAULT = 0, CURSOR_HAND = 12 };
    enum : int { IMAGE_NONE = 8, IMAGE_BITMAP_BY_ID = 10 };

    CMFCButton() noexcept;
    ~CMFCButton() override;

    // Creates a child "MfcButton" window (not a "Button") routed through this object.
    BOOL Create(LPCWSTR lpszCaption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

    // Loads "PNG" resources of AfxGetResourceHandle(); id 0 means no image for that state.
    // dScale: the images are shown at that fraction of their own size (art drawn at 2x on a
    // screen at 1.5x: 0.75), filtered as PremultipliedImage::FromResource does.
    void SetImage(UINT nIDNormal, UINT nIDHot = 0, UINT nIDDisabled = 0, double dScale = 1.0);
    void SetMouseCursorHand() { m_nCursorType = CURSOR_HAND; }
    // Applies a property run the way the window's initial data does.
    void ApplyProperties(const char* data, size_t size);
    // Sizes the window to the normal image (plus the border when it has one).
    void SizeToContent();

    BOOL IsHighlighted() const noexcept { return m_bHighlighted; }
    BOOL IsPressed() const noexcept { return m_bPushed; }
    const PremultipliedImage& GetNormalImage() const noexcept { return m_imgNormal; }
    const PremultipliedImage& GetHotImage() const noexcept { return m_imgHot; }
    const PremultipliedImage& GetDisabledImage() const noexcept { return m_imgDisabled; }

    // Draws the parent's background behind the image instead of the button face.
    BOOL m_bTransparent = FALSE;
    // Initial data properties.
    int m_nFlatStyle = BUTTONSTYLE_3D;
    BOOL m_bAutosize = FALSE;
    std::wstring m_strToolTip;
    BOOL m_bFullTextTool = FALSE;
    int m_nCursorType = CURSOR_DEFAULT;
    int m_nImageType = 0;
    BOOL m_bTopImage = FALSE;
    BOOL m_bRightImage = FALSE;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void PreSubclassWindow() override;
    // Renders the whole client area into hdc (double-buffered).
    virtual void DrawButton(HDC hdc);

private:
    void SetHighlighted(bool hot);
    void SetPushed(bool pushed);
    void OnMouseMove(POINT pt);
    void OnLButtonDown();
    void OnLButtonUp(POINT pt);
    void Clicked();
    void FillBackground(HDC hdc, const RECT& rc);
    const PremultipliedImage& CurrentImage() const noexcept;
    bool HasBorder() const noexcept { return m_nFlatStyle != BUTTONSTYLE_NOBORDERS; }

    PremultipliedImage m_imgNormal;
    PremultipliedImage m_imgHot;
    PremultipliedImage m_imgDisabled;
    BOOL m_bHighlighted = FALSE;
    BOOL m_bPushed = FALSE;
    bool m_bTracking = false;
    bool m_bCaptured = false;
    bool m_bSpaceDown = false;
};
