#pragma once
// A widget composed into the background window's frame instead of painting itself.
#include "framework/CWnd.h"

#include <windows.h>
#include "framework/GdiPlus.h"

class COverlayWidget : public CWnd {
public:
    // Draws the widget onto the frame being composed.
    virtual void Render(Gdiplus::Graphics& graphics) = 0;

    // Non-zero: the widget is drawn.
    BYTE m_bVisible = TRUE;
};
