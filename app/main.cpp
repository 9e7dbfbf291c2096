// Entry point of Orvane.exe: the one application object and the framework's entry routine.
#include "app/CTranslucentApp.h"

CTranslucentApp theApp;

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int) {
    return AfxWinMain(hInstance);
}
