#include "app/AboutDlg.h"

#include <QPushButton>

#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "widgets/DialogControls.h"
#include "widgets/WebPage.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    CreateControls(*this, kAboutDialogTemplate);
    ConnectMessageTable();
}

void CAboutDlg::ConnectMessageTable() {
    connect(GetDlgItemAs<QPushButton>(*this, IDC_USER_GROUP), &QPushButton::clicked, this,
            &CAboutDlg::OnUserGroupPage);
    connect(GetDlgItemAs<QPushButton>(*this, IDOK), &QPushButton::clicked, this,
            &CAboutDlg::accept);
}

void CAboutDlg::OnUserGroupPage() {
    OpenWebPage(kUserGroupUrl);
}
