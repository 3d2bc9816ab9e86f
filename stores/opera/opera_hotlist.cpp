#include "stores/opera/opera_hotlist.h"

#include <QList>
#include <QStringDecoder>
#include <QStringView>
#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

namespace {

const QString kFolderLine = QStringLiteral("#FOLDER");
const QString kCloseLine = QStringLiteral("-");

bool IsEmptyLine(const AdrEntry& e)
{
    return !e.IsBlock() && e.line.text.isEmpty();
}

// The text after "KEY=" when the key line's text after its first character begins so.
bool KeyLineValue(const QString& line, const QString& key, QStringView* value)
{
    const QStringView rest = QStringView(line).sliced(std::min<qsizetype>(1, line.size()));
    // Looked up for every key of every item at each check: the cheap tests first.
    if (rest.size() <= key.size() || rest[key.size()] != QLatin1Char('=') || rest[0] != key[0] ||
        rest.first(key.size()) != QStringView(key))
        return false;
    if (value) *value = rest.sliced(key.size() + 1);
    return true;
}

// Where the next LF is from `from` on, or -1. Most lines of a hotlist are short: a plain look
// at their first units costs less than a call into the library's search, which wins on the long
// lines of notes.
qsizetype NextLf(const QChar* data, qsizetype from, qsizetype size)
{
    const qsizetype quick = std::min(size, from + 64);
    for (qsizetype i = from; i < quick; ++i)
        if (data[i] == QLatin1Char('\n')) return i;
    if (quick == size) return -1;
    const qsizetype found = QStringView(data + quick, size - quick).indexOf(QLatin1Char('\n'));
    return found < 0 ? -1 : quick + found;
}

}  // namespace

QString AdrLineBreak()
{
    return QString(2, kAdrBreakChar);
}

QString ToAdrValue(const QString& text)
{
    if (!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'))) return text;
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) ++i;
            out += AdrLineBreak();
        } else if (c == QLatin1Char('\n')) {
            out += AdrLineBreak();
        } else {
            out += c;
        }
    }
    return out;
}

QString FromAdrValue(const QString& value)
{
    if (!value.contains(kAdrBreakChar)) return value;
    QString text = value;
    return text.replace(AdrLineBreak(), QStringLiteral("\n"));
}

AdrDocument::AdrDocument(QString itemStartLine) : itemStart_(std::move(itemStartLine))
{
    // The first header line of a file written here ends in CR CR LF.
    top_.push_back({-1, {QStringLiteral("Opera Hotlist version 2.0\r"), AdrLineEnd::CrLf}});
    top_.push_back({-1, {QStringLiteral("Options: encoding = utf8, version=3"), AdrLineEnd::CrLf}});
    top_.push_back({-1, {QString(), AdrLineEnd::CrLf}});
}

void AdrLineReader::AddLines(QByteArrayView bytes)
{
    if (bytes.isEmpty()) return;
    // Each line must be UTF-8 by itself: a character cut by the line's end (or by the file's)
    // would otherwise be dropped or carried into the next line, and the next rewrite would lose
    // its bytes. LF and CR cannot occur inside a character, so the lines are all valid exactly
    // when their bytes together are.
    if (!bytes.isValidUtf8()) {
        std::size_t line = read_.lines.size() + 1;
        for (QByteArrayView rest = bytes;; ++line) {
            const qsizetype lf = rest.indexOf('\n');
            if (!rest.first(lf < 0 ? rest.size() : lf).isValidUtf8() || lf < 0) break;
            rest = rest.sliced(lf + 1);
        }
        throw AdrParseError(QStringLiteral("line %1 is not UTF-8").arg(line).toStdString());
    }
    // A byte-order mark is kept as a character wherever it stands (opening the file, it is the
    // first line's first character), so the file is written back as it was.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    const QChar* data = text.constData();
    const qsizetype size = text.size();
    qsizetype at = 0;
    while (at < size) {
        const qsizetype lfAt = NextLf(data, at, size);
        if (lfAt < 0) {
            read_.lines.push_back({QString::fromRawData(data + at, size - at), AdrLineEnd::None});
            break;
        }
        const qsizetype lf = lfAt - at;
        qsizetype length = lf;
        AdrLineEnd end = AdrLineEnd::Lf;
        if (length > 0 && data[at + length - 1] == QLatin1Char('\r')) {
            --length;
            end = AdrLineEnd::CrLf;
        }
        read_.lines.push_back({QString::fromRawData(data + at, length), end});
        at += lf + 1;
    }
    // Moving the buffer keeps its characters where the lines point.
    read_.buffers.push_back(std::move(text));
}

