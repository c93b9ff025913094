#include "admin/trace/TraceFile.h"

#include <stdexcept>

namespace korvel::admin
{

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
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append))
        throw std::runtime_error("Cannot open the trace file " + fileName_.toStdString() + ": " +
                                 file_.errorString().toStdString());
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
    QFile file(fileName_);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot read the trace file " + fileName_.toStdString() + ": " +
                                 file.errorString().toStdString());
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
    QFile file(fileName_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("Cannot clear the trace file " + fileName_.toStdString() + ": " +
                                 file.errorString().toStdString());
}

} // namespace korvel::admin
