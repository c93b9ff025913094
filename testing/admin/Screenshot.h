// Saving a picture of a widget for a person to look at, as the screenshot programs do.
#pragma once

#include <QApplication>
#include <QDir>
#include <QWidget>

#include <cstdio>

namespace korvel::test
{

// Paints what is pending, saves `widget` as OUTPUT/NAME.png and prints the path.
inline void SaveScreenshot(QWidget& widget, const QDir& output, const QString& name)
{
    QApplication::processEvents();
    const QString path = output.filePath(name + QStringLiteral(".png"));
    widget.grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

} // namespace korvel::test
