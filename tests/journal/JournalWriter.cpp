// Appends entries to a journal until it is killed: JournalWriter PATH NAME. Each entry's object is NAME and
// its change the entry's number followed by 256 kB of text, so one line spans many pages and a kill often
// lands in the middle of its write.
#include "journal/Journal.h"

#include <string>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    korvel::journal::Journal journal(argv[1]);
    const std::string padding(256 * 1024, 'x');
    for (long number = 0;; ++number)
    {
        korvel::journal::Entry entry;
        entry.Time = korvel::journal::Now();
        entry.From = {"127.0.0.1:12006", "", "admin", "writer"};
        entry.Operation = "modify user";
        entry.Object = argv[2];
        entry.Change = std::to_string(number) + " " + padding;
        journal.Append(entry);
    }
}