qsizetype AdrLineReader::ReadLines(QByteArrayView bytes)
{
    const void* last = ::memrchr(bytes.data(), '\n', static_cast<std::size_t>(bytes.size()));
    if (!last) return 0;
    const qsizetype complete = static_cast<const char*>(last) - bytes.data() + 1;
    AddLines(bytes.first(complete));
    return complete;
}

qsizetype AdrLineReader::FeedCompleteLines(QByteArrayView bytes)
{
    if (!partial_.isEmpty())
        throw std::logic_error("AdrLineReader: FeedCompleteLines after an unfinished Feed");
    return ReadLines(bytes);
}

void AdrLineReader::Feed(QByteArrayView bytes)
{
    if (!partial_.isEmpty()) {
        const char* found =
            static_cast<const char*>(std::memchr(bytes.data(), '\n', static_cast<std::size_t>(bytes.size())));
        if (!found) {
            partial_.append(bytes);
            return;
        }
        const qsizetype head = found - bytes.data() + 1;
        partial_.append(bytes.first(head));
        ReadLines(partial_);
        partial_.clear();
        bytes = bytes.sliced(head);
    }
    partial_.append(bytes.sliced(ReadLines(bytes)));
}

AdrLines AdrLineReader::Finish()
{
    AddLines(partial_);
    partial_.clear();
    return std::exchange(read_, {});
}

AdrDocument AdrDocument::Parse(const QByteArray& bytes, const QString& itemStartLine)
{
    AdrLineReader reader;
    reader.Feed(bytes);
    return Parse(reader.Finish(), itemStartLine);
}

AdrDocument AdrDocument::Parse(AdrLines read, const QString& itemStartLine)
{
    AdrDocument doc(itemStartLine);
    // A file of no bytes is an empty hotlist: what a store writes into it gets a new file's
    // header, without which Opera would not read it.
    if (read.lines.empty()) return doc;
    std::vector<AdrLine>& lines = read.lines;
    doc.buffers_ = std::move(read.buffers);
    doc.top_.clear();
    doc.style_ = AdrLineEnd::CrLf;
    for (const AdrLine& l : lines)
        if (l.end != AdrLineEnd::None) {
            doc.style_ = l.end;
            break;
        }

    int current = kTopLevel;
    std::vector<int> openFolders;
    const std::size_t n = lines.size();
    std::size_t i = 0;
    while (i < n) {
        AdrLine& line = lines[i];
        const bool folder = line.text == kFolderLine;
        const bool item = !folder && !itemStartLine.isEmpty() && line.text == itemStartLine;
        if (folder || item) {
            std::size_t j = i + 1;
            while (j < n && !lines[j].text.isEmpty()) ++j;
            if (j == n)
                throw AdrParseError(
                    QStringLiteral("line %1: the block \"%2\" that starts there runs to the end "
                                   "of the file")
                        .arg(i + 1)
                        .arg(line.text)
                        .toStdString());
            AdrBlock block;
            block.kind = folder ? AdrBlockKind::Folder : AdrBlockKind::Item;
            block.start = std::move(line);
            block.keys.reserve(j - i - 1);
            for (std::size_t k = i + 1; k < j; ++k) block.keys.push_back(std::move(lines[k]));
            block.parent = current;
            const int index = static_cast<int>(doc.blocks_.size());
            doc.blocks_.push_back(std::move(block));
            doc.MutableLevel(current).push_back({index, {}});
            if (folder) {
                // The empty line that ends the key lines opens the folder's content.
                doc.blocks_.back().content.push_back({-1, std::move(lines[j])});
                openFolders.push_back(static_cast<int>(i + 1));
                current = index;
            } else {
                doc.MutableLevel(current).push_back({-1, std::move(lines[j])});
            }
            i = j + 1;
        } else if (line.text == kCloseLine && current != kTopLevel) {
            doc.blocks_[static_cast<std::size_t>(current)].close = std::move(line);
            current = doc.blocks_[static_cast<std::size_t>(current)].parent;
            openFolders.pop_back();
            ++i;
        } else {
            doc.MutableLevel(current).push_back({-1, std::move(line)});
            ++i;
        }
    }
    if (current != kTopLevel)
        throw AdrParseError(QStringLiteral("line %1: the folder that starts there has no closing \"-\" line")
                                .arg(openFolders.back())
                                .toStdString());
    return doc;
}

