#pragma once

#include <QDate>
#include <QDateTime>
#include <optional>
#include <string>

#include "hooks/Hook.h"
#include "res/ExitCodes.h"
#include "schedule/CaptureSchedule.h"
#include "timeline/FrameChoice.h"

class QCommandLineParser;

// What a command-line mode runs with, built once at its start (app/Modes): its parsed options, and
// the settings file's values of the keys the mode reads, as plain values, so that a mode below the
// settings reads them without the file. Only the mode's own keys are judged.
struct ModeContext {
    const QCommandLineParser& parser;
    // --dir, else AUTO_START_DIR; nothing when neither gives one.
    std::optional<std::string> frameDir = {};
    // AUTO_START_FRAME_COUNT; nothing when it is missing or not valid.
    std::optional<int> frameCount = {};
    // Why the file cannot give the folder or count the mode needs, naming only those (and a
    // count that is not valid); nothing when nothing is wrong.
    std::optional<std::string> missing = {};
    // The messages of the bad values among the mode's keys, and what keeps LONGITUDE from giving
    // solar noon; each nothing when nothing is wrong.
    std::optional<std::string> badSettings = {};
    std::optional<std::string> longitudeTrouble = {};
    // The wall-clock time the mode started at, from the program's clock, and the project's day
    // then (a day starts at DAY_STARTS_AT).
    QDateTime now = {};
    QDate today = {};
    DayRules dayRules = {};
    CaptureSchedule schedule = {};
    std::optional<int> keepFramesDays = {};
    // ON_VIDEO and ON_DAY; none without a command.
    Hook videoHook = {};
    Hook dayHook = {};
    std::string serveToken = {};
    // The watcher's: ON_TROUBLE, MIN_FREE_MB and ALERT_DAYS_LEFT (0 switches each floor off).
    Hook troubleHook = {};
    int minFreeMb = 0;
    int alertDaysLeft = 0;
    // Whether LATITUDE and LONGITUDE are both given (the schedule holds them): the sun is known.
    bool placeGiven = false;
    // The MQTT broker's values (MQTT is off without a host), and the messages of the bad ones,
    // which end the watcher with an exit code of their own.
    struct Mqtt {
        std::string host;
        int port = 0;
        std::string user;
        std::string passwordFile;
        std::string caFile;
        std::string topic;  // empty: the watcher's default prefix
    } mqtt = {};
    std::optional<std::string> badMqtt = {};

    // Tells, with its exit code, that the settings file lacks what the mode needs.
    ExitCode TellMissingSettings() const;
};
