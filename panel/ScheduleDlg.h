#pragma once

#include <QDialog>
#include <string>
#include <vector>

// The Schedule and camera dialog: the settings of a capture that runs for a season (hours,
// daylight, place, free-space floor, latest.jpg) and of the camera lock, read from the settings
// file when it opens and stored there on OK. A value that cannot be taken is refused with the
// settings file's own message for it, and the dialog stays open at its field. Only the values the
// user changed are written, so a file without these keys keeps the capture as it was.
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
    // Each field's value as the settings file would hold it, in the order of the fields.
    std::vector<std::string> FieldTexts() const;

    // What Load showed: only the fields that differ from it are stored.
    std::vector<std::string> m_shown;
};
