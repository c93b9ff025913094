// Dialogs for window tests: every question is answered from a script and every box is recorded, so no test
// waits on a real modal box. An unscripted question fails the test.
#pragma once

#include "admin/common/Dialogs.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>

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
        ConfirmationYesNo
    };
    struct Box
    {
        Kind BoxKind;
        QString Text;
    };

    ScriptedDialogs() { admin::SetDialogs(this); }
    ~ScriptedDialogs() override { admin::SetDialogs(nullptr); }

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

    std::vector<Box> Boxes;            // every box shown, in order
    std::vector<QString> BrowseStarts; // start path of each folder chooser
    std::vector<SaveFileRequest> SaveRequests;
    int LoginPrompts = 0;
    std::vector<std::string> OfferedUserNames; // the name each login prompt opened with

    QStringList Errors() const
    {
        QStringList errors;
        for (const Box& box : Boxes)
            if (box.BoxKind == Kind::Error)
                errors << box.Text;
        return errors;
    }

    void ShowError(QWidget*, const QString& message) override { Boxes.push_back({Kind::Error, message}); }
    void ShowInformation(QWidget*, const QString& message) override
    {
        Boxes.push_back({Kind::Information, message});
    }
    admin::Answer AskWarningYesNo(QWidget*, const QString& q) override { return Ask(Kind::WarningYesNo, q); }
    admin::Answer AskWarningYesNoCancel(QWidget*, const QString& q) override
    {
        return Ask(Kind::WarningYesNoCancel, q);
    }
    admin::Answer AskConfirmationYesNo(QWidget*, const QString& q) override
    {
        return Ask(Kind::ConfirmationYesNo, q);
    }
    std::optional<QString> GetSaveFileName(QWidget*, const SaveFileRequest& request) override
    {
        SaveRequests.push_back(request);
        return Take(SaveFileNames, "save-file name");
    }
    std::optional<QString> BrowseForDirectory(QWidget*, const QString& startPath) override
    {
        BrowseStarts.push_back(startPath);
        return Take(Directories, "directory");
    }
    bool RemoteLogin(QWidget*, std::string& userName, std::string& password) override
    {
        ++LoginPrompts;
        OfferedUserNames.push_back(userName);
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
    bool IsDirectoryWritable(const QString&) override { return DirectoriesWritable; }

private:
    admin::Answer Ask(Kind kind, const QString& question)
    {
        Boxes.push_back({kind, question});
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
