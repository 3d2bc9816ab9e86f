#include "stores/windows_calendar/ics_lines.h"

#include <cstring>

namespace {

bool StartsWithBom(const QByteArray& bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF");
}

}  // namespace

IcsLines::IcsLines(QByteArray bytes) : bytes_(std::move(bytes))
{
    const char* data = bytes_.constData();
    const qsizetype size = bytes_.size();
    qsizetype pos = StartsWithBom(bytes_) ? 3 : 0;
    while (pos < size) {
        const char* lf =
            static_cast<const char*>(std::memchr(data + pos, '\n', static_cast<std::size_t>(size - pos)));
        Physical line;
        line.offset = pos;
        if (!lf) {
            line.length = size - pos;
            pos = size;
        } else {
            const qsizetype at = lf - data;
            const bool cr = at > pos && data[at - 1] == '\r';
            line.length = at - pos - (cr ? 1 : 0);
            line.endLength = cr ? 2 : 1;
            pos = at + 1;
        }
        physical_.push_back(line);
    }

    // Unfold: a stored line that begins with a blank or a tab continues the one before it, without
    // that first character. A continuation at the very start has nothing to continue and stands alone.
    const int count = static_cast<int>(physical_.size());
    lines_.reserve(physical_.size());
    const auto continues = [&](int i) {
        const Physical& next = physical_[static_cast<std::size_t>(i)];
        return next.length > 0 && (data[next.offset] == ' ' || data[next.offset] == '\t');
    };
    for (int i = 0; i < count;) {
        int last = i;
        while (last + 1 < count && continues(last + 1)) ++last;
        lines_.push_back(Line{i, last});
        i = last + 1;
    }
}

QString IcsLines::Text(int line) const
{
    const Line& l = lines_[static_cast<std::size_t>(line)];
    const char* data = bytes_.constData();
    const Physical& first = physical_[static_cast<std::size_t>(l.firstPhysical)];
    if (l.firstPhysical == l.lastPhysical) return QString::fromUtf8(data + first.offset, first.length);
    // Joined as bytes before decoding: a fold may split a UTF-8 sequence.
    QByteArray joined(data + first.offset, first.length);
    for (int k = l.firstPhysical + 1; k <= l.lastPhysical; ++k) {
        const Physical& next = physical_[static_cast<std::size_t>(k)];
        joined.append(data + next.offset + 1, next.length - 1);
    }
    return QString::fromUtf8(joined);
}

QStringList IcsLines::Texts() const
{
    QStringList texts;
    texts.reserve(Count());
    for (int i = 0; i < Count(); ++i) texts.append(Text(i));
    return texts;
}

bool IcsLines::Is(int line, std::string_view text) const
{
    if (!StartsWith(line, text)) return false;
    const Line& l = lines_[static_cast<std::size_t>(line)];
    const Physical& first = physical_[static_cast<std::size_t>(l.firstPhysical)];
    if (l.firstPhysical != l.lastPhysical)
        return Text(line).trimmed().size() == static_cast<qsizetype>(text.size());
    for (qsizetype i = static_cast<qsizetype>(text.size()); i < first.length; ++i) {
        const char c = bytes_.constData()[first.offset + i];
        if (c != ' ' && c != '\t') return false;
    }
    return true;
}

bool IcsLines::StartsWith(int line, std::string_view prefix) const
{
    const Line& l = lines_[static_cast<std::size_t>(line)];
    const Physical& first = physical_[static_cast<std::size_t>(l.firstPhysical)];
    const auto matches = [&](const char* text, qsizetype length) {
        if (length < static_cast<qsizetype>(prefix.size())) return false;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            char c = text[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            char p = prefix[i];
            if (p >= 'a' && p <= 'z') p = static_cast<char>(p - 'a' + 'A');
            if (c != p) return false;
        }
        return true;
    };
    if (first.length >= static_cast<qsizetype>(prefix.size()) || l.firstPhysical == l.lastPhysical)
        return matches(bytes_.constData() + first.offset, first.length);
    const QByteArray text = Text(line).toUtf8();
    return matches(text.constData(), text.size());
}

qsizetype IcsLines::StartOffset(int line) const
{
    return physical_[static_cast<std::size_t>(lines_[static_cast<std::size_t>(line)].firstPhysical)].offset;
}

qsizetype IcsLines::EndOffset(int line) const
{
    const Physical& p =
        physical_[static_cast<std::size_t>(lines_[static_cast<std::size_t>(line)].lastPhysical)];
    return p.offset + p.length + p.endLength;
}

QByteArray IcsLines::Raw(int first, int last) const
{
    const qsizetype from = StartOffset(first);
    return bytes_.mid(from, EndOffset(last) - from);
}

QByteArray IcsLines::LineEnd() const
{
    for (const Physical& p : physical_)
        if (p.endLength == 1)
            return QByteArrayLiteral("\n");
        else if (p.endLength == 2)
            return QByteArrayLiteral("\r\n");
    return QByteArrayLiteral("\r\n");
}

IcsProperty SplitIcsProperty(const QString& line)
{
    IcsProperty property;
    const qsizetype size = line.size();
    qsizetype i = 0;
    while (i < size && line[i] != u';' && line[i] != u':') ++i;
    property.name = line.left(i).toUpper();
    bool quoted = false;
    qsizetype paramStart = -1;
    for (; i < size; ++i) {
        const QChar c = line[i];
        if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && (c == u';' || c == u':')) {
            if (paramStart >= 0) property.params.append(line.mid(paramStart, i - paramStart));
            if (c == u':') {
                property.value = line.mid(i + 1);
                return property;
            }
            paramStart = i + 1;
        }
    }
    // No value: a line that is no property (or a damaged one) has no value either.
    if (paramStart >= 0) property.params.append(line.mid(paramStart));
    return property;
}

QString IcsDateValue(const QString& line)
{
    const qsizetype colon = line.lastIndexOf(u':');
    return colon < 0 ? QString() : line.mid(colon + 1);
}

bool HasIcsParam(const QStringList& params, QStringView name, QStringView value)
{
    for (const QString& param : params) {
        const qsizetype eq = param.indexOf(u'=');
        if (eq < 0) continue;
        if (QStringView(param).left(eq).compare(name, Qt::CaseInsensitive) == 0 &&
            QStringView(param).mid(eq + 1).compare(value, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString IcsParamValue(const QStringList& params, QStringView name)
{
    for (const QString& param : params) {
        const qsizetype eq = param.indexOf(u'=');
        if (eq < 0 || QStringView(param).left(eq).compare(name, Qt::CaseInsensitive) != 0) continue;
        QString value = param.mid(eq + 1);
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"')) value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

bool HasIcsParamNamed(const QStringList& params, QStringView name)
{
    for (const QString& param : params) {
        const qsizetype eq = param.indexOf(u'=');
        if (eq >= 0 && QStringView(param).left(eq).compare(name, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}
