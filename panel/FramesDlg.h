#pragma once

#include <QDialog>
#include <string>

#include "timeline/FrameChoice.h"

class FramesModel;
class GroupedIconView;
class QLabel;

// The frame browser: the thumbnails of the frame folder by day, each with its capture time and,
// when it is bad, why. The user chooses the video's first and last frame among them, with the
// keyboard (F and L, or Alt+F and Alt+L, on the frame under the cursor) or the mouse; OK hands them
// to the main window. Not modal: it is opened beside the main window and closed with it.
class FramesDlg : public QDialog {
    Q_OBJECT
public:
    // Over the frames of `frameDir` (empty or ending with '/'), the video's range preset to the
    // frames `firstNumber` to `lastNumber`.
    FramesDlg(const std::string& frameDir, const DayRules& rules, int firstNumber, int lastNumber,
              QWidget* parent = nullptr);

    FramesModel& Model() { return *m_model; }
    GroupedIconView& View() { return *m_view; }
    // Makes the frame under the cursor the first, or the last, of the video.
    void OnFirstFrame();
    void OnLastFrame();

signals:
    // OK: the first and last frame numbers chosen, in order.
    void RangeChosen(int firstNumber, int lastNumber);

protected:
    void accept() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnLoaded();
    void ShowRange();
    // The frame under the cursor, or nothing.
    std::optional<int> CurrentFrame() const;
    QString Described(int number) const;

    FramesModel* m_model;
    GroupedIconView* m_view;
    QLabel* m_summary;
    QLabel* m_range;
    std::string m_shownFolder;
    int m_first;
    int m_last;
};
