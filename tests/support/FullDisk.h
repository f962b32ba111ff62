#pragma once

#include <QString>
#include <QStringList>

// A full disk for a program under test: a small tmpfs mounted over one of its folders, in a user
// and mount namespace of the program's own (unshare), so that no root is needed where the kernel
// lets users make namespaces, and the disk goes with the program.

// Why a full disk cannot be made on this machine, or empty when it can.
QString FullDiskTrouble();

// The program and arguments that run `command` (a program and its arguments) with the folder
// `folder` on a full disk: what the folder held is copied onto the disk, then a file takes every
// block left. What the command writes there is gone with it.
QStringList OnFullDisk(const QString& folder, const QStringList& command);
