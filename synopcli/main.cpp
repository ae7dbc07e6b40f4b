// pluvane-synop: decodes SYNOP, SHIP and BUOY reports in teletype text from
// files or standard input and writes them as JSON lines, CSV, GeoJSON or KML.
//
// This program runs those plain decoding runs itself, without Qt: loading Qt
// Core and ICU cost a run more than decoding a fortnight of one station
// network's reports. Every other run (--store, --from-log, --help, the
// analysis's formats, and any argument this reading does not know for
// certain) goes to pluvane-synop-full with the same arguments. Qt's parser
// there is the reference for the command line: what is read here must mean
// what it means there, and anything else is handed on, errors included.
#include "DecodingRun.h"
#include "OutputFormat.h"
#include "StandardOutput.h"

#include "synopdecoder/ObservationMillis.h"
#include "synopdecoder/ProgramDirectory.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

using namespace synop;

struct PlainRun {
    const cli::OutputFormat* format = nullptr;
    cli::DecodingRun run;
};

// A fixed number of figures at the front of text, taken off it.
std::optional<int> figures(std::string_view& text, size_t count)
{
    if (text.size() < count) return std::nullopt;
    int value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    text.remove_prefix(count);
    return value;
}

bool skip(std::string_view& text, char c)
{
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

// The ISO 8601 forms the help shows, as ms since 1970 UTC: 2026-03-08 (its
// first moment, or with endOfDay its last), 2026-03-08T18:00, with seconds
// and up to three figures of them, with or without Z (no zone is UTC). None
// for any other text, which the full tool reads or refuses.
std::optional<int64_t> simpleIsoTime(std::string_view text, bool endOfDay)
{
    const auto year = figures(text, 4);
    if (!year || *year < 1 || !skip(text, '-')) return std::nullopt;
    const auto month = figures(text, 2);
    if (!month || *month < 1 || *month > 12 || !skip(text, '-')) return std::nullopt;
    const auto day = figures(text, 2);
    if (!day || *day < 1 || *day > daysInMonth(*year, *month)) return std::nullopt;
    const int64_t dayMs = daysFromCivil(*year, *month, *day) * 86400000LL;
    if (text.empty()) return endOfDay ? dayMs + 86399999 : dayMs;
    if (!skip(text, 'T')) return std::nullopt;
    const auto hour = figures(text, 2);
    if (!hour || *hour > 23 || !skip(text, ':')) return std::nullopt;
    const auto minute = figures(text, 2);
    if (!minute || *minute > 59) return std::nullopt;
    int second = 0, ms = 0;
    if (skip(text, ':')) {
        const auto s = figures(text, 2);
        if (!s || *s > 59) return std::nullopt;
        second = *s;
        if (skip(text, '.')) {
            int scale = 100, count = 0;
            for (; !text.empty() && text.front() >= '0' && text.front() <= '9' && count < 3; ++count, scale /= 10) {
                ms += (text.front() - '0') * scale;
                text.remove_prefix(1);
            }
            if (count == 0) return std::nullopt;
        }
    }
    skip(text, 'Z');
    if (!text.empty()) return std::nullopt;
    return dayMs + *hour * 3600000LL + *minute * 60000LL + second * 1000LL + ms;
}

// Station ids as the full tool takes them: split at commas, empty parts
// left out, trimmed and in capitals. Plain ASCII only.
bool addStations(std::string_view value, std::vector<std::string>& stations)
{
    for (const char c : value)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    while (true) {
        const size_t comma = value.find(',');
        std::string_view part = value.substr(0, comma);
        if (!part.empty()) {
            const auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
            while (!part.empty() && space(part.front())) part.remove_prefix(1);
            while (!part.empty() && space(part.back())) part.remove_suffix(1);
            std::string id(part);
            for (char& c : id)
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            stations.push_back(std::move(id));
        }
        if (comma == std::string_view::npos) return true;
        value.remove_prefix(comma + 1);
    }
}

int64_t nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The run when the arguments ask for plain decoding in a form read here
// without doubt; none otherwise.
std::optional<PlainRun> plainRun(int argc, char** argv)
{
    PlainRun plain;
    cli::DecodingRun& run = plain.run;
    bool csv = false, keepDuplicates = false, noShift = false, noChecks = false;
    std::optional<std::string_view> format, since, until, received;
    bool positionalOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.empty()) return std::nullopt;
        if (positionalOnly || argument == "-" || argument.front() != '-') {
            run.files.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            positionalOnly = true;
            continue;
        }
        if (argument.substr(0, 2) != "--") return std::nullopt;  // short options
        std::string_view name = argument.substr(2);
        std::optional<std::string_view> value;
        if (const size_t equals = name.find('='); equals != std::string_view::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        bool* flag = name == "csv"                   ? &csv
                     : name == "keep-duplicates"     ? &keepDuplicates
                     : name == "no-shift-correction" ? &noShift
                     : name == "no-plausibility"     ? &noChecks
                                                     : nullptr;
        if (flag) {
            if (value) return std::nullopt;
            *flag = true;
            continue;
        }
        if (name != "format" && name != "since" && name != "until" && name != "station" && name != "received")
            return std::nullopt;  // --store, --from-log, --help, --version, unknown options
        if (!value) {
            if (i + 1 >= argc || argv[i + 1][0] == '-') return std::nullopt;
            value = argv[++i];
        }
        if (name == "format") format = value;
        else if (name == "since") since = value;
        else if (name == "until") until = value;
        else if (name == "received") received = value;
        else if (!addStations(*value, run.selection.stations)) return std::nullopt;
    }

    plain.format = cli::outputFormat(format ? *format : csv ? "csv" : "json");
    if (!plain.format) return std::nullopt;  // a format of the full tool's, or none
    if (since && !(run.selection.sinceMs = simpleIsoTime(*since, false))) return std::nullopt;
    if (until && !(run.selection.untilMs = simpleIsoTime(*until, true))) return std::nullopt;
    if (received) {
        const auto t = simpleIsoTime(*received, false);
        if (!t) return std::nullopt;
        run.receivedMs = *t;
    } else {
        run.receivedMs = nowMs();
    }
    if (run.files.empty()) run.files.emplace_back("-");
    run.decoder.plausibilityChecks = !noChecks;
    run.decoder.describeGroups = false;  // the outputs carry the values, not the group view
    run.assembler.dropDuplicates = !keepDuplicates;
    run.assembler.correctShiftErrors = !noShift;
    return plain;
}

// Beside this program in the build, in libexec/ once installed.
int runFullTool(char** argv)
{
    const std::string directory = programDirectory();
    const std::string_view libexec = PLUVANE_RELATIVE_LIBEXECDIR;  // an absolute one is taken as it is
    const std::string installed = (libexec.front() == '/' ? std::string(libexec) : directory + "../" + std::string(libexec))
                                  + "/pluvane-synop-full";
    errno = ENOENT;
    // Never a path relative to the working folder: with the program's own
    // folder unknown, only an absolute libexec/ is tried.
    for (const std::string& full : {directory + "pluvane-synop-full", installed}) {
        if (full.front() != '/') continue;
        ::execv(full.c_str(), argv);
        if (errno != ENOENT) break;
    }
    std::fprintf(stderr, "pluvane-synop: cannot run pluvane-synop-full, which does this: %s\n", std::strerror(errno));
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::optional<PlainRun> plain = plainRun(argc, argv);
    if (!plain) return runFullTool(argv);
    const std::unique_ptr<cli::ReportWriter> writer =
        plain->format->make([](std::string_view bytes) { cli::standardOutput().write(bytes); });
    plain->run.writer = writer.get();
    return cli::decodeText(plain->run);
}
