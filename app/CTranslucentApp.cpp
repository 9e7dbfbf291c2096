#include "app/CTranslucentApp.h"

#include "app/MainWindowSwitch.h"
#include "app/UserAgent.h"
#include "diag/CDiagnosisDlg.h"
#include "diag/DiagnoseMode.h"
#include "framework/OleInit.h"
#include "framework/Trace.h"
#include "game/CVxGameDlg.h"
#include "game/GameAudio.h"
#include "launcher/CVxTranslucentDlg.h"
#include "resource.h"

#include "framework/GdiPlus.h"

namespace {
CTranslucentApp* g_pTranslucentApp = nullptr;

CVxTranslucentDlg MakeLauncher() {
    return CVxTranslucentDlg(IDB_SKIN, L"PNG", nullptr, nullptr);
}
} // namespace

CTranslucentApp::CTranslucentApp() noexcept {
    g_pTranslucentApp = this;
}

CTranslucentApp::~CTranslucentApp() {
    if (g_pTranslucentApp == this) g_pTranslucentApp = nullptr;
}

CTranslucentApp* AfxGetTranslucentApp() noexcept {
    return g_pTranslucentApp && AfxGetApp() == g_pTranslucentApp ? g_pTranslucentApp : nullptr;
}

BOOL CTranslucentApp::InitInstance() {
    CWinApp::InitInstance();
    AfxEnableControlContainer();
    if (IsDiagnoseCommandLine(::GetCommandLineW())) {
        // The diagnosis instead of the launcher: no GDI+, no browser, nothing else started.
        fw::Trace(L"diagnosis window requested on the command line");
        CDiagnosisDlg diagnosis(CurrentDiagnosisSettings());
        RunMainWindow(*this, diagnosis);
        return FALSE;
    }
    // Before the first browser: every request the engine makes in this process names the program.
    (void)SetProcessUserAgent();
    Gdiplus::GdiplusStartupInput input; // version 1, no debug callback, background thread and codecs on
    m_gdiplusStarted = Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr) == Gdiplus::Ok;
    {
        CVxTranslucentDlg launcher = MakeLauncher();
        RunMainWindow(*this, launcher);
    }
    return FALSE;
}

int CTranslucentApp::ExitInstance() {
    // The sound session back as it was found, while COM is still up; a run that never touched
    // the sound does no Core Audio work here.
    GameAudio::Instance().Shutdown();
    if (m_gdiplusStarted) {
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
        m_gdiplusStarted = false;
    }
    return CWinApp::ExitInstance();
}

void CTranslucentApp::SwitchToGame(std::wstring first, std::wstring second) {
    fw::Trace(L"switch to the game window at ", fw::Quoted(first));
    // The retired launcher is never drawn again but lives on until the process ends: it holds
    // no reference to the shared skin from here on (the skin itself stays for the process).
    if (auto* pLauncher = dynamic_cast<CVxTranslucentDlg*>(m_pMainWnd); pLauncher && pLauncher->m_hWnd) {
        pLauncher->ReleaseSkin();
    }
    ReplaceMainWindow(
        *this, [] { return CVxGameDlg(nullptr); },
        [&](CVxGameDlg& game) { game.SetParams(std::move(first), std::move(second)); });
}

void CTranslucentApp::SwitchToLauncher() {
    fw::Trace(L"switch from the game window back to a launcher");
    ReplaceMainWindow(*this, &MakeLauncher, [](CVxTranslucentDlg&) {});
}
