#pragma once

#include <QStringList>

#include "res/ExitCodes.h"

class QCommandLineParser;

// `vorn --serve`: the status page of the frame folder, read-only, over HTTP, until SIGTERM or
// SIGINT. It reads the settings once and never writes anything, so that it runs beside a capture
// in the same folder.

// Adds --serve and --listen; it takes --dir from the options of --make-video.
void AddServeOptions(QCommandLineParser& parser);
// The options --serve takes, itself first.
QStringList ServeOptionNames();

// Serves the page; its failures in one line on standard error, and once it listens one line on
// standard output with its address.
ExitCode RunServe(const QCommandLineParser& parser);
