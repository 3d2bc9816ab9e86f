#include "platform/local_name_codec.h"

#include "common/errors.h"

namespace {

bool IsReserved(char32_t c) { return c >= kLocalNameEscape && c <= kLocalByteStandInBase + 0x7F; }

// The length of the valid UTF-8 sequence at `p`, 0 when it is none (overlong forms, encoded
// surrogates and values past U+10FFFF are no sequences either).
int Utf8SequenceAt(const unsigned char* p, qsizetype left, char32_t* out)
{
    const unsigned char b = p[0];
    int len = 0;
    char32_t c = 0;
    char32_t min = 0;
    if (b < 0x80) {
        *out = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        len = 2, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4, c = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (left < len) return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    *out = c;
    return len;
}

void AppendUtf8(QByteArray& out, char32_t c)
{
    if (c < 0x80) {
        out.append(static_cast<char>(c));
    } else if (c < 0x800) {
        out.append(static_cast<char>(0xC0 | (c >> 6)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(static_cast<char>(0xE0 | (c >> 12)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (c >> 18)));
        out.append(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

QString DecodeLocalPath(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t c = 0;
        const int len = Utf8SequenceAt(p + i, bytes.size() - i, &c);
        if (len == 0) {
            out.append(QChar(static_cast<char16_t>(kLocalByteStandInBase + (p[i] - 0x80))));
            ++i;
            continue;
        }
        if (IsReserved(c)) out.append(QChar(kLocalNameEscape));
        if (c >= 0x10000) {
            out.append(QChar(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10))));
            out.append(QChar(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF))));
        } else {
            out.append(QChar(static_cast<char16_t>(c)));
        }
        i += len;
    }
    return out;
}

QByteArray EncodeLocalPath(const QString& path)
{
    QByteArray out;
    out.reserve(path.size());
    const auto refuse = [&](const char* why) {
        return AgentError(std::string(why) + ": \"" + path.left(300).toStdString() + "\"");
    };
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t u = path[i].unicode();
        if (u == kLocalNameEscape) {
            if (i + 1 == path.size() || !IsReserved(path[i + 1].unicode()))
                throw refuse("a file name holds a stray escape character");
            AppendUtf8(out, path[++i].unicode());
        } else if (u >= kLocalByteStandInBase && u <= kLocalByteStandInBase + 0x7F) {
            out.append(static_cast<char>(0x80 + (u - kLocalByteStandInBase)));
        } else if (QChar::isHighSurrogate(u)) {
            if (i + 1 == path.size() || !path[i + 1].isLowSurrogate())
                throw refuse("a file name holds an unpaired UTF-16 surrogate");
            AppendUtf8(out, QChar::surrogateToUcs4(u, path[++i].unicode()));
        } else if (QChar::isLowSurrogate(u)) {
            throw refuse("a file name holds an unpaired UTF-16 surrogate");
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

bool HasUnpairedSurrogate(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate()) {
            if (i + 1 == text.size() || !text[i + 1].isLowSurrogate()) return true;
            ++i;
        } else if (c.isLowSurrogate()) {
            return true;
        }
    }
    return false;
}
