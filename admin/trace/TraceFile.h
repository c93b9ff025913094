// The per-process trace file: every trace line of the remote session, one per text line ending in CR LF. It
// is open for appending from the window's creation to its destruction, and deleted at exit unless the user
// chose to keep it. Trace lines arrive on the background runner's worker while the Trace Log
// dialog reads and clears the file on the user-interface thread, so every use goes through one lock. It is
// opened as a file of ours (files/OwnFiles.h): never through a symbolic link, only in the user's own
// directory.
#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include <mutex>
#include <string>

namespace korvel::admin
{

class TraceFile
{
public:
    explicit TraceFile(QString fileName);
    ~TraceFile();
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    const QString& FileName() const { return fileName_; }

    // Appends to the file, creating it when missing. Raises std::runtime_error when it cannot be opened.
    void Open();
    void Close();
    // Writes the line and CR LF and flushes, so a crash loses nothing already traced. A line that cannot be
    // written is dropped: tracing never stops a command.
    void WriteLine(const std::string& line);
    // Closes and deletes the file.
    void Remove();
    // The file's lines without their line ends; none when it does not exist. Raises std::runtime_error when
    // it cannot be read.
    QStringList ReadLines();
    // Empties the file. Raises std::runtime_error when it cannot be written.
    void Clear();

private:
    std::mutex lock_;
    QString fileName_;
    QFile file_;
};

} // namespace korvel::admin
