#pragma once
#include <QFile>
#include <QString>

#include "common/item_record.h"

// The agent's one plain log, "TwinLark.log" in its data folder: one event per line, no time
// stamps, no levels, appended across runs and flushed line by line so it survives a crash.
// Lines are UTF-8, the whole converted text.
class LogFile {
public:
    // Opens (creating when missing) "<data folder>/TwinLark.log" for appending. A log that
    // cannot be opened is no error: later lines are then lost.
    LogFile();
    // Opens the log at an explicit path (tests).
    explicit LogFile(const QString& path);
    // Writes "close programm\n" and closes.
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Appends the text and a line end, then flushes. A text ending in "\n" leaves an empty line.
    void WriteLogLine(const QString& text);
    // One line per integer or text field: "\t- name - value", line feeds in a line turned to blanks.
    void DumpItemProperties(const ItemRecord& record);
    QString GetLogPath() const { return path_; }
    bool IsOpen() const { return file_.isOpen(); }

private:
    void Open();
    QString path_;
    QFile file_;
};
