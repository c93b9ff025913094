// Dialogs for window tests: every question is answered from a script and every box is recorded, with the
// cursor in force when it was asked, so no test waits on a real modal box. An unscripted question fails the
// test. Like the real save dialog, choosing an existing file asks whether to replace it (a question from the
// script; No cancels the save). They answer for the windows they are installed on, and leave them when they
// go.
#pragma once

#include "admin/common/Dialogs.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvel::test
{

class ScriptedDialogs : public admin::Dialogs
{
public:
    enum class Kind
    {
        Error,
        Information,
        WarningYesNo,
        WarningYesNoCancel,
        ConfirmationYesNo,
        ReplaceFile,
        SaveFile,
        BrowseForDirectory,
        Login
    };
    struct Box
    {
        Kind BoxKind;
        QString Text;
    };
    // Every box and dialog asked for, with the override cursor's shape while it waited for the person
    // (the arrow also when there is none).
    struct Wait
    {
        Kind What;
        Qt::CursorShape Cursor;
    };

    // Installed on no window yet: a window built later takes them in its setup, or Install adds one.
    ScriptedDialogs() = default;
    explicit ScriptedDialogs(QWidget& window) { Install(window); }
    ~ScriptedDialogs() override
    {
        for (const QPointer<QWidget>& window : windows_)
            if (window && &admin::DialogsFor(window) == this)
                admin::InstallDialogs(*window, nullptr);
    }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void Install(QWidget& window)
    {
        admin::InstallDialogs(window, this);
        windows_.push_back(&window);
    }

    std::deque<admin::Answer> Answers;                // for the questions, in order
    std::deque<std::optional<QString>> SaveFileNames; // for GetSaveFileName
    std::deque<std::optional<QString>> Directories;   // for BrowseForDirectory
    struct Login
    {
        bool Ok = false;
        std::string UserName;
        std::string Password;
    };
    std::deque<Login> Logins; // for RemoteLogin
    bool DirectoriesWritable = true;

    std::vector<Box> Boxes; // every message box shown, in order
    // The button Enter would press, for each Yes/No question in order.
    std::vector<admin::Answer> Presets;
    // Called as each question is asked, before its answer is taken: a test changes the server while the
    // question is open.
    std::function<void(const QString& question)> WhileAsking;
    std::vector<Wait> Waits;
    std::vector<QString> BrowseStarts; // start path of each folder chooser
    std::vector<SaveFileRequest> SaveRequests;
    int LoginPrompts = 0;
    std::vector<std::string> OfferedUserNames; // the name each login prompt opened with
    std::vector<QString> LoginServers;         // the server each login prompt named

    // The cursor a person would see now: the override cursor's shape, the arrow when there is none.
    static Qt::CursorShape CursorNow()
    {
        const QCursor* cursor = QApplication::overrideCursor();
        return cursor ? cursor->shape() : Qt::ArrowCursor;
    }

    QStringList Errors() const
    {
        QStringList errors;
        for (const Box& box : Boxes)
            if (box.BoxKind == Kind::Error)
                errors << box.Text;
        return errors;
    }

    bool IsDirectoryWritable(const QString&) override { return DirectoriesWritable; }

protected:
    void DoShowError(QWidget*, const QString& message) override
    {
        Record(Kind::Error);
        Boxes.push_back({Kind::Error, message});
    }
    void DoShowInformation(QWidget*, const QString& message) override
    {
        Record(Kind::Information);
        Boxes.push_back({Kind::Information, message});
    }
    admin::Answer DoAskWarningYesNo(QWidget*, const QString& q, admin::Answer preset) override
    {
        Presets.push_back(preset);
        return Ask(Kind::WarningYesNo, q);
    }
    admin::Answer DoAskWarningYesNoCancel(QWidget*, const QString& q) override
    {
        return Ask(Kind::WarningYesNoCancel, q);
    }
    admin::Answer DoAskConfirmationYesNo(QWidget*, const QString& q, admin::Answer preset) override
    {
        Presets.push_back(preset);
        return Ask(Kind::ConfirmationYesNo, q);
    }
    std::optional<QString> DoGetSaveFileName(QWidget*, const SaveFileRequest& request) override
    {
        Record(Kind::SaveFile);
        SaveRequests.push_back(request);
        std::optional<QString> chosen = Take(SaveFileNames, "save-file name");
        if (chosen && QFileInfo::exists(*chosen) &&
            Ask(Kind::ReplaceFile, *chosen + " already exists.\nDo you want to replace it?") !=
                admin::Answer::Yes)
            return std::nullopt;
        return chosen;
    }
    std::optional<QString> DoBrowseForDirectory(QWidget*, const QString& startPath) override
    {
        Record(Kind::BrowseForDirectory);
        BrowseStarts.push_back(startPath);
        return Take(Directories, "directory");
    }
    bool DoRemoteLogin(QWidget*, const QString& server, std::string& userName, std::string& password) override
    {
        Record(Kind::Login);
        ++LoginPrompts;
        OfferedUserNames.push_back(userName);
        LoginServers.push_back(server);
        if (Logins.empty())
        {
            ADD_FAILURE() << "unscripted login prompt";
            return false;
        }
        Login login = Logins.front();
        Logins.pop_front();
        if (login.Ok)
        {
            userName = login.UserName;
            password = login.Password;
        }
        return login.Ok;
    }

private:
    std::vector<QPointer<QWidget>> windows_;

    void Record(Kind kind) { Waits.push_back({kind, CursorNow()}); }
    admin::Answer Ask(Kind kind, const QString& question)
    {
        Record(kind);
        Boxes.push_back({kind, question});
        if (WhileAsking)
            WhileAsking(question);
        if (Answers.empty())
        {
            ADD_FAILURE() << "unscripted question: " << question.toStdString();
            return admin::Answer::No;
        }
        admin::Answer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    std::optional<QString> Take(std::deque<std::optional<QString>>& queue, const char* what)
    {
        if (queue.empty())
        {
            ADD_FAILURE() << "unscripted " << what;
            return std::nullopt;
        }
        // Copied out as a plain QString: GCC 12 misreads a moved-from optional<QString> as uninitialised.
        const bool chosen = queue.front().has_value();
        const QString value = queue.front().value_or(QString());
        queue.pop_front();
        if (!chosen)
            return std::nullopt;
        return value;
    }
};

} // namespace korvel::test
