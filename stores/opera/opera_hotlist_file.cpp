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

void OperaHotlistFile::Open()
{
    doc_.reset();
    changed_ = false;
    const QString path = Path();
    // Taken before the read: a change made while it reads shows as a change at the write-back.
    loadedAs_ = LoadedFileIdentity::Of(path);
    std::optional<RegularFileForReading> file = RegularFileForReading::Open(path);
    if (!file) {
        doc_.emplace(itemStart_);
        return;
    }
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
    if (LoadedFileIdentity::Of(path) != loadedAs_) {
        // Opera (or the user) wrote the file since it was read: the newer file wins. The session
        // goes on with it, so that what the peer is told next is what the file holds.
        const QString reason =
            QStringLiteral("\"%1\" changed since it was read; the changes made to it since are not written over it")
                .arg(path);
        try {
            Open();
        } catch (const std::exception&) {
            Drop();
        }
        throw AgentError(reason.toStdString());
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw AgentError(QStringLiteral("cannot create the folder \"%1\"").arg(folder).toStdString());
    // A linked hotlist is written where the link leads. The user's file keeps its mode; a new one
    // is the user's alone, as it holds personal data.
    ReplaceUserFile(path, doc_->Serialize(), LinkAtPath::WriteThrough, 0600);
    loadedAs_ = LoadedFileIdentity::Of(path);
    changed_ = false;
}

void OperaHotlistFile::End()
{
    try {
        Close();
    } catch (...) {
        if (!changed_) Drop();
        throw;
    }
    Drop();
}

void OperaHotlistFile::Drop()
{
    doc_.reset();
    changed_ = false;
}

const AdrDocument& OperaHotlistFile::Document() const
{
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
