#include "admin/trace/TraceFile.h"

#include "files/OwnFiles.h"

#include <fcntl.h>
#include <stdexcept>

#include <QCoreApplication>

namespace korvel::admin
{

namespace
{

// The file opened as a file of ours (files/OwnFiles.h); an empty descriptor when it is missing and not made.
// `failure` is the message, %1 the reason, should it fail.
files::Descriptor OpenOwn(const QString& fileName, int flags, const char* failure)
{
    try
    {
        return files::OpenOwnFile(QFile::encodeName(fileName).toStdString(), flags, 0600);
    }
    catch (const files::FileError& error)
    {
        throw std::runtime_error(QCoreApplication::translate("TraceFile", failure)
                                     .arg(QString::fromUtf8(error.what()))
                                     .toStdString());
    }
}

} // namespace

TraceFile::TraceFile(QString fileName) : fileName_(std::move(fileName)), file_(fileName_) {}

TraceFile::~TraceFile()
{
    Close();
}

void TraceFile::Open()
{
    std::lock_guard guard(lock_);
    if (file_.isOpen())
        return;
    files::Descriptor fd = OpenOwn(fileName_, O_WRONLY | O_APPEND | O_CREAT,
                                   QT_TRANSLATE_NOOP("TraceFile", "Cannot open the trace file: %1"));
    if (!file_.open(fd.Get(), QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle))
        throw std::runtime_error(QCoreApplication::translate("TraceFile", "Cannot open the trace file %1: %2")
                                     .arg(fileName_, file_.errorString())
                                     .toStdString());
    fd.Release();
}

void TraceFile::Close()
{
    std::lock_guard guard(lock_);
    if (file_.isOpen())
        file_.close();
}

void TraceFile::WriteLine(const std::string& line)
{
    std::lock_guard guard(lock_);
    if (!file_.isOpen())
        return;
    file_.write(line.data(), static_cast<qint64>(line.size()));
    file_.write("\r\n", 2);
    file_.flush();
}

void TraceFile::Remove()
{
    Close();
    std::lock_guard guard(lock_);
    QFile::remove(fileName_);
}

QStringList TraceFile::ReadLines()
{
    std::lock_guard guard(lock_);
    files::Descriptor fd =
        OpenOwn(fileName_, O_RDONLY, QT_TRANSLATE_NOOP("TraceFile", "Cannot read the trace file: %1"));
    if (!fd)
        return {};
    QFile file;
    if (!file.open(fd.Get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        throw std::runtime_error(QCoreApplication::translate("TraceFile", "Cannot read the trace file %1: %2")
                                     .arg(fileName_, file.errorString())
                                     .toStdString());
    fd.Release();
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    for (QString& line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast(); // the line end of the last line
    return lines;
}

void TraceFile::Clear()
{
    std::lock_guard guard(lock_);
    // Appending continues at the new end when the file is open.
    OpenOwn(fileName_, O_WRONLY | O_CREAT | O_TRUNC,
            QT_TRANSLATE_NOOP("TraceFile", "Cannot clear the trace file: %1"));
}

} // namespace korvel::admin
