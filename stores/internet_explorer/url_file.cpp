#include "stores/internet_explorer/url_file.h"

#include "common/errors.h"

namespace {

const QByteArray kUrlPrefix = QByteArrayLiteral("URL=");

}  // namespace

std::optional<QString> UrlFileAddress(const QByteArray& content)
{
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        const qsizetype next = end < 0 ? content.size() : end + 1;
        if (end < 0) end = content.size();
        QByteArrayView line(content.constData() + start, end - start);
        if (line.endsWith('\r')) line.chop(1);
        if (line.startsWith(kUrlPrefix)) return QString::fromLatin1(line.sliced(kUrlPrefix.size()));
        start = next;
    }
    return std::nullopt;
}

namespace {

// The address as the file's bytes: one byte per character, on one line.
QByteArray AddressBytes(const QString& url)
{
    for (QChar c : url) {
        if (c.unicode() > 0xFF)
            throw AgentError(
                "the address has a character beyond U+00FF that a favourite file cannot hold: \"" +
                url.left(300).toStdString() + "\"");
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            throw AgentError("the address holds a line break: \"" + url.left(300).toStdString() + "\"");
    }
    return url.toLatin1();
}

const QByteArray kSection = QByteArrayLiteral("[InternetShortcut]");

}  // namespace

QByteArray UrlFileContent(const QString& url)
{
    return kSection + QByteArrayLiteral("\r\n") + kUrlPrefix + AddressBytes(url) + QByteArrayLiteral("\r\n");
}

QByteArray UrlFileWithAddress(const QByteArray& content, const QString& url)
{
    const QByteArray line = kUrlPrefix + AddressBytes(url);
    struct Span {
        qsizetype start = -1;
        qsizetype length = 0;  // without the line end
    };
    Span readerLine;   // the first "URL=" line anywhere: the one UrlFileAddress reads
    Span sectionLine;  // the first one in [InternetShortcut]
    qsizetype afterHeader = -1;
    QByteArray lineEnd = QByteArrayLiteral("\r\n");
    bool inSection = false;
    for (qsizetype start = 0; start < content.size();) {
        qsizetype end = content.indexOf('\n', start);
        const qsizetype next = end < 0 ? content.size() : end + 1;
        if (end < 0) end = content.size();
        QByteArrayView text(content.constData() + start, end - start);
        const bool cr = text.endsWith('\r');
        if (cr) text.chop(1);
        if (text.startsWith('[')) {
            inSection = text.trimmed().compare(kSection, Qt::CaseInsensitive) == 0;
            if (inSection && afterHeader < 0) {
                afterHeader = next;
                if (end < content.size()) lineEnd = cr ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
            }
        } else if (text.startsWith(kUrlPrefix)) {
            if (readerLine.start < 0) readerLine = {start, text.size()};
            if (inSection && sectionLine.start < 0) sectionLine = {start, text.size()};
        }
        start = next;
    }

    // Changed from the back, so that the earlier places stay where they were found.
    QByteArray result = content;
    const auto endsLine = [&] {
        if (!result.isEmpty() && !result.endsWith('\n')) result += lineEnd;
    };
    if (sectionLine.start >= 0) {
        result.replace(sectionLine.start, sectionLine.length, line);
    } else if (afterHeader >= 0) {
        if (afterHeader == result.size()) {
            endsLine();
            result += line + lineEnd;
        } else {
            result.insert(afterHeader, line + lineEnd);
        }
    } else {
        endsLine();
        result += kSection + lineEnd + line + lineEnd;
    }
    // A "URL=" line before the section (none in files Internet Explorer wrote) would still be
    // the one read back: it takes the address too.
    const qsizetype sectionStart = sectionLine.start >= 0 ? sectionLine.start : afterHeader;
    if (readerLine.start >= 0 && (sectionStart < 0 || readerLine.start < sectionStart))
        result.replace(readerLine.start, readerLine.length, line);
    return result;
}
