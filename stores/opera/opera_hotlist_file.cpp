#include "stores/opera/opera_hotlist_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

#include "platform/browser_probe.h"
#include "platform/regular_file_read.h"
#include "platform/replace_user_file.h"

OperaHotlistFile::OperaHotlistFile(QString fileName, QString itemStartLine)
    : fileName_(std::move(fileName)), itemStart_(std::move(itemStartLine))
{
}

OperaHotlistFile OperaHotlistFile::AtPath(QString path, QString itemStartLine)
{
    OperaHotlistFile file(QString(), std::move(itemStartLine));
    file.fixedPath_ = std::move(path);
    return file;
}

QString OperaHotlistFile::Path() const
{
    return fixedPath_.isEmpty() ? OperaProfileDir() + QLatin1Char('/') + fileName_ : fixedPath_;
}

QString OperaHotlistFile::Folder() const
{
    return QFileInfo(Path()).absolutePath();
}

bool OperaHotlistFile::Start()
{
    if (HoldsUnwrittenChanges()) {
        try {
            End();
        } catch (const std::exception&) {
            // Withheld by End; each request names the file and the reason.
        }
        if (HoldsUnwrittenChanges()) return false;
    }
    Open();
    return true;
}

void OperaHotlistFile::Open()
{
    if (withheld_ && HoldsUnwrittenChanges()) throw AgentError(withheld_->toStdString());
    Forget();
    const QString path = Path();
    loadedAs_ = {};
    std::optional<RegularFileForReading> file = RegularFileForReading::Open(path);
    if (!file) {
        doc_.emplace(itemStart_);
        return;
    }
    // Every byte passes through here once, so the digest that tells a same-size rewrite at the
    // write-back costs no second read. The identity is the descriptor's, taken before the read:
    // a change made while it reads shows at the write-back.
    ContentDigest digest;
    const struct stat openedAs = file->Status();
    // Read in pieces that stay in the processor's cache, each split into lines at once: a large
    // notes file is never held twice. A line the piece cuts moves to the front of the buffer and
    // the next piece is read behind it, so it is decoded from where it lies, not gathered
    // elsewhere first; a line longer than the buffer doubles it. (Not mapped: another program
    // truncating the file meanwhile would crash the agent.)
    constexpr qint64 kPiece = 256 * 1024;
    if (readBuffer_.size() < kPiece) readBuffer_.resize(kPiece);
    AdrLineReader reader;
    try {
        qsizetype kept = 0;  // the start of a cut line, at the front of the buffer
        qint64 total = 0;
        for (;;) {
            if (readBuffer_.size() - kept < kPiece / 2) readBuffer_.resize(2 * readBuffer_.size());
            // Never more than the cap allows, whatever size the file claims.
            const qint64 want = std::min<qint64>(readBuffer_.size() - kept, kMaxHotlistBytes + 1 - total);
            const qint64 n = file->Read(readBuffer_.data() + kept, want);
            if (n <= 0) break;
            total += n;
            digest.Add(QByteArrayView(readBuffer_.constData() + kept, n));
            if (total > kMaxHotlistBytes)
                throw AgentError(QStringLiteral("\"%1\" is larger than a hotlist can be (%2 bytes)")
                                     .arg(path)
                                     .arg(kMaxHotlistBytes)
                                     .toStdString());
            const QByteArrayView filled(readBuffer_.constData(), kept + n);
            const qsizetype used = reader.FeedCompleteLines(filled);
            kept = filled.size() - used;
            std::memmove(readBuffer_.data(), readBuffer_.constData() + used, static_cast<std::size_t>(kept));
        }
        reader.Feed(QByteArrayView(readBuffer_.constData(), kept));
        if (readBuffer_.size() > kPiece) readBuffer_ = QByteArray();  // a long line's buffer is not kept
        doc_.emplace(AdrDocument::Parse(reader.Finish(), itemStart_));
        loadedAs_ = LoadedFileIdentity::OfStatus(openedAs, digest.Result());
    } catch (const AdrParseError& e) {
        throw AgentError(QStringLiteral("\"%1\" cannot be read as a hotlist: %2")
                             .arg(path, QString::fromUtf8(e.what()))
                             .toStdString());
    }
}

void OperaHotlistFile::Close()
{
    if (!doc_ || !changed_) return;
    const QString path = Path();
    switch (loadedAs_.Compare(path, kMaxHotlistBytes)) {
    case LoadedFileIdentity::Now::AsLoaded:
        break;
    case LoadedFileIdentity::Now::Replaced: {
        // Opera (or the user) wrote the file since it was read: the newer file wins. The session
        // goes on with it, so that what the peer is told next is what the file holds.
        const QString reason =
            QStringLiteral("\"%1\" changed since it was read; the changes made to it since are not written over it")
                .arg(path);
        changed_ = false;
        withheld_.reset();
        try {
            Open();
        } catch (const std::exception&) {
            Drop();
        }
        throw AgentError(reason.toStdString());
    }
    case LoadedFileIdentity::Now::Unavailable:
        // Moved aside for a moment, or its folder replaced by a sync tool: not an empty hotlist,
        // and not another program's file. Served on, the copy would tell the peer of changes on
        // no disk, and a check would report every item gone.
        withheld_ = QStringLiteral("cannot write \"%1\": the file it was read from is missing or is no regular "
                                   "file; its changes are kept to be written when it is back")
                        .arg(path);
        throw AgentError(withheld_->toStdString());
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw AgentError(QStringLiteral("cannot create the folder \"%1\"").arg(folder).toStdString());
    // A linked hotlist is written where the link leads. The user's file keeps its mode; a new one
    // is the user's alone, as it holds personal data.
    const QByteArray bytes = doc_->Serialize();
    ReplaceUserFile(path, bytes, LinkAtPath::WriteThrough, 0600);
    loadedAs_ = LoadedFileIdentity::Of(path);
    loadedAs_.digest = ContentDigest::Of(bytes);
    changed_ = false;
    withheld_.reset();
}

void OperaHotlistFile::End()
{
    try {
        Close();
    } catch (const std::exception& e) {
        if (!changed_) {
            Drop();
            throw;
        }
        // The synchronisation that made the changes is over: a later one is not served them
        // while they are on no disk.
        if (!withheld_)
            withheld_ = QStringLiteral("the changes to \"%1\" could not be written (%2); they are kept to be "
                                       "written later, and the file is not served until they are")
                            .arg(Path(), QString::fromUtf8(e.what()));
        throw;
    }
    Drop();
}

void OperaHotlistFile::Drop()
{
    Forget();
}

void OperaHotlistFile::Forget()
{
    doc_.reset();
    changed_ = false;
    withheld_.reset();
    if (forget_) forget_();
}

const AdrDocument& OperaHotlistFile::Document() const
{
    if (withheld_) throw AgentError(withheld_->toStdString());
    if (!doc_)
        throw AgentError(QStringLiteral("\"%1\" is not loaded: a synchronisation must open it first")
                             .arg(Path())
                             .toStdString());
    return *doc_;
}

AdrDocument& OperaHotlistFile::Change()
{
    (void)Document();
    changed_ = true;
    return *doc_;
}
