// AboutDialog (Help > About): what a bug report needs to state. The program's version and license, the
// versions of Qt and of the libraries the window runs with (as they report themselves at run time where they
// can), and the files this copy reads and writes.
#pragma once

#include <QDialog>
#include <QString>

#include <utility>
#include <vector>

namespace korvel::admin
{

struct AboutFacts
{
    QString ProductName;
    QString Version;
    // What each file is for ("Settings") and where it is.
    std::vector<std::pair<QString, QString>> Files;
};

// "Qt 6.4.2", "zlib 1.2.13", ...: the libraries' names and versions.
std::vector<std::pair<QString, QString>> LibraryVersions();

class AboutDialog : public QDialog
{
public:
    AboutDialog(const AboutFacts& facts, QWidget* parent);
};

} // namespace korvel::admin
