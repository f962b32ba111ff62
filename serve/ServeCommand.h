#pragma once

#include <QCommandLineOption>
#include <QList>
#include <string>

#include "res/ExitCodes.h"
#include "video/ModeContext.h"

// `vorn --serve`: the status page of the frame folder, read-only, over HTTP, until SIGTERM or
// SIGINT. It reads the settings once and never writes anything, so that it runs beside a capture
// in the same folder.

// --serve and --listen; it takes --dir from the options of --make-video.
QList<QCommandLineOption> ServeOptions();

// What --help says of the watcher: its troubles, ON_TROUBLE, the MQTT settings and topics, and
// Home Assistant.
std::string WatcherHelp();

// Serves the page; its failures in one line on standard error, and once it listens one line on
// standard output with its address.
ExitCode RunServe(const ModeContext& context);
