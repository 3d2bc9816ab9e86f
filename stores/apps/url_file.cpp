#include "stores/apps/url_file.h"

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

QByteArray UrlFileContent(const QString& url)
{
    for (QChar c : url) {
        if (c.unicode() > 0xFF)
            throw AgentError(
                "the address has a character beyond U+00FF that a favourite file cannot hold: \"" +
                url.left(300).toStdString() + "\"");
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            throw AgentError("the address holds a line break: \"" + url.left(300).toStdString() + "\"");
    }
    return QByteArrayLiteral("[InternetShortcut]\r\n") + kUrlPrefix + url.toLatin1() +
           QByteArrayLiteral("\r\n");
}