QByteArray AdrDocument::Serialize() const
{
    QString out;
    bool pendingEnd = false;
    const QString styleEnd = style_ == AdrLineEnd::CrLf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    auto put = [&](const AdrLine& line) {
        if (pendingEnd) out += styleEnd;
        out += line.text;
        pendingEnd = line.end == AdrLineEnd::None;
        if (line.end == AdrLineEnd::CrLf) out += QLatin1String("\r\n");
        if (line.end == AdrLineEnd::Lf) out += QLatin1Char('\n');
    };

    // Depth first without recursion: each frame is a level and the next entry to write.
    struct Frame {
        const std::vector<AdrEntry>* level;
        std::size_t next;
        int folder;
    };
    std::vector<Frame> stack{{&top_, 0, kTopLevel}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.level->size()) {
            if (f.folder != kTopLevel) put(Block(f.folder).close);
            stack.pop_back();
            continue;
        }
        const AdrEntry& e = (*f.level)[f.next++];
        if (!e.IsBlock()) {
            put(e.line);
            continue;
        }
        const AdrBlock& b = Block(e.block);
        put(b.start);
        for (const AdrLine& k : b.keys) put(k);
        if (b.kind == AdrBlockKind::Folder) stack.push_back({&b.content, 0, e.block});
    }
    return out.toUtf8();
}

const std::vector<AdrEntry>& AdrDocument::Level(int folder) const
{
    return folder == kTopLevel ? top_ : Block(folder).content;
}

std::vector<AdrEntry>& AdrDocument::MutableLevel(int folder)
{
    return folder == kTopLevel ? top_ : blocks_[static_cast<std::size_t>(folder)].content;
}

AdrLine AdrDocument::NewLine(QString text) const
{
    return {std::move(text), style_};
}

QString AdrDocument::Value(int block, const QString& key) const
{
    return ValueView(block, key).toString();
}

QStringView AdrDocument::ValueView(int block, const QString& key) const
{
    const auto& keys = Block(block).keys;
    QStringView value;
    for (auto it = keys.rbegin(); it != keys.rend(); ++it)
        if (KeyLineValue(it->text, key, &value)) return value;
    return {};
}

void AdrDocument::ValueViews(int block, const QString* keys, std::size_t count, QStringView* values) const
{
    std::fill(values, values + count, QStringView());
    // Forwards, each match over the one before: the last line of a key wins, as in ValueView. A
    // line matches one key at most, as no key holds "=".
    for (const AdrLine& l : Block(block).keys)
        for (std::size_t k = 0; k < count; ++k)
            if (KeyLineValue(l.text, keys[k], &values[k])) break;
}

bool AdrDocument::HasKey(int block, const QString& key) const
{
    for (const AdrLine& l : Block(block).keys)
        if (KeyLineValue(l.text, key, nullptr)) return true;
    return false;
}

bool AdrDocument::IsTrash(int block) const
{
    const AdrBlock& b = Block(block);
    if (b.kind != AdrBlockKind::Folder) return false;
    for (const AdrLine& l : b.keys)
        if (QStringView(l.text).sliced(std::min<qsizetype>(1, l.text.size())) ==
            QLatin1String("TRASH FOLDER=YES"))
            return true;
    return false;
}

void AdrDocument::SetValue(int block, const QString& key, const QString& value)
{
    auto& keys = blocks_[static_cast<std::size_t>(block)].keys;
    const QString line = QLatin1Char('\t') + key + QLatin1Char('=') + value;
    for (auto it = keys.rbegin(); it != keys.rend(); ++it)
        if (KeyLineValue(it->text, key, nullptr)) {
            it->text = line;
            return;
        }
    keys.push_back(NewLine(line));
}

int AdrDocument::NewBlock(AdrBlockKind kind, const std::vector<std::pair<QString, QString>>& keys)
{
    AdrBlock b;
    b.kind = kind;
    b.start = NewLine(kind == AdrBlockKind::Folder ? kFolderLine : itemStart_);
    for (const auto& [key, value] : keys)
        b.keys.push_back(NewLine(QLatin1Char('\t') + key + QLatin1Char('=') + value));
    if (kind == AdrBlockKind::Folder) {
        b.content.push_back({-1, NewLine({})});
        b.close = NewLine(kCloseLine);
    }
    b.removed = true;  // in no level until inserted
    blocks_.push_back(std::move(b));
    return static_cast<int>(blocks_.size()) - 1;
}

