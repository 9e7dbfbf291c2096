#pragma once
// Notification through which overlay widgets ask their window to compose and present again.

struct IRenderListener {
    virtual ~IRenderListener() = default;
    // pSender: the widget that asks (not read by the background window).
    virtual void OnRenderEvent(void* pSender) = 0;
};
