#pragma once

#include <QObject>
#include <map>

// Window timers with the program's own ids on top of QObject::startTimer, so that a handler can
// ask which logical timer fired and kill a timer by its id.
class WindowTimers {
public:
    explicit WindowTimers(QObject& owner) : m_owner(owner) {}

    // Starts (or restarts) logical timer `id` with period `ms`.
    void SetTimer(int id, int ms);
    // Stops logical timer `id`; false when it was not running.
    bool KillTimer(int id);
    // The logical id of the Qt timer `qtTimerId`, or 0 when it is not one of ours.
    int IdOf(int qtTimerId) const;
    bool IsActive(int id) const { return m_qtIds.contains(id); }

private:
    QObject& m_owner;
    std::map<int, int> m_qtIds;  // logical id -> Qt timer id
};
