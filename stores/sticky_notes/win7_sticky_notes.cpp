#include "stores/sticky_notes/win7_sticky_notes.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>
#include <algorithm>

#include "common/crc32.h"
#include "common/errors.h"
#include "platform/known_folders.h"
#include "platform/regular_file_read.h"
#include "platform/replace_user_file.h"

const QString CWin7_StikyNotes::kBodyField = QStringLiteral("Win7Notes_Body");
const QString CWin7_StikyNotes::kPlainTextField = QStringLiteral("UNICODE");

namespace {

// The text of the last field of that name, or nothing when the record has none.
std::optional<QString> Field(const ItemRecord& record, const QString& name)
{
    const qsizetype at = record.names.lastIndexOf(name);
    if (at < 0) return std::nullopt;
    return ItemValueText(record.values[static_cast<std::size_t>(at)]);
}

// Stream "0" of a text from the peer: its bytes in the code page the notes' RTF is kept in here,
// UTF-8 (real notes are ASCII), ended by a NUL as the program ends it. A text that carries its
// own NUL keeps only what comes before it, which is all that Get gives back.
QByteArray RtfBytes(const QString& text)
{
    return StickyNotesFile::RtfStream(text.left(text.indexOf(QChar(0))).toUtf8());
}

// Stream "3" of a text from the peer. The program keeps only a preview there, and nothing gives
// the stream back to the peer, so it gets the program's form.
QString PlainTextStream(const QString& text)
{
    return StickyNotesFile::PreviewStream(text);
}

QString RtfText(const QByteArray& bytes)
{
    const qsizetype end = bytes.indexOf('\0');
    return QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
}

}  // namespace

CWin7_StikyNotes::CWin7_StikyNotes(LogSink log, QString path)
    : log_(std::move(log)), configuredPath_(std::move(path))
{
}

QString CWin7_StikyNotes::DefaultPath()
{
    const QString appData = KnownFolderPath(KnownFolder::AppData);
    if (appData.isEmpty()) return {};
    return appData + QStringLiteral("/Microsoft/Sticky Notes/StickyNotes.snt");
}

bool CWin7_StikyNotes::AtSyncStart()
{
    if (HoldsUnwrittenChanges()) {
        try {
            AtSyncEnd();
        } catch (const std::exception&) {
            // Withheld by AtSyncEnd; each note request names the file and the reason.
        }
        if (HoldsUnwrittenChanges()) return true;
    }
    Open();
    return true;
}

void CWin7_StikyNotes::AtSyncEnd()
{
    try {
        Close();
    } catch (const std::exception& e) {
        // The synchronisation that made the changes is over: a later one is not served them
        // while they are on no disk.
        if (HoldsUnwrittenChanges() && !withheld_)
            withheld_ = QStringLiteral("the changes to the Sticky Notes file %1 could not be written (%2); they are "
                                       "kept to be written later, and the notes are not served until they are")
                            .arg(path_, QString::fromUtf8(e.what()));
        throw;
    }
}

void CWin7_StikyNotes::Open()
{
    file_ = StickyNotesFile::Empty();
    positions_.clear();
    damage_.reset();
    withheld_.reset();
    changed_ = false;
    loadedAs_ = {};
    path_ = configuredPath_.isEmpty() ? DefaultPath() : configuredPath_;

    const auto damaged = [&](const QString& reason) {
        damage_ = QStringLiteral("the Sticky Notes file %1 is not used: %2").arg(path_, reason);
        if (log_) log_(*damage_);
    };
    if (path_.isEmpty()) {
        damaged(QStringLiteral("the application data folder is unknown"));
        return;
    }
    // Only a regular file, and no more of it than a notes file can hold: a FIFO, a device or a
    // huge file in its place is a damaged file, not a hang or the agent's memory.
    const BoundedFileRead read = ReadBoundedRegularFile(path_, kMaxFileBytes);
    if (read.outcome == BoundedFileRead::Outcome::Missing) return;  // no notes yet
    if (!read.Ok()) {
        const QString reason = QString::fromStdString(read.Reason(kMaxFileBytes));
        damaged(read.outcome == BoundedFileRead::Outcome::Unreadable
                    ? QStringLiteral("it cannot be read (%1)").arg(reason)
                    : QStringLiteral("it is %1").arg(reason));
        return;
    }
    // With the digest of every byte read, so that a rewrite keeping the size and the time shows.
    loadedAs_ = LoadedFileIdentity::OfRead(read);
    try {
        file_ = StickyNotesFile::Parse(read.bytes);
    } catch (const std::exception& e) {
        file_ = StickyNotesFile::Empty();
        damaged(QString::fromUtf8(e.what()));
    }
    Reindex();
}

