#include "platform/WindowTimers.h"

void WindowTimers::SetTimer(int id, int ms) {
    KillTimer(id);
    m_qtIds[id] = m_owner.startTimer(ms);
}

bool WindowTimers::KillTimer(int id) {
    auto it = m_qtIds.find(id);
    if (it == m_qtIds.end()) {
        return false;
    }
    m_owner.killTimer(it->second);
    m_qtIds.erase(it);
    return true;
}

int WindowTimers::IdOf(int qtTimerId) const {
    for (const auto& [id, qtId] : m_qtIds) {
        if (qtId == qtTimerId) {
            return id;
        }
    }
    return 0;
}
