#include "app/VornApp.h"

#include "app/VornDlg.h"

bool CVornApp::InitInstance() {
    CVornDlg dlg;
    dlg.DoModal();
    return false;
}
