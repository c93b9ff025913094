#include "admin/TraceFile.h"

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
    if (file_.isOpen())
        return;
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append))
        throw std::runtime_error("Cannot open the trace file " + fileName_.toStdString() + ": " +
                                 file_.errorString().toStdString());
}

void TraceFile::Close()
{
    if (file_.isOpen())
        file_.close();
}

void TraceFile::WriteLine(const std::string& line)
{
    if (!file_.isOpen())
        return;
    file_.write(line.data(), static_cast<qint64>(line.size()));
    file_.write("\r\n", 2);
    file_.flush();
}

void TraceFile::Remove()
{
    Close();
    QFile::remove(fileName_);
}

} // namespace korvel::admin
