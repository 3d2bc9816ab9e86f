#include "common/xml_characters.h"

namespace {

enum class Fate { Keep, LineBreak, Drop };

Fate FateOf(const QChar* at, const QChar* end, int& width)
{
    width = 1;
    const char16_t c = at->unicode();
    if (c < 0x20) {
        if (c == u'\t' || c == u'\n' || c == u'\r') return Fate::Keep;
        return (c == 0x0B || c == 0x0C) ? Fate::LineBreak : Fate::Drop;
    }
    if (c == 0xFFFE || c == 0xFFFF) return Fate::Drop;
    if (QChar::isHighSurrogate(c)) {
        if (at + 1 < end && (at + 1)->isLowSurrogate()) {
            width = 2;
            return Fate::Keep;
        }
        return Fate::Drop;
    }
    if (QChar::isLowSurrogate(c)) return Fate::Drop;
    return Fate::Keep;
}

}  // namespace

bool HasOnlyXmlCharacters(const QString& text)
{
    const QChar* at = text.constData();
    const QChar* end = at + text.size();
    while (at < end) {
        int width = 1;
        if (FateOf(at, end, width) != Fate::Keep) return false;
        at += width;
    }
    return true;
}

QString XmlCharactersOnly(const QString& text)
{
    if (HasOnlyXmlCharacters(text)) return text;
    QString out;
    out.reserve(text.size());
    const QChar* at = text.constData();
    const QChar* end = at + text.size();
    while (at < end) {
        int width = 1;
        switch (FateOf(at, end, width)) {
            case Fate::Keep:
                out.append(at, width);
                break;
            case Fate::LineBreak:
                out.append(QLatin1Char('\n'));
                break;
            case Fate::Drop:
                break;
        }
        at += width;
    }
    return out;
}
