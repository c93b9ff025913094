// Reading the journal back: every entry, or those a filter lets through, oldest first, and their text form
// (the CLI's `history` and what the window's Change History copies). No Qt.
#pragma once

#include "journal/Journal.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::journal
{

// To the millisecond, so that any year fits.
using TimePoint = std::chrono::time_point<std::chrono::system_clock, std::chrono::milliseconds>;

// An ISO 8601 time: a date (2024-05-01), optionally with a time (T12:00, T12:00:30, T12:00:30.5) and an
// offset (Z, +02:00, -0500). A time without an offset is UTC. Nothing for any other text.
std::optional<TimePoint> ParseTime(std::string_view text);

// Every field empty or unset lets everything through.
struct Filter
{
    std::string Server = {};             // "host:port", or "host" for every port of that host
    std::string User = {};               // the login user, exactly
    std::string Object = {};             // a part of the object's name
    std::optional<TimePoint> Since = {}; // at or after
    std::optional<TimePoint> Until = {}; // before
    std::string Run = {};                // one apply's id, exactly
};

bool Matches(const Entry& entry, const Filter& filter);

struct History
{
    std::vector<Entry> Entries;
    std::size_t Unreadable = 0; // whole lines that are not entries (edited by hand)
};

// Nothing (and no error) when the file does not exist yet. Raises JournalError when it cannot be read.
History ReadHistory(const std::string& path, const Filter& filter = {});

// "2024-05-01T12:00:00.123+00:00 127.0.0.1:12006 admin (korvel-admin-cli): modify user bob: administrator
// false -> true" and, for a failure, " -- failed: " and its message; the profile follows the user as
// "admin@office", and a run's id the program: "(korvel-admin-cli, run 3f9a0c...)".
std::string EntryText(const Entry& entry);
// One line per entry.
std::string HistoryText(const std::vector<Entry>& entries);

} // namespace korvel::journal
