#include "cli/Confirm.h"

#include "cli/Terminal.h"
#include "cli/UsageError.h"
#include "session/KORVELSession.h"

#include <iostream>
#include <stdexcept>

namespace korvel::cli
{

void Confirm(const std::string& warning, const std::string& question, bool force)
{
    if (!warning.empty())
        std::cerr << "korvel-admin-cli: " << warning << '\n';
    if (force)
        return;
    auto terminal = Terminal::Open();
    if (!terminal)
        throw UsageError("nothing was changed: there is no terminal to ask \"" + question +
                         "\" on; give --force to go ahead anyway");
    auto answer = terminal->Ask(question + " [y/N] ", false);
    if (!answer || (*answer != "y" && *answer != "Y" && *answer != "yes" && *answer != "Yes"))
        throw UsageError("nothing was changed");
}

void ConfirmOnTerminal(const std::string& question, bool force)
{
    if (!force && Terminal::Open() && !AskYesNo(question, false))
        throw UsageError("nothing was changed");
}

bool AskYesNo(const std::string& question, bool force)
{
    if (force)
        return true;
    auto terminal = Terminal::Open();
    if (!terminal)
        return false;
    auto answer = terminal->Ask(question + " [y/N] ", false);
    return answer && (*answer == "y" || *answer == "Y" || *answer == "yes" || *answer == "Yes");
}

bool GuardAccountChange(TKORVELSession& session, const std::string& user, operations::AccountChange change,
                        bool force)
{
    switch (operations::CheckAccountChange(session, user, change))
    {
    case operations::AccountRisk::LastAdministrator:
        throw std::runtime_error(operations::LastAdministratorMessage(user, change));
    case operations::AccountRisk::OwnAccount:
        Confirm({}, operations::OwnAccountQuestion(user, change), force);
        return !force;
    case operations::AccountRisk::None:
        break;
    }
    return false;
}

} // namespace korvel::cli
