#include "admin/window/ProfileWindows.h"

#include "admin/common/Dialogs.h"
#include "engine/wire/Utf8.h"
#include "settings/Profiles.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QProcess>

#include <stdexcept>
#include <string_view>

namespace korvel::admin
{

namespace
{

// The command line's errors go to stderr before the window and its translation exist, so they stay English.
std::string NoSuchProfile(const std::string& name)
{
    return "There is no profile named \"" + ShownName(name) + "\" in " + settings::DefaultProfilesFileName();
}

} // namespace

std::optional<std::string> StartProfileOf(int argc, const char* const* argv)
{
    constexpr std::string_view Option = "--profile";
    std::optional<std::string> name;
    for (int i = 1; i < argc; ++i)
    {
        const std::string_view argument = argv[i];
        if (argument == Option)
        {
            if (i + 1 >= argc)
                throw std::invalid_argument("--profile needs the name of a profile"); // untranslated: stderr
            name = argv[++i];
        }
        else if (argument.starts_with(std::string(Option) + "="))
            name = std::string(argument.substr(Option.size() + 1));
    }
    if (name && !settings::ProfileStore().Find(*name))
        throw std::invalid_argument(NoSuchProfile(*name));
    return name;
}

std::optional<std::string> ProfileForNewWindow(QWidget* parent, const std::string& chosen)
{
    if (!chosen.empty())
        return chosen;
    const std::vector<settings::Profile> profiles = settings::ProfileStore().List();
    if (profiles.empty())
    {
        DialogsFor(parent).ShowInformation(
            parent, QCoreApplication::translate("ProfileWindows",
                                                "There are no profiles yet: File, Profiles... adds one."));
        return std::nullopt;
    }
    QStringList names;
    for (const settings::Profile& profile : profiles)
        names << QString::fromStdString(ShownName(profile.Name));
    QInputDialog dialog(parent);
    dialog.setObjectName("NewWindowDialog");
    dialog.setWindowTitle(QCoreApplication::translate("ProfileWindows", "New Window"));
    dialog.setLabelText(QCoreApplication::translate("ProfileWindows", "&Profile of the new window:"));
    dialog.setComboBoxItems(names);
    dialog.setComboBoxEditable(false);
    if (ExecModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    const qsizetype at = names.indexOf(dialog.textValue());
    return at < 0 ? std::nullopt : std::optional(profiles[static_cast<std::size_t>(at)].Name);
}

void StartWindowOn(const std::string& profile)
{
    if (!QProcess::startDetached(QCoreApplication::applicationFilePath(),
                                 {QStringLiteral("--profile"), QString::fromStdString(profile)}))
        throw std::runtime_error(
            QCoreApplication::translate("ProfileWindows", "The new window could not be started (%1).")
                .arg(QCoreApplication::applicationFilePath())
                .toStdString());
}

} // namespace korvel::admin
