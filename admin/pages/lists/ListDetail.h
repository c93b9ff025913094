// The server work the Users, Databases and Database Users pages share: a sorted name list beside the record
// of its selected row. Reads run on the runner; the list and the record are shown together once both are
// back, so the list never shows a row whose record belongs to another.
#pragma once

#include "admin/common/Command.h"
#include "admin/common/Dialogs.h"
#include "admin/pages/PageFields.h"
#include "admin/pages/lists/ListPages.h"
#include "engine/wire/Message.h"
#include "operations/FreshRead.h"

#include <QPointer>
#include <QStringList>

#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace korvel::admin
{

// A name list as the page shows it: sorted without regard to case in the locale's order, with the row to
// select (-1: none).
struct NameListing
{
    QStringList Names;
    QStringList Shown; // each name as ShownText shows it, made beside the sort, off the user-interface thread
    int Selected = -1;
    QString SelectedName() const { return Selected >= 0 ? Names[Selected] : QString(); }
};

// Which row to select once the list was read again: the first row either named `Name` (without regard to
// case) or at `FormerIndex` or later; the last when there is none.
struct RowPick
{
    // After a save: the saved row wherever it is, else the last.
    static constexpr int NoIndex = std::numeric_limits<int>::max();

    QString Name;
    int FormerIndex = 0;
};

// The names a list last read, as read and as sorted: a list read again unchanged (after a save, say) is not
// sorted again. Safe on any thread.
class SortedNames
{
public:
    // `names` sorted as the list shows them.
    NameListing Sort(StringList names);

private:
    std::mutex mutex_;
    StringList names_;
    NameListing listing_;
};

// Sorts `names` as the list shows them and picks a row (the first by default). Safe on any thread.
NameListing ListNames(StringList names, const RowPick& pick, SortedNames& sorted);
// Replaces the list's rows and selection without its currentRowChanged signal, which reports the person's
// choices only. Rows that are already the listing's are kept; only the selection moves.
void ShowListing(NameListView* list, const NameListing& listing);

// The list and the record of its selected row, as read together.
template <typename Record> struct ListedRecord
{
    NameListing Listing;
    Record Details{};
};

// Whether an engine error says the record is not there (another administrator deleted it).
bool IsNotFound(std::exception_ptr error);
// "<name>: <change>; <change>\n\nAnother administrator changed ... Overwrite ...?", asked before a save.
QString OverwriteQuestion(const QString& name, const QStringList& changes);
// "<name> was deleted by another administrator ...", said instead of saving.
QString DeletedMeanwhileText(const QString& name);
// `field` as one of the changes: "Directory was "/a", now "/b"" (long texts shortened), or nothing when
// equal.
void DescribeChange(QStringList& changes, const QString& field, const QString& shown, const QString& now);

template <typename Record> class ListDetailCommands
{
public:
    // On the worker: the names, and one row's record.
    struct Readers
    {
        std::function<StringList()> Names;
        std::function<Record(const std::string& name)> Read;
    };
    // On the user-interface thread: shows a row's record (an empty name: no row selected).
    using Shower = std::function<void(const QString& name, const Record& record)>;

    // `readers` is asked on the user-interface thread for what to run on the worker (the Database Users
    // page's readers name the database chosen at that moment).
    ListDetailCommands(QWidget* page, BackgroundRunner& runner, NameListView* list,
                       std::function<Readers()> readers, Shower show)
        : page_(page), runner_(runner), list_(list), readers_(std::move(readers)), show_(std::move(show))
    {
    }

    // On the worker: the list and the record of the row `pick` chooses.
    ListedRecord<Record> Read(const Readers& readers, const RowPick& pick = {}) const
    {
        return Read(readers, pick, *sorted_);
    }
    static ListedRecord<Record> Read(const Readers& readers, const RowPick& pick, SortedNames& sorted)
    {
        ListedRecord<Record> listed{ListNames(readers.Names ? readers.Names() : StringList{}, pick, sorted)};
        if (listed.Listing.Selected >= 0)
            listed.Details = readers.Read(ToStd(listed.Listing.SelectedName()));
        return listed;
    }
    Readers CurrentReaders() const { return readers_(); }

    void Show(const ListedRecord<Record>& listed)
    {
        ShowListing(list_, listed.Listing);
        ShowRecord(listed.Listing.SelectedName(), listed.Details);
    }

    // The person picked a row: its record is read and shown. A later pick drops the answer of an earlier one,
    // and an answer for a row that is no longer the current one is dropped.
    void ShowSelected()
    {
        if (selecting_)
            selecting_->Drop();
        const QString name = SelectedName(list_);
        if (name.isEmpty())
        {
            show_({}, Record{});
            return;
        }
        auto read = CurrentReaders().Read;
        selecting_ = SubmitCommand<Record>(
            page_, runner_, {},
            [read, name](JobContext& job)
            {
                job.Check();
                return read(ToStd(name));
            },
            [this, name](Record record)
            {
                if (SelectedName(list_) == name)
                    ShowRecord(name, record);
            });
    }

    // Sends a saved record; `before` is the record as the server held it just before, none for a new one.
    using Sender = std::function<void(JobContext&, const std::optional<Record>& before)>;
    // A change the page checks once more when the fresh read calls for it: `Needed(now)` is asked on the
    // worker of each fresh read; when it holds, nothing is sent and `Check` runs on the user-interface thread
    // instead (and may save again once checked). So a save that needs no check costs no request of its own.
    struct Recheck
    {
        std::function<bool(const Record& now)> Needed;
        std::function<void()> Check;
    };

    // The Save of the detail: a new record is added; a changed one goes through SaveShown. Either way the
    // list is read again with the saved row selected (unless `readList` is false: the login is about to
    // end), then `after`.
    void Save(bool adding, const QString& name,
              std::function<QStringList(const Record&, const Record&)> describe, Sender send,
              std::function<void()> after, bool readList = true, Recheck recheck = {})
    {
        const RowPick saved{name, RowPick::NoIndex};
        if (adding)
            return Change(
                {.Changes = true}, [send](JobContext& job) { send(job, std::nullopt); }, saved,
                std::move(after));
        SaveShown({.Changes = true}, name, std::move(describe), std::move(send),
                  readList ? std::optional(saved) : std::nullopt, std::move(after), std::move(recheck));
    }

    // Saves a change of the shown record `name`: it is read again first, and `change` is sent only when it is
    // as shown. Otherwise the person is told what another administrator changed (`describe(shown, now)` lists
    // it) and asked, from the worker, before overwriting; after a yes it is read again, and asked about
    // again while it moved, so the change is built from a read made after the last answer. A record deleted
    // meanwhile is not saved. Then the list is read again and the row `pick` chooses shown (without a pick,
    // as after the account the window is logged in with changed, nothing more is read), then `after`.
    void SaveShown(JobOptions options, const QString& name,
                   std::function<QStringList(const Record& shown, const Record& now)> describe, Sender change,
                   std::optional<RowPick> pick, std::function<void()> after, Recheck recheck = {})
    {
        struct Saved
        {
            bool Sent = false;
            bool Deleted = false;
            bool Recheck = false;
            std::optional<ListedRecord<Record>> Listed;
        };
        const Readers readers = CurrentReaders();
        QWidget* page = page_;
        SubmitCommand<Saved>(
            page_, runner_, options,
            [readers, name, shown = ShownRecord(name), describe, change, pick, page, needed = recheck.Needed,
             sorted = sorted_](JobContext& job)
            {
                Saved saved;
                std::optional<Record> now;
                try
                {
                    now = operations::ReadAfterQuestions<Record>(
                        shown,
                        [&]
                        {
                            job.Check();
                            return readers.Read(ToStd(name));
                        },
                        [&](const std::optional<Record>& asked, const Record& fresh)
                        {
                            if (needed && needed(fresh))
                            {
                                saved.Recheck = true;
                                return operations::Asked::Declined;
                            }
                            return AskOverwrite(job, page, name,
                                                asked ? describe(*asked, fresh) : QStringList());
                        });
                }
                catch (...)
                {
                    if (!IsNotFound(std::current_exception()))
                        throw;
                    saved.Deleted = true;
                    return saved;
                }
                if (!now)
                    return saved;
                job.Check();
                change(job, now);
                saved.Sent = true;
                job.Check();
                if (pick)
                    saved.Listed = Read(readers, *pick, *sorted);
                return saved;
            },
            [this, name, after, check = recheck.Check](Saved saved)
            {
                if (saved.Recheck)
                    return check();
                if (saved.Listed)
                    Show(*saved.Listed);
                if (saved.Sent && after)
                    after();
                else if (saved.Deleted)
                    DialogsFor(page_).ShowInformation(page_, DeletedMeanwhileText(name));
            });
    }

    // `change` on the worker, then the list read again and the row `pick` chooses shown, then `after`. On
    // failure or cancel the page stays as it was (`failed` puts back what the page changed before sending).
    void Change(JobOptions options, std::function<void(JobContext&)> change, RowPick pick,
                std::function<void()> after = {}, BackgroundRunner::ErrorHandler failed = {})
    {
        const Readers readers = CurrentReaders();
        SubmitCommand<ListedRecord<Record>>(
            page_, runner_, std::move(options),
            [change = std::move(change), readers, pick, sorted = sorted_](JobContext& job)
            {
                if (change)
                {
                    job.Check();
                    change(job);
                }
                job.Check();
                return Read(readers, pick, *sorted);
            },
            [this, after = std::move(after)](ListedRecord<Record> listed)
            {
                Show(listed);
                if (after)
                    after();
            },
            std::move(failed));
    }

    // The record of `name` as last shown, if it is.
    std::optional<Record> ShownRecord(const QString& name) const
    {
        return shown_ && shown_->first == name ? std::optional(shown_->second) : std::nullopt;
    }

    // Reads the list again and shows the row `pick` chooses, then `after`.
    void Refill(RowPick pick = {}, std::function<void()> after = {})
    {
        Change({}, {}, pick, std::move(after));
    }

private:
    // On the worker: no question when nothing changed; else asked on the user-interface thread.
    static operations::Asked AskOverwrite(JobContext& job, QWidget* page, const QString& name,
                                          const QStringList& changes)
    {
        if (changes.isEmpty())
            return operations::Asked::Nothing;
        const bool yes = job.AskOwner(
            [page, name, changes]
            {
                return DialogsFor(page).AskWarningYesNo(page, OverwriteQuestion(name, changes), Answer::No) ==
                       Answer::Yes;
            });
        return yes ? operations::Asked::Agreed : operations::Asked::Declined;
    }

    void ShowRecord(const QString& name, const Record& record)
    {
        shown_.reset();
        if (!name.isEmpty())
            shown_.emplace(name, record);
        show_(name, record);
    }

    QWidget* page_;
    BackgroundRunner& runner_;
    NameListView* list_;
    std::function<Readers()> readers_;
    Shower show_;
    std::shared_ptr<Job> selecting_;
    // Used by the worker's reads, which may outlive the page.
    std::shared_ptr<SortedNames> sorted_ = std::make_shared<SortedNames>();
    // The record as last shown: what an edit starts from.
    std::optional<std::pair<QString, Record>> shown_;
};

} // namespace korvel::admin
