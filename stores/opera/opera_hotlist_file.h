#pragma once
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

#include "platform/loaded_file_identity.h"
#include "stores/opera/opera_hotlist.h"

// One hotlist file as a store holds it between the start and the end of a synchronisation: the
// one session every Opera store (bookmarks, contacts, notes) runs. It is read whole at the start,
// written back whole when something changed (at a state save and at the end), and only over the
// file as it was read.
//
// A file that exists but cannot be read or parsed is not taken for an empty one: Open fails, the
// store holds nothing (every request on it fails) and Close leaves the file alone, since
// writing back a partial tree would lose what was not read.
//
// Changes the write-back could not take are never given up while the agent runs. They are
// served on within the synchronisation that made them while the file stands as it was read (a
// full disk); once the file it was read from is missing (or is no regular file), or once the
// synchronisation has ended, the hotlist is withheld: every request fails naming the file, so
// that no peer is told of changes that are on no disk, until a write-back succeeds.
class OperaHotlistFile {
public:
    // A larger file fails Open: held as text it would take several times its size in memory.
    static constexpr qint64 kMaxHotlistBytes = qint64{256} * 1024 * 1024;

    // `fileName` inside Opera's profile folder, looked up at each Open; `itemStartLine` is the
    // block line of the file's items ("#URL", "#CONTACT", "#NOTE").
    OperaHotlistFile(QString fileName, QString itemStartLine);
    // A fixed path (tests, benchmarks).
    static OperaHotlistFile AtPath(QString path, QString itemStartLine);

    // Called whenever the loaded hotlist is replaced or forgotten, for what a store derives
    // from it (identifiers, an index).
    void OnContentReplaced(std::function<void()> forget) { forget_ = std::move(forget); }

    // The start of a session: changes still held are written first; when they cannot be, the
    // hotlist stays held and withheld (false). Otherwise the file is read anew (Open; true).
    bool Start();
    // Reads the file; a missing file is an empty hotlist. Throws AgentError naming the file and
    // the reason when it cannot be read or parsed, is not a regular file or is larger than
    // kMaxHotlistBytes; the previous content is dropped either way. Throws, keeping them, while
    // changes are withheld: reading anew would give them up.
    void Open();
    // Writes the hotlist when it changed since it was read or last written (atomically, through
    // a link at the path, keeping the file's mode). Throws AgentError when the write fails; the
    // hotlist is kept, still marked changed, and withheld when the file it was read from is
    // missing or no regular file. A file that another program changed since it was read or
    // written (identity, size, modification time or bytes) is not written over: the changes
    // are given up, the file is read again, and AgentError names it. Without a loaded hotlist it
    // does nothing.
    void Close();
    // The end of a session: Close, then the hotlist is forgotten, unless it holds changes the
    // write could not take (they stay, withheld, for the next chance). A file another program
    // changed is forgotten too, once Close read it again.
    void End();
    // Forgets the loaded hotlist without writing it.
    void Drop();

    bool Loaded() const { return doc_.has_value(); }
    bool Changed() const { return changed_; }
    bool HoldsUnwrittenChanges() const { return Loaded() && changed_; }
    // The loaded hotlist; throws AgentError when none is loaded or it is withheld.
    const AdrDocument& Document() const;
    // The same for changing it: marks the hotlist changed.
    AdrDocument& Change();
    // The file the hotlist was or will be read from.
    QString Path() const;
    QString Folder() const;

private:
    void Forget();

    QString fileName_;
    QString fixedPath_;
    QString itemStart_;
    std::optional<AdrDocument> doc_;
    QByteArray readBuffer_;
    bool changed_ = false;
    // Why the held changes are not served, while they are not.
    std::optional<QString> withheld_;
    // The file as the hotlist was read from it or last written to it, with its bytes' digest.
    LoadedFileIdentity loadedAs_;
    std::function<void()> forget_;
};
