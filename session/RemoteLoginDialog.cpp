#include "session/KORVELSession.h"

#include <mutex>

namespace korvel
{

namespace
{

std::mutex dialogLock;
RemoteLoginDialogFunction dialogFunction;

} // namespace

void SetRemoteLoginDialog(RemoteLoginDialogFunction dialog)
{
    std::lock_guard guard(dialogLock);
    dialogFunction = std::move(dialog);
}

bool RemoteLoginDialog(std::string& userName, std::string& password)
{
    RemoteLoginDialogFunction dialog;
    {
        std::lock_guard guard(dialogLock);
        dialog = dialogFunction;
    }
    // Without a dialog there is nobody to ask: the login is cancelled.
    if (!dialog)
        return false;
    // The dialog leaves both strings unchanged on cancel, whatever it did to its own copies.
    std::string enteredUser = userName;
    std::string enteredPassword = password;
    if (!dialog(enteredUser, enteredPassword))
        return false;
    userName = std::move(enteredUser);
    password = std::move(enteredPassword);
    return true;
}

} // namespace korvel
