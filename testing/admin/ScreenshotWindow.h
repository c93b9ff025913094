// What every screenshot program sets up around the window it pictures.
#pragma once

#include "admin/common/AdminPage.h"
#include "admin/common/Dialogs.h"
#include "admin/window/MainForm.h"
#include "session/SessionList.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace korvel::test
{

// The application in the style `applyStyle` gives it (the product's), the folder the pictures go to (the
// first argument, else the current one) and the session list for the run.
class ScreenshotRun
{
public:
    ScreenshotRun(int& argc, char** argv, void (*applyStyle)(QApplication&))
        : application_(argc, argv), output_(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath())
    {
        applyStyle(application_);
        QDir().mkpath(output_.path());
        CreateSessions();
    }
    ~ScreenshotRun() { DestroySessions(); }
    ScreenshotRun(const ScreenshotRun&) = delete;
    ScreenshotRun& operator=(const ScreenshotRun&) = delete;

    const QDir& Output() const { return output_; }

private:
    QApplication application_;
    QDir output_;
};

// The main window in a program folder of its own, asking with `dialogs`, whose settings point it at
// `adminPort` (no settings when 0) and add `moreSettings` (lines of the settings file after its [Admin Info]
// section).
class ScreenshotWindow
{
public:
    explicit ScreenshotWindow(admin::Dialogs& dialogs, int adminPort = 0, const QByteArray& moreSettings = {})
        : form_(Setup(programDir_, dialogs, adminPort, moreSettings))
    {
    }

    admin::TMainForm& Form() { return form_; }

private:
    static admin::MainFormSetup Setup(const QTemporaryDir& programDir, admin::Dialogs& dialogs, int adminPort,
                                      const QByteArray& more)
    {
        if (adminPort != 0)
        {
            QFile settings(programDir.filePath(QStringLiteral("korvel-admin.ini")));
            settings.open(QIODevice::WriteOnly);
            settings.write("[Admin Info]\nRemote Port=" + QByteArray::number(adminPort) + "\n" + more);
        }
        return {{programDir.path() + QLatin1Char('/'), "korvel-admin", {}},
                {"KORVEL Admin", "korvel-admin", "1.0.0"},
                admin::CreatePages,
                "",
                {},
                &dialogs};
    }

    QTemporaryDir programDir_;
    admin::TMainForm form_;
};

// Clicks the push button `name` of `in` with the mouse, as a person would.
inline void Click(QWidget& in, const char* name)
{
    auto* button = in.findChild<QPushButton*>(QLatin1String(name));
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

} // namespace korvel::test
