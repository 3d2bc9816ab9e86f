#include "stores/apps/opera_hotlist_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

#include "platform/atomic_file.h"
#include "platform/browser_probe.h"

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

QString OperaHotlistFile::Folder() const { return QFileInfo(Path()).absolutePath(); }

void OperaHotlistFile::Open()
{
    doc_.reset();
    changed_ = false;
    const QString path = Path();
    QFile file(path);
    if (!file.exists()) {
        doc_.emplace(itemStart_);
        return;
    }
    if (!file.open(QIODevice::ReadOnly))
        throw AgentError(QStringLiteral("cannot read \"%1\": %2").arg(path, file.errorString()).toStdString());
    // Read in pieces that stay in the processor's cache, each split into lines at once: a large
    // notes file is never held twice. (Not mapped: another program truncating the file meanwhile
    // would crash the agent.)
    constexpr qint64 kPiece = 256 * 1024;
    readBuffer_.resize(kPiece);
    AdrLineReader reader;
    try {
        for (;;) {
            const qint64 n = file.read(readBuffer_.data(), kPiece);
            if (n <= 0) break;
            reader.Feed(QByteArrayView(readBuffer_.constData(), n));
        }
        if (file.error() != QFileDevice::NoError)
            throw AgentError(QStringLiteral("cannot read \"%1\": %2").arg(path, file.errorString()).toStdString());
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
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw AgentError(QStringLiteral("cannot create the folder \"%1\"").arg(folder).toStdString());
    // The user's file keeps its mode; a new one is the user's alone, as it holds personal data.
    mode_t mode = 0600;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) mode = st.st_mode & 07777;
    WriteFileAtomically(path, doc_->Serialize(), mode);
    changed_ = false;
}

void OperaHotlistFile::Drop()
{
    doc_.reset();
    changed_ = false;
}

const AdrDocument& OperaHotlistFile::Document() const
{
    if (!doc_)
        throw AgentError(
            QStringLiteral("\"%1\" is not loaded: a synchronisation must open it first").arg(Path()).toStdString());
    return *doc_;
}

AdrDocument& OperaHotlistFile::Change()
{
    (void)Document();
    changed_ = true;
    return *doc_;
}
