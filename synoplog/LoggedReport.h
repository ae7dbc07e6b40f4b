#pragma once
// What the station log hands back, and how a caller picks reports from it.
#include "synopdecoder/Report.h"
#include "synopdecoder/StationPlace.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

namespace synop {

struct LoggedReport {
    int64_t id = 0;
    // Decoded again from the stored groups, so it carries the group-by-group
    // meanings as well as the values, warnings, raw text and heading.
    DecodedReport report;
    StationPlace place;
    QDateTime observedUtc;   // invalid when the report gives no usable day and hour
    QDateTime receivedUtc;   // when it was first heard
    QDateTime lastHeardUtc;  // when a repeat of it was last heard
    int timesHeard = 1;
    int64_t supersededBy = 0;  // 0 while this is the reading that counts

    // What time ranges select on: the observation, else the reception.
    QDateTime reportTime() const { return observedUtc.isValid() ? observedUtc : receivedUtc; }
    // The observation as the exports take it: ms since 1970 UTC, none when unknown.
    std::optional<int64_t> observedMs() const
    {
        return observedUtc.isValid() ? std::optional<int64_t>(observedUtc.toMSecsSinceEpoch()) : std::nullopt;
    }
};

// Every field left at its default selects everything.
struct ReportFilter {
    // The report's span from observation to reception meets this range,
    // both ends included; invalid = open. Reception counts, so that a
    // recording of old traffic decoded now is listed with today's reports.
    QDateTime fromUtc, toUtc;
    // The range on the observation time alone (the reception for undated
    // reports): what a user asking for a night's reports means.
    bool rangeOnObservation = false;
    QString station;           // exact station index, call sign or buoy number
    QString country;           // exact country as in the station list, any case
    QString text;              // found in station, name, country, weather, clouds, warnings or raw text, any case
    std::optional<ReportForm> form;
    bool withHistory = false;  // also readings replaced by a correction or a better copy
    bool withNil = true;       // also NIL reports (stations that sent no observation)
    bool onlyWarned = false;   // only reports with warnings
    int64_t afterId = 0;       // only reports stored after this one
    int64_t uptoId = 0;        // only reports stored up to this one; 0 = no bound
    // Each group's meaning costs more than the values: lists, maps and plots
    // read without it, and the one report shown in detail with it.
    bool withGroupMeanings = true;

    bool operator==(const ReportFilter&) const = default;
};

// One chunk of teletype text as the card printed it.
struct LoggedText {
    int64_t id = 0;
    QDateTime receivedUtc;
    QString source;
    QByteArray text;  // the bytes as fed (Windows-1252)
};

// How the log took a report.
enum class StoreOutcome {
    Added,       // a new report
    Repeat,      // heard before: counted, not added
    Correction,  // replaces the reading it corrects, which stays as history
    OtherCopy,   // another, different reading of a station and time already stored: listed beside it
};

struct StoreResult {
    int64_t id = 0;          // the row now holding this reception
    StoreOutcome outcome = StoreOutcome::Added;
    int64_t replacedId = 0;  // the row it pushed into history, if any
};

}  // namespace synop
