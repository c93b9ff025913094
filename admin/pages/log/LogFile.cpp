#include "admin/pages/log/LogFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>

#include <stdexcept>
#include <string>

namespace korvel::admin
{

void WriteLogFile(const QString& fileName, const LogText& log, const std::vector<std::uint32_t>* lines)
{
    QSaveFile file(fileName);
    auto fail = [&]
    {
        throw std::runtime_error(QCoreApplication::translate("LogPage", "Cannot create file \"%1\". %2")
                                     .arg(QDir::toNativeSeparators(fileName), file.errorString())
                                     .toStdString());
    };
    if (!file.open(QIODevice::WriteOnly))
        fail();
    std::string chunk;
    constexpr std::size_t chunkSize = 1 << 20;
    auto flush = [&]
    {
        if (file.write(chunk.data(), static_cast<qint64>(chunk.size())) != static_cast<qint64>(chunk.size()))
            fail();
        chunk.clear();
    };
    const std::size_t count = lines ? lines->size() : log.LineCount();
    for (std::size_t i = 0; i < count; ++i)
    {
        chunk += log.Line(lines ? (*lines)[i] : i);
        chunk += "\r\n";
        if (chunk.size() >= chunkSize)
            flush();
    }
    flush();
    if (!file.commit())
        fail();
}

} // namespace korvel::admin
