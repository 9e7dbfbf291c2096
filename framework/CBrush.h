#pragma once
// A brush object that owns its GDI brush.
#include "framework/Handles.h"

class CBrush {
public:
    CBrush() noexcept = default;
    explicit CBrush(COLORREF cr) noexcept { CreateSolidBrush(cr); }
    CBrush(const CBrush&) = delete;
    CBrush& operator=(const CBrush&) = delete;

    // Replaces any brush held so far.
    BOOL CreateSolidBrush(COLORREF cr) noexcept {
        m_brush.reset(::CreateSolidBrush(cr));
        return m_brush ? TRUE : FALSE;
    }
    // Takes ownership of hBrush; fails when a brush is already held.
    BOOL Attach(HBRUSH hBrush) noexcept {
        if (m_brush || !hBrush) return FALSE;
        m_brush.reset(hBrush);
        return TRUE;
    }
    HBRUSH Detach() noexcept { return m_brush.release(); }
    BOOL DeleteObject() noexcept {
        if (!m_brush) return FALSE;
        m_brush.reset();
        return TRUE;
    }
    HBRUSH GetSafeHandle() const noexcept { return m_brush.get(); }
    operator HBRUSH() const noexcept { return m_brush.get(); }

private:
    fw::UniqueBrush m_brush;
};
