#pragma once

#include <QDialog>

// The Schedule and camera dialog: the settings of a capture that runs for a season (hours,
// daylight, place, free-space floor, latest.jpg) and of the camera lock, read from the settings
// file when it opens and stored there on OK. A value that cannot be taken is refused with a
// message naming its field, and the dialog stays open at it. Only the values that changed are
// written, so a file without these keys keeps the capture as it was.
class ScheduleDlg : public QDialog {
    Q_OBJECT
public:
    explicit ScheduleDlg(QWidget* parent = nullptr);

    // Fills the fields from the settings file.
    void Load();
    // Checks the fields and stores the values that changed; false (after a message) when a value
    // is refused or the file cannot be written.
    bool Store();

protected:
    void accept() override;

private:
    bool Refuse(int id, const QString& message);
};
