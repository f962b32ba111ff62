#pragma once

#include <QDialog>

// The About box: the program's name, version and notice, and a link to the user group's page.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    void OnUserGroupPage();

private:
    void ConnectMessageTable();
};
