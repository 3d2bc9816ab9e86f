#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

#include "platform/loaded_file_identity.h"
#include "stores/opera/opera_hotlist.h"

// One hotlist file as a store holds it between the start and the end of a synchronisation: read
// whole by Open, written back whole by Close, and only when something changed.
//
// A file that exists but cannot be read or parsed is not taken for an empty one: Open fails, the
// store holds nothing (every request on it fails) and Close leaves the file alone, since
// writing back a partial tree would lose what was not read.
class OperaHotlistFile {
public:
    // A larger file fails Open: held as text it would take several times its size in memory.
    static constexpr qint64 kMaxHotlistBytes = qint64{256} * 1024 * 1024;

    // `fileName` inside Opera's profile folder, looked up at each Open; `itemStartLine` is the
    // block line of the file's items ("#URL", "#CONTACT", "#NOTE").
    OperaHotlistFile(QString fileName, QString itemStartLine);
    // A fixed path (tests, benchmarks).
    static OperaHotlistFile AtPath(QString path, QString itemStartLine);

    // Reads the file; a missing file is an empty hotlist. Throws AgentError naming the file and
    // the reason when it cannot be read or parsed, is not a regular file or is larger than
    // kMaxHotlistBytes; the previous content is dropped either way.
    void Open();
    // Writes the hotlist when it changed since it was read or last written (atomically, through
    // a link at the path, keeping the file's mode). Throws AgentError when the write fails; the
    // hotlist is kept, still marked changed. A file that another program changed since it was
    // read or written (size, modification time or identity) is not written over: the changes
    // are given up, the file is read again, and AgentError names it. Without a loaded hotlist it
    // does nothing.
    void Close();
    // The end of a session: Close, then the hotlist is forgotten, unless it holds changes the
    // write could not take (they stay for the next chance). A file another program changed is
    // forgotten too, once Close read it again.
    void End();
    // Forgets the loaded hotlist without writing it.
    void Drop();

    bool Loaded() const { return doc_.has_value(); }
    bool Changed() const { return changed_; }
    // The loaded hotlist; throws AgentError when none is loaded.
    const AdrDocument& Document() const;
    // The same for changing it: marks the hotlist changed.
    AdrDocument& Change();
    // The file the hotlist was or will be read from.
    QString Path() const;
    QString Folder() const;

private:
    QString fileName_;
    QString fixedPath_;
    QString itemStart_;
    std::optional<AdrDocument> doc_;
    QByteArray readBuffer_;
    bool changed_ = false;
    // The file as the hotlist was read from it or last written to it.
    LoadedFileIdentity loadedAs_;
};
