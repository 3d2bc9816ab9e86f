#include "platform/registry_file.h"

#include <QStringDecoder>
#include <algorithm>
#include <optional>

#include "common/byte_io.h"

namespace {

const QString kHeader = QStringLiteral("Windows Registry Editor Version 5.00");
const QString kOldHeader = QStringLiteral("REGEDIT4");
// Hex data lines are wrapped as the editor does, to stay readable in an 80-column terminal.
constexpr int kHexLineWidth = 76;

bool SamePath(const QStringList& a, const QStringList& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].compare(b[i], Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

bool IsBelow(const QStringList& deeper, const QStringList& path)
{
    if (deeper.size() <= path.size())
        return false;
    return SamePath(deeper.mid(0, path.size()), path);
}

QString DecodeText(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE")) {
        // The editor itself exports UTF-16LE with a byte-order mark.
        QStringDecoder decoder(QStringConverter::Utf16LE);
        return decoder(bytes.mid(2));
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    return QString::fromUtf8(bytes);
}

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// 1 to `maxDigits` hex digits, nothing else.
std::optional<std::uint32_t> ParseHexNumber(QStringView text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return std::nullopt;
    std::uint32_t value = 0;
    for (QChar c : text) {
        const int d = HexDigit(c);
        if (d < 0)
            return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return value;
}

// A quoted text starting at `pos` (on the opening quote). Inside, \\ and \" stand for \ and ";
// any other backslash is kept as written, as careless hand edits ("C:\Temp") mean it.
std::optional<QString> ParseQuoted(QStringView line, qsizetype& pos)
{
    if (pos >= line.size() || line[pos] != u'"')
        return std::nullopt;
    QString out;
    for (qsizetype i = pos + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'\\' && i + 1 < line.size() && (line[i + 1] == u'\\' || line[i + 1] == u'"')) {
            out.append(line[++i]);
        } else if (c == u'"') {
            pos = i + 1;
            return out;
        } else {
            out.append(c);
        }
    }
    return std::nullopt;
}

qsizetype SkipBlanks(QStringView line, qsizetype pos)
{
    while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t'))
        ++pos;
    return pos;
}

// The value name and where its data starts (after "="), or nothing for a line that is no value.
bool ParseNamePrefix(QStringView line, QString* name, qsizetype* dataStart)
{
    qsizetype pos = 0;
    if (line.startsWith(u'@')) {
        name->clear();
        pos = 1;
    } else {
        std::optional<QString> quoted = ParseQuoted(line, pos);
        if (!quoted)
            return false;
        *name = *quoted;
    }
    pos = SkipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != u'=')
        return false;
    *dataStart = SkipBlanks(line, pos + 1);
    return true;
}

bool StartsWithHexData(QStringView data)
{
    return data.startsWith(u"hex", Qt::CaseInsensitive);
}

std::optional<QByteArray> ParseHexBytes(QStringView text)
{
    QByteArray out;
    for (QStringView token : text.split(u',')) {
        token = token.trimmed();
        if (token.isEmpty())
            continue;  // a trailing comma, or one left by a joined continuation
        std::optional<std::uint32_t> b = ParseHexNumber(token, 2);
        if (!b)
            return std::nullopt;
        out.append(static_cast<char>(*b));
    }
    return out;
}

std::optional<RegistryValue> ParseData(QStringView data)
{
    RegistryValue value;
    if (data.startsWith(u'"')) {
        qsizetype pos = 0;
        std::optional<QString> text = ParseQuoted(data, pos);
        if (!text || !data.mid(pos).trimmed().isEmpty())
            return std::nullopt;
        value.type = RegistryType::String;
        value.data = utf16::Bytes(*text) + QByteArray(2, '\0');
        return value;
    }
    if (data.startsWith(u"dword:", Qt::CaseInsensitive)) {
        std::optional<std::uint32_t> n = ParseHexNumber(data.mid(6).trimmed(), 8);
        if (!n)
            return std::nullopt;
        value.type = RegistryType::Dword;
        value.data = QByteArray(4, '\0');
        PutU32(reinterpret_cast<std::uint8_t*>(value.data.data()), *n);
        return value;
    }
    if (data.startsWith(u"hex:", Qt::CaseInsensitive)) {
        value.type = RegistryType::Binary;
        data = data.mid(4);
    } else if (data.startsWith(u"hex(", Qt::CaseInsensitive)) {
        const qsizetype close = data.indexOf(u')');
        if (close < 0 || close + 1 >= data.size() || data[close + 1] != u':')
            return std::nullopt;
        std::optional<std::uint32_t> type = ParseHexNumber(data.mid(4, close - 4), 8);
        if (!type)
            return std::nullopt;
        value.type = static_cast<RegistryType>(*type);
        data = data.mid(close + 2);
    } else {
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = ParseHexBytes(data);
    if (!bytes)
        return std::nullopt;
    value.data = *bytes;
    return value;
}

QString Quote(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out.append(u'"');
    for (QChar c : text) {
        if (c == u'\\' || c == u'"')
            out.append(u'\\');
        out.append(c);
    }
    out.append(u'"');
    return out;
}

// A string is written as quoted text only when reading that text back gives the very same bytes:
// one terminator at the end, no zero inside, nothing that breaks the line, nothing UTF-8 cannot
// carry. Anything else is written as hex(1) so it survives unchanged.
std::optional<QString> PlainStringForm(const QByteArray& data)
{
    if (data.size() < 2 || data.size() % 2 != 0 || !data.endsWith(QByteArray(2, '\0')))
        return std::nullopt;
    const QString text = utf16::FromBytesUpToZero(AsBytes(data));
    if ((text.size() + 1) * 2 != data.size())
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() < 0x20 && c != u'\t')
            return std::nullopt;
        if (c.isHighSurrogate()) {
            if (i + 1 >= text.size() || !text[i + 1].isLowSurrogate())
                return std::nullopt;
            ++i;
        } else if (c.isLowSurrogate()) {
            return std::nullopt;
        }
    }
    return text;
}