void CWin7_StikyNotes::Close()
{
    if (damage_ || !changed_) return;
    switch (loadedAs_.Compare(path_, kMaxFileBytes)) {
    case LoadedFileIdentity::Now::AsLoaded:
        break;
    case LoadedFileIdentity::Now::Replaced: {
        // The program (or the user) wrote the file since it was read: the newer file wins, and
        // the session goes on with it.
        const std::string reason = "the Sticky Notes file " + path_.toStdString() +
                                   " changed since it was read; the changes made to it since are not written over it";
        Open();
        throw AgentError(reason);
    }
    case LoadedFileIdentity::Now::Unavailable:
        // Moved aside for a moment, or its folder replaced by a sync tool: not an empty file,
        // and not another program's. Served on, the notes would tell the peer of changes on no
        // disk, and a check would report every note deleted.
        withheld_ = QStringLiteral("cannot write the Sticky Notes file %1: the file the notes were read from is "
                                   "missing or is no regular file; the changes are kept to be written when it is back")
                        .arg(path_);
        throw AgentError(withheld_->toStdString());
    }
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder))
        throw AgentError("the Sticky Notes folder " + folder.toStdString() + " cannot be created");
    // Built whole before the old file is touched, then swapped in at once (where a link leads):
    // a failure at any step leaves the old file as it was. Notes are private; a new file is its
    // owner's alone.
    const QByteArray bytes = file_.Serialize();
    ReplaceUserFile(path_, bytes, LinkAtPath::WriteThrough, 0600);
    loadedAs_ = LoadedFileIdentity::Of(path_);
    loadedAs_.digest = ContentDigest::Of(bytes);
    changed_ = false;
    withheld_.reset();
}

CommitOutcome CWin7_StikyNotes::CommitChanges()
{
    Close();
    return {};
}

void CWin7_StikyNotes::RequireLoaded() const
{
    if (damage_) throw AgentError(damage_->toStdString());
    if (withheld_) throw AgentError(withheld_->toStdString());
}

StickyNoteRecord* CWin7_StikyNotes::Find(const QString& id)
{
    const auto at = positions_.constFind(id);
    return at == positions_.constEnd() ? nullptr : &file_.notes[*at];
}

void CWin7_StikyNotes::Reindex()
{
    positions_.clear();
    positions_.reserve(static_cast<qsizetype>(file_.notes.size()));
    for (std::size_t i = 0; i < file_.notes.size(); ++i)
        if (!positions_.contains(file_.notes[i].id)) positions_.insert(file_.notes[i].id, i);
}

QString CWin7_StikyNotes::NewNativeId() const
{
    for (;;) {
        // A GUID's registry text cut after the first digit of its fourth group, as the
        // program names its notes.
        const QString candidate = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(20);
        const auto taken = [&](const QString& name) { return SameEntryName(name, candidate); };
        const bool used =
            std::any_of(file_.notes.begin(), file_.notes.end(),
                        [&](const StickyNoteRecord& n) { return taken(n.storageName) || taken(n.metafileId); }) ||
            std::any_of(file_.otherRootEntries.begin(), file_.otherRootEntries.end(),
                        [&](const CompoundEntry& e) { return taken(e.name); });
        if (!used) return candidate;
    }
}

void CWin7_StikyNotes::Add(ItemRecord& record, QString& id)
{
    RequireLoaded();
    StickyNoteRecord note = StickyNotesFile::NewNote(NewNativeId(), QDateTime::currentDateTimeUtc());
    note.rtf = RtfBytes(Field(record, kBodyField).value_or(QString()));
    note.plainText = PlainTextStream(Field(record, kPlainTextField).value_or(QString()));
    id = note.id;
    if (!positions_.contains(note.id)) positions_.insert(note.id, file_.notes.size());
    file_.notes.push_back(std::move(note));
    changed_ = true;
}

void CWin7_StikyNotes::Edit(ItemRecord& record, const QString& id)
{
    RequireLoaded();
    StickyNoteRecord* note = Find(id);
    if (!note) throw AgentError("no Sticky Note has the identifier " + id.toStdString());
    if (const auto body = Field(record, kBodyField)) note->rtf = RtfBytes(*body);
    if (const auto plain = Field(record, kPlainTextField)) note->plainText = PlainTextStream(*plain);
    changed_ = true;
}

void CWin7_StikyNotes::Delete(const QString& id)
{
    RequireLoaded();
    const auto found = positions_.constFind(id);
    // A note that is already gone needs no deleting.
    if (found == positions_.constEnd()) return;
    const std::size_t gone = *found;
    positions_.erase(found);
    file_.notes.erase(file_.notes.begin() + static_cast<std::ptrdiff_t>(gone));
    // The notes after it moved up one place; a later note of the same identifier, if the file
    // had one, is now the first of it.
    for (std::size_t i = gone; i < file_.notes.size(); ++i) {
        const auto at = positions_.find(file_.notes[i].id);
        if (at == positions_.end())
            positions_.insert(file_.notes[i].id, i);
        else if (*at == i + 1)
            *at = i;
    }
    changed_ = true;
}

void CWin7_StikyNotes::DeleteAll()
{
    RequireLoaded();
    if (file_.notes.empty()) return;
    file_.notes.clear();
    positions_.clear();
    changed_ = true;
}

void CWin7_StikyNotes::Get(const QString& id, ItemRecord& record)
{
    RequireLoaded();
    const StickyNoteRecord* note = Find(id);
    if (!note) throw AgentError("no Sticky Note has the identifier " + id.toStdString());
    record.Add(kBodyField, RtfText(note->rtf));
}

void CWin7_StikyNotes::GetIDs(QStringList& ids)
{
    RequireLoaded();
    for (const StickyNoteRecord& note : file_.notes) ids.append(note.id);
}

std::uint32_t CWin7_StikyNotes::IDtoCRC32(const QString& id)
{
    RequireLoaded();
    const StickyNoteRecord* note = Find(id);
    return note ? Crc32(note->rtf) : 0;
}
