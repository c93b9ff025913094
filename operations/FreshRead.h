// A change is built from a read made after the last question the person answered: while a question is open,
// another administrator may change the record, and sending what was read before it would undo that change
// without a word (and journal a false "before"). The window (from its worker, asking on the user-interface
// thread) and the CLI (on the terminal) both go through ReadAfterQuestions.
#pragma once

#include <optional>
#include <utility>

namespace korvel::operations
{

// What a look at a fresh read came to.
enum class Asked
{
    Nothing,  // the read needs no question: build the change from it
    Agreed,   // a question was asked and answered yes: read again
    Declined, // a question was answered no (or could not be asked): send nothing
};

// Reads, and hands `ask` what the last question showed (nothing before the first) with the fresh read; after
// each yes reads again, so a record that moved while the question was open is asked about again, showing
// what changed. Returns the read that needed no question, or nothing when declined.
//
//     auto now = ReadAfterQuestions<UserValues>(shown, [&] { return ReadUser(...); },
//                                               [&](const auto& shown, const UserValues& now) { ... });
template <typename Record, typename Read, typename Ask>
std::optional<Record> ReadAfterQuestions(std::optional<Record> shown, Read read, Ask ask)
{
    for (;;)
    {
        Record now = read();
        switch (ask(std::as_const(shown), std::as_const(now)))
        {
        case Asked::Nothing:
            return now;
        case Asked::Declined:
            return std::nullopt;
        case Asked::Agreed:
            shown = std::move(now);
            break;
        }
    }
}

} // namespace korvel::operations