QString FormatValue(const QString& name, const RegistryValue& value)
{
    QString line = name.isEmpty() ? QStringLiteral("@=") : Quote(name) + u'=';
    if (value.type == RegistryType::String) {
        if (std::optional<QString> text = PlainStringForm(value.data))
            return line + Quote(*text);
    }
    if (value.type == RegistryType::Dword && value.data.size() == 4) {
        const std::uint32_t n = GetU32(reinterpret_cast<const std::uint8_t*>(value.data.constData()));
        return line + QStringLiteral("dword:%1").arg(n, 8, 16, QLatin1Char('0'));
    }
    if (value.type == RegistryType::Binary)
        line += QStringLiteral("hex:");
    else
        line += QStringLiteral("hex(%1):").arg(static_cast<std::uint32_t>(value.type), 0, 16);
    qsizetype width = line.size();
    for (qsizetype i = 0; i < value.data.size(); ++i) {
        QString token =
            QStringLiteral("%1").arg(static_cast<std::uint8_t>(value.data[i]), 2, 16, QLatin1Char('0'));
        if (i + 1 < value.data.size())
            token += u',';
        if (i > 0 && width + token.size() > kHexLineWidth) {
            line += QStringLiteral("\\\n  ");
            width = 2;
        }
        line += token;
        width += token.size();
    }
    return line;
}

}  // namespace

QStringList SplitRegistryPath(const QString& path)
{
    return path.split(u'\\', Qt::SkipEmptyParts);
}

RegistryDocument RegistryDocument::Parse(const QByteArray& bytes, const QString& rootName)
{
    RegistryDocument doc;
    doc.rootName_ = rootName;
    QStringList lines = DecodeText(bytes).split(u'\n');
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }

    Section* current = nullptr;
    bool headerSeen = false;
    auto keep = [&](const QString& raw) {
        Entry entry;
        entry.raw = raw;
        if (current)
            current->entries.push_back(entry);
        else
            doc.preamble_.push_back(raw);
    };

    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString trimmed = lines[i].trimmed();
        if (trimmed.isEmpty())
            continue;
        if (!headerSeen && !current && doc.preamble_.empty() &&
            (trimmed == kHeader || trimmed.compare(kOldHeader, Qt::CaseInsensitive) == 0)) {
            headerSeen = true;
            continue;
        }
        if (trimmed.startsWith(u';')) {
            keep(lines[i]);
            continue;
        }
        if (trimmed.startsWith(u'[')) {
            Section section;
            section.header = lines[i];
            QString inner = trimmed.mid(1, trimmed.size() - 2);
            if (trimmed.endsWith(u']') && !inner.startsWith(u'-')) {
                const QString prefix = rootName + u'\\';
                bool usable = true;
                if (inner.compare(rootName, Qt::CaseInsensitive) == 0)
                    inner.clear();
                else if (inner.startsWith(prefix, Qt::CaseInsensitive))
                    inner = inner.mid(prefix.size());
                else if (inner.startsWith(QStringLiteral("HKEY_"), Qt::CaseInsensitive))
                    usable = false;  // a key of another root: not ours to read
                if (usable) {
                    const QStringList path = SplitRegistryPath(inner);
                    if (Section* existing = doc.FindSection(path)) {
                        current = existing;  // a repeated section adds to the first one
                        continue;
                    }
                    section.usable = true;
                    section.path = path;
                }
            }
            doc.sections_.push_back(std::move(section));
            current = &doc.sections_.back();
            continue;
        }

        QString logical = trimmed;
        QString raw = lines[i];
        QString name;
        qsizetype dataStart = 0;
        const bool isValue = ParseNamePrefix(logical, &name, &dataStart);
        if (isValue && StartsWithHexData(QStringView(logical).mid(dataStart))) {
            // Long hex data goes on over lines ending in a backslash.
            while (logical.endsWith(u'\\')) {
                logical.chop(1);
                if (i + 1 >= lines.size())
                    break;
                ++i;
                logical += lines[i].trimmed();
                raw += u'\n' + lines[i];
            }
        }
        std::optional<RegistryValue> value;
        if (isValue && current && current->usable)
            value = ParseData(QStringView(logical).mid(dataStart));
        if (!value) {
            keep(raw);
            if (isValue && current && current->usable) {
                current->entries.back().unreadable = true;
                current->entries.back().name = name;
            }
            continue;
        }
        // A later line for the same name wins, as it does when the editor imports a file.
        auto same = std::find_if(current->entries.begin(), current->entries.end(), [&](const Entry& e) {
            return e.parsed && e.name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (same != current->entries.end()) {
            same->value = *value;
        } else {
            Entry entry;
            entry.parsed = true;
            entry.name = name;
            entry.value = *value;
            current->entries.push_back(std::move(entry));
        }
    }
    return doc;
}

