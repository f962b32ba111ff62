#include "app/VornApp.h"

#include "app/VornDlg.h"

bool CVornApp::InitInstance() {
    CVornDlg dlg;
    m_exitCode = dlg.DoModal();
    return false;
}
