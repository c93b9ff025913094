// The window's menu items, made once and bound by member. Their object names stay, for the accessibility tree
// and for tests that reach an item as a person would.
#pragma once

class QAction;
class QMenu;

namespace korvel::admin
{

struct MenuActions
{
    QMenu* FileMenu = nullptr;
    QAction* NewWindow = nullptr;
    QAction* Login = nullptr;
    QAction* ConnectTo = nullptr;  // the Connect to submenu, made by the login's profiles
    QAction* AfterLogin = nullptr; // the separator before Options...; the profiles' items go in before it
    QAction* ChangeHistory = nullptr;
    QAction* Options = nullptr;
    QAction* Exit = nullptr;
    QAction* HelpContents = nullptr;
    QAction* HelpAbout = nullptr;
};

} // namespace korvel::admin
