#include "app/VornApp.h"

#include "app/VornDlg.h"

bool CVornApp::InitInstance() {
    CVornDlg dlg;
    m_exitCode = dlg.Run();
    return false;
}