QByteArray RegistryDocument::Serialize() const
{
    QString out = kHeader + u'\n';
    for (const QString& raw : preamble_)
        out += raw + u'\n';
    for (const Section& section : sections_) {
        out += u'\n';
        if (section.usable)
            out += u'[' + (section.path.isEmpty() ? rootName_ : section.path.join(u'\\')) +
                   QStringLiteral("]\n");
        else
            out += section.header + u'\n';
        for (const Entry& entry : section.entries)
            out += (entry.parsed ? FormatValue(entry.name, entry.value) : entry.raw) + u'\n';
    }
    return out.toUtf8();
}

RegistryDocument::Section* RegistryDocument::FindSection(const QStringList& path)
{
    for (Section& section : sections_) {
        if (section.usable && SamePath(section.path, path))
            return &section;
    }
    return nullptr;
}

const RegistryDocument::Section* RegistryDocument::FindSection(const QStringList& path) const
{
    return const_cast<RegistryDocument*>(this)->FindSection(path);
}

RegistryDocument::Section& RegistryDocument::SectionFor(const QStringList& path)
{
    if (Section* existing = FindSection(path))
        return *existing;
    Section section;
    section.usable = true;
    section.path = path;
    sections_.push_back(std::move(section));
    return sections_.back();
}

bool RegistryDocument::HasKey(const QStringList& path) const
{
    if (path.isEmpty())
        return true;
    for (const Section& section : sections_) {
        if (section.usable && (SamePath(section.path, path) || IsBelow(section.path, path)))
            return true;
    }
    return false;
}

void RegistryDocument::AddKey(const QStringList& path)
{
    SectionFor(path);
}

const RegistryValue* RegistryDocument::FindValue(const QStringList& path, const QString& name) const
{
    const Section* section = FindSection(path);
    if (!section)
        return nullptr;
    const RegistryValue* found = nullptr;
    for (const Entry& entry : section->entries) {
        if (!entry.Names(name)) continue;
        if (entry.unreadable) return nullptr;
        found = &entry.value;
    }
    return found;
}

bool RegistryDocument::IsUnreadable(const QStringList& path, const QString& name) const
{
    const Section* section = FindSection(path);
    return section && std::any_of(section->entries.begin(), section->entries.end(),
                                  [&](const Entry& e) { return e.unreadable && e.Names(name); });
}

void RegistryDocument::SetValue(const QStringList& path, const QString& name, const RegistryValue& value)
{
    Section& section = SectionFor(path);
    // The value takes the place of its first line; any further line of that name (unreadable
    // ones) goes, or it would still shadow what was just written.
    bool placed = false;
    for (auto it = section.entries.begin(); it != section.entries.end();) {
        if (!it->Names(name)) {
            ++it;
        } else if (placed) {
            it = section.entries.erase(it);
        } else {
            it->parsed = true;
            it->unreadable = false;
            it->value = value;
            it->raw.clear();
            placed = true;
            ++it;
        }
    }
    if (placed) return;
    Entry entry;
    entry.parsed = true;
    entry.name = name;
    entry.value = value;
    section.entries.push_back(std::move(entry));
}

bool RegistryDocument::RemoveValue(const QStringList& path, const QString& name)
{
    Section* section = FindSection(path);
    if (!section)
        return false;
    const auto before = section->entries.size();
    std::erase_if(section->entries, [&](const Entry& e) { return e.Names(name); });
    return section->entries.size() != before;
}
