#pragma once

#include <QDate>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "frames/CaptureTime.h"
#include "timeline/FrameChoice.h"

// The frames of a folder as the frame browser lists them: each with its capture time, grouped by
// the project day it was taken on, a heading before each day's frames.
class FrameCatalog {
public:
    FrameCatalog() = default;

    // Lists `frameDir` (empty or ending with '/') and reads every frame's capture time. Safe to
    // call from any thread.
    static FrameCatalog Read(const std::string& frameDir, const DayRules& rules);
    // The catalog of frames whose times are known, as Read makes it.
    FrameCatalog(std::vector<TimedFrame> frames, const DayRules& rules);

    // Days' headings and frames, in order.
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    bool IsDay(int row) const { return m_rows[static_cast<std::size_t>(row)].frame < 0; }
    // A heading: "2026-03-29, Sunday: 240 frames".
    QString DayHeading(int row) const;
    // A frame's row: its frame.
    const TimedFrame& FrameAt(int row) const;
    // "pic_10001.jpg 12:00": the frame's file name and the wall-clock time it was taken at.
    QString FrameName(int row) const;
    // The project day of a row.
    QDate DayOf(int row) const { return m_rows[static_cast<std::size_t>(row)].day; }
    int FrameCount() const { return static_cast<int>(m_frames.size()); }
    // The number of the frame before a frame's row (by number), the one a repeat repeats; nothing
    // for the first.
    std::optional<int> NumberBefore(int row) const;
    // The row of frame `number`, or nothing when the catalog has no such frame.
    std::optional<int> RowOfFrame(int number) const;

private:
    struct Row {
        int frame = -1;  // into m_frames; -1 for a day's heading
        QDate day;
        int dayFrames = 0;  // of a heading
    };

    std::vector<TimedFrame> m_frames;  // in number order
    std::vector<Row> m_rows;
};

// The wall-clock time `time` shows where it was taken: "12:00".
QString WallClockTime(const CaptureTime& time);