void AdrDocument::Insert(int block, int folder, bool afterLastItem)
{
    std::vector<AdrEntry>& level = MutableLevel(folder);
    std::size_t pos = level.size();
    if (afterLastItem) {
        for (std::size_t k = level.size(); k-- > 0;)
            if (level[k].IsBlock() && Block(level[k].block).kind == AdrBlockKind::Item) {
                pos = k + 1;
                if (pos < level.size() && IsEmptyLine(level[pos])) ++pos;
                break;
            }
    }
    // Every block stands between empty lines: the one before separates it from what precedes,
    // the one after ends an item's key lines.
    if (pos == 0 || !IsEmptyLine(level[pos - 1])) {
        level.insert(level.begin() + static_cast<std::ptrdiff_t>(pos), {-1, NewLine({})});
        ++pos;
    }
    // A last line without an end gets one, since lines now follow it.
    if (pos > 0 && level[pos - 1].line.end == AdrLineEnd::None) level[pos - 1].line.end = style_;
    level.insert(level.begin() + static_cast<std::ptrdiff_t>(pos), {block, {}});
    if (pos + 1 >= level.size() || !IsEmptyLine(level[pos + 1]))
        level.insert(level.begin() + static_cast<std::ptrdiff_t>(pos + 1), {-1, NewLine({})});
    AdrBlock& b = blocks_[static_cast<std::size_t>(block)];
    b.parent = folder;
    b.removed = false;
}

void AdrDocument::Detach(int block)
{
    AdrBlock& b = blocks_[static_cast<std::size_t>(block)];
    if (b.removed) return;
    std::vector<AdrEntry>& level = MutableLevel(b.parent);
    const auto it =
        std::find_if(level.begin(), level.end(), [&](const AdrEntry& e) { return e.block == block; });
    if (it == level.end()) return;
    const std::size_t idx = static_cast<std::size_t>(it - level.begin());
    level.erase(it);
    // Two empty lines meeting where the block stood become one.
    if (idx > 0 && idx < level.size() && IsEmptyLine(level[idx - 1]) && IsEmptyLine(level[idx]))
        level.erase(level.begin() + static_cast<std::ptrdiff_t>(idx - 1));
    b.removed = true;
}

void AdrDocument::Remove(int block)
{
    Detach(block);
}

void AdrDocument::RemoveAll(const std::vector<int>& blocks)
{
    std::vector<char> marked(blocks_.size(), 0);
    std::vector<int> levels;
    for (int b : blocks) {
        if (blocks_[static_cast<std::size_t>(b)].removed) continue;
        marked[static_cast<std::size_t>(b)] = 1;
        levels.push_back(blocks_[static_cast<std::size_t>(b)].parent);
    }
    std::sort(levels.begin(), levels.end());
    levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
    // One pass over each level that loses blocks, so emptying a large level stays linear.
    for (int folder : levels) {
        std::vector<AdrEntry>& level = MutableLevel(folder);
        std::vector<AdrEntry> kept;
        kept.reserve(level.size());
        bool removedJustBefore = false;
        for (AdrEntry& e : level) {
            if (e.IsBlock() && marked[static_cast<std::size_t>(e.block)]) {
                blocks_[static_cast<std::size_t>(e.block)].removed = true;
                removedJustBefore = true;
                continue;
            }
            if (removedJustBefore && IsEmptyLine(e) && !kept.empty() && IsEmptyLine(kept.back())) {
                removedJustBefore = false;
                continue;
            }
            removedJustBefore = false;
            kept.push_back(std::move(e));
        }
        level = std::move(kept);
    }
}

std::int64_t AdrDocument::LargestIdNumber() const
{
    std::int64_t largest = 0;
    // Removed blocks count too, so that an identifier is never given twice in one session.
    for (int b = 0; b < BlockCount(); ++b) {
        bool ok = false;
        const std::int64_t id = Value(b, QStringLiteral("ID")).toLongLong(&ok);
        if (ok && id > largest) largest = id;
    }
    return largest;
}

std::int64_t AdrDocument::NextIdNumber(int count) const
{
    const std::int64_t largest = LargestIdNumber();
    if (count < 1 || largest > std::numeric_limits<std::int64_t>::max() - count)
        throw AgentError(QStringLiteral("the hotlist holds the ID number %1 already: no larger one is left for "
                                        "a new item")
                             .arg(largest)
                             .toStdString());
    return largest + 1;
}
