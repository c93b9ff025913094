// Stand-in pages for the window shell's tests: each records what the window asked of it, and the editable
// ones (Server, Users, Databases, Database Users, as in the real window) can be put in an edit mode whose
// Save fails on request.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/window/MainForm.h"

#include <QPushButton>

#include <stdexcept>
#include <string>
#include <vector>

namespace korvel::test
{

class StandInPage : public admin::AdminPage, public admin::EditablePage
{
public:
    StandInPage(QString caption, bool editable, std::vector<std::string>& journal, QWidget* parent)
        : AdminPage(parent), caption_(std::move(caption)), editable_(editable), journal_(journal)
    {
        setObjectName(caption_ + "Page");
        refresh_ = new QPushButton("&Refresh", this);
        refresh_->setObjectName(caption_ + "FocusButton");
    }

    admin::TEditState State = admin::esViewing;
    bool FailFill = false;
    bool FailRefresh = false;
    bool FailSave = false;

    QString Caption() const override { return caption_; }
    // The login's reads run on the runner's worker; the journal is read once the login is back.
    std::function<void()> ReadAtLogin(admin::JobContext&, admin::LoginReads&) override
    {
        Record("fill", FailFill);
        return {};
    }
    std::function<void()> RefreshAtLogin(admin::JobContext&) override
    {
        Record("refresh", FailRefresh);
        return {};
    }
    QWidget* LoginFocusWidget() override { return refresh_; }
    admin::EditablePage* Editable() override { return editable_ ? this : nullptr; }

    admin::TEditState EditState() const override { return State; }
    QString PendingEditsQuestion() const override { return "Save the " + caption_ + " edits ?"; }
    void SaveEdits(std::function<void()> saved) override
    {
        Record("save", FailSave);
        State = admin::esViewing;
        if (saved)
            saved();
    }
    void CancelEdits() override
    {
        Record("cancel", false);
        State = admin::esViewing;
    }
    void ResetEditState() override
    {
        Record("reset", false);
        State = admin::esViewing;
    }

private:
    void Record(const std::string& what, bool fail)
    {
        journal_.push_back(caption_.toStdString() + ":" + what);
        if (fail)
            throw std::runtime_error(caption_.toStdString() + " " + what + " failed");
    }

    QString caption_;
    bool editable_;
    std::vector<std::string>& journal_;
    QPushButton* refresh_;
};

// Makes the six stand-ins in page order; `pages` receives them for the test to steer.
inline admin::PageFactory StandInFactory(std::vector<StandInPage*>& pages, std::vector<std::string>& journal)
{
    return [&pages, &journal](const admin::PageContext&, QWidget* parent)
    {
        const char* captions[] = {"Status", "Server", "Users", "Databases", "Database Users", "Log"};
        std::vector<admin::AdminPage*> made;
        pages.clear();
        for (int index = 0; index < 6; ++index)
        {
            auto* page = new StandInPage(captions[index], index >= 1 && index <= 4, journal, parent);
            pages.push_back(page);
            made.push_back(page);
        }
        return made;
    };
}

} // namespace korvel::test
