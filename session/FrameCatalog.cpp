#include "session/FrameCatalog.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>

#include "frames/FrameFile.h"

FrameCatalog FrameCatalog::Read(const std::string& frameDir, const DayRules& rules) {
    const std::vector<int> numbers = ListFrameNumbers(frameDir).value_or(std::vector<int>());
    return FrameCatalog(ReadFrameTimes(frameDir, numbers).frames, rules);
}

FrameCatalog::FrameCatalog(std::vector<TimedFrame> frames, const DayRules& rules)
    : m_frames(std::move(frames)) {
    m_rows.reserve(m_frames.size() + m_frames.size() / 100);
    for (const auto& [day, numbers] : FramesByDay(m_frames, rules)) {
        m_rows.push_back({-1, day, static_cast<int>(numbers.size())});
        for (const int number : numbers) {
            const auto found = std::lower_bound(
                m_frames.begin(), m_frames.end(), number,
                [](const TimedFrame& frame, int wanted) { return frame.number < wanted; });
            m_rows.push_back({static_cast<int>(found - m_frames.begin()), day, 0});
        }
    }
}

QString FrameCatalog::DayHeading(int row) const {
    const Row& heading = m_rows[static_cast<std::size_t>(row)];
    return QStringLiteral("%1, %2: %3 %4")
        .arg(heading.day.toString(Qt::ISODate), heading.day.toString(QStringLiteral("dddd")))
        .arg(heading.dayFrames)
        .arg(heading.dayFrames == 1 ? QStringLiteral("frame") : QStringLiteral("frames"));
}

const TimedFrame& FrameCatalog::FrameAt(int row) const {
    return m_frames[static_cast<std::size_t>(m_rows[static_cast<std::size_t>(row)].frame)];
}

QString FrameCatalog::FrameName(int row) const {
    const TimedFrame& frame = FrameAt(row);
    return QString::fromStdString(FrameFileName(frame.number)) + QLatin1Char(' ') +
           WallClockTime(frame.time);
}

std::optional<int> FrameCatalog::NumberBefore(int row) const {
    const int frame = m_rows[static_cast<std::size_t>(row)].frame;
    if (frame <= 0) {
        return std::nullopt;
    }
    return m_frames[static_cast<std::size_t>(frame - 1)].number;
}

std::optional<int> FrameCatalog::RowOfFrame(int number) const {
    const auto found = std::find_if(m_rows.begin(), m_rows.end(), [&](const Row& row) {
        return row.frame >= 0 && m_frames[static_cast<std::size_t>(row.frame)].number == number;
    });
    if (found == m_rows.end()) {
        return std::nullopt;
    }
    return static_cast<int>(found - m_rows.begin());
}

QString WallClockTime(const CaptureTime& time) {
    const QDateTime wall = QDateTime::fromMSecsSinceEpoch(
        time.ms + std::int64_t{time.utcOffsetSeconds} * 1000, QTimeZone::utc());
    return wall.toString(QStringLiteral("HH:mm"));
}
