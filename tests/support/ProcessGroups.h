#pragma once

#include <sys/types.h>

#include <QDir>
#include <QFile>

// The processes of group `group` that still run; an ended one left to its new parent to reap
// does not count.
inline int LiveMembers(pid_t group) {
    int live = 0;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + entry + "/stat");
        if (entry.toInt() <= 0 || !stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray text = stat.readAll();
        // "pid (name) state ppid pgrp ...": the name may hold anything but the last ')'.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toInt() == group && fields[0] != "Z") {
            ++live;
        }
    }
    return live;
}
