#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <vector>

#include "common/errors.h"

// Opera's hotlist files ("bookmarks.adr", "contacts.adr", "notes.adr"): UTF-8 text, a header,
// then blocks. A block is a start line ("#FOLDER", or the file's item line "#URL", "#CONTACT",
// "#NOTE") followed by key lines (a TAB, KEY=value) up to an empty line. A folder's blocks follow
// its key lines up to a closing "-" line.
//
// The document keeps every line it read, in its place and with its own line end: keys and blocks
// no store knows (ICON, a note's URL=, separators, personal-bar keys) survive a rewrite, and a
// file read and written without a change comes back byte for byte. Stores change single key
// lines and insert, move or remove whole blocks; lines they add take the file's line end.
//
// Blocks live in one flat table and levels list them by index, so neither parsing nor walking
// nor destroying a deeply nested file recurses.

// Inside a value, the two characters U+0002 U+0002 stand for one line break.
inline constexpr QChar kAdrBreakChar = QChar(0x0002);
QString AdrLineBreak();

// A value as a store writes it: CR LF, CR and LF each become one AdrLineBreak, so no value can
// end its line and start a block of its own.
QString ToAdrValue(const QString& text);

// A stored value as the peer reads it: every AdrLineBreak becomes a line feed.
QString FromAdrValue(const QString& value);

enum class AdrLineEnd : std::uint8_t { None, Lf, CrLf };

struct AdrLine {
    QString text;
    AdrLineEnd end = AdrLineEnd::Lf;
};

enum class AdrBlockKind : std::uint8_t { Folder, Item };

// One element of a level: a line that belongs to no block (header, empty line, separator or
// other unknown block), or a block of the table.
struct AdrEntry {
    int block = -1;  // index into the block table, or -1 for a plain line
    AdrLine line;
    bool IsBlock() const { return block >= 0; }
};

struct AdrBlock {
    AdrBlockKind kind = AdrBlockKind::Item;
    AdrLine start;
    std::vector<AdrLine> keys;
    std::vector<AdrEntry> content;  // folders: everything between the key lines and "-"
    AdrLine close;                  // folders: the "-" line
    int parent = -1;                // the folder holding it; -1 at the top level
    bool removed = false;
};

// A file that cannot be parsed: a block or folder that runs to the end, or bytes that are not
// UTF-8. The text names the file's line.
class AdrParseError : public AgentError {
public:
    using AgentError::AgentError;
};

// Lines as AdrLineReader gives them: each line's text refers into the decoded buffers held
// beside them (no allocation per line), so the lines are used only while the buffers live; a
// document keeps both. A line a store changes gets a text of its own.
struct AdrLines {
    std::vector<AdrLine> lines;
    std::vector<QString> buffers;
};

// Splits a hotlist file's bytes into lines as they arrive, in pieces of any size, so a large file
// never needs a copy of its own bytes in memory: a CR right before the LF belongs to the end, any
// other CR stays in the line; the last line needs no LF. Throws AdrParseError for a line that is
// not UTF-8 by itself (a character cut by its end included).
class AdrLineReader {
public:
    void Feed(QByteArrayView bytes);
    // Reads the complete lines at the start of `bytes` and returns how many bytes they took;
    // the unfinished rest is left to the caller, who hands it in again with what follows. A
    // caller that owns its buffer so avoids copying a line that pieces split. Not to be called
    // while a Feed left a line unfinished.
    qsizetype FeedCompleteLines(QByteArrayView bytes);
    // The lines read, the unfinished last one included; the reader is empty afterwards.
    AdrLines Finish();

private:
    // Decodes whole lines (the last one may lack its LF) into one buffer.
    void AddLines(QByteArrayView bytes);
    // Reads the complete lines at the start of `bytes`; returns the bytes they took.
    qsizetype ReadLines(QByteArrayView bytes);

    AdrLines read_;
    QByteArray partial_;  // the start of a line whose end has not arrived yet
};

class AdrDocument {
public:
    static constexpr int kTopLevel = -1;

    // An empty file of the layout a new file gets: the two header lines (the first one ending
    // in CR CR LF), one empty line, CR LF line ends.
    explicit AdrDocument(QString itemStartLine = {});

    // Parses the file's bytes; `itemStartLine` is the block line of the file's items. Throws
    // AdrParseError for bytes that are not UTF-8 and for a block or folder that runs to the end.
    // No bytes at all give the document of a new file.
    static AdrDocument Parse(const QByteArray& bytes, const QString& itemStartLine);
    // The same over lines split by AdrLineReader.
    static AdrDocument Parse(AdrLines lines, const QString& itemStartLine);
    QByteArray Serialize() const;

    const QString& ItemStartLine() const { return itemStart_; }

    const AdrBlock& Block(int index) const { return blocks_[static_cast<std::size_t>(index)]; }
    int BlockCount() const { return static_cast<int>(blocks_.size()); }
    // The entries of the top level (kTopLevel) or of a folder.
    const std::vector<AdrEntry>& Level(int folder) const;

    // The value of a block's key: the text after "KEY=" on the last key line whose text after
    // its first character begins so; empty when there is none.
    QString Value(int block, const QString& key) const;
    // The same without a copy: valid until the document changes.
    QStringView ValueView(int block, const QString& key) const;
    // The values of `count` keys at once, each as ValueView gives it, in one pass over the block's
    // key lines: a checksum over many keys of every item would otherwise walk each block's lines
    // once per key.
    void ValueViews(int block, const QString* keys, std::size_t count, QStringView* values) const;
    bool HasKey(int block, const QString& key) const;
    // A folder whose key lines hold "TRASH FOLDER=YES".
    bool IsTrash(int block) const;

    // Sets the last line of that key to TAB KEY=value, or appends such a line. The value is
    // taken as it is: stores pass it through ToAdrValue first.
    void SetValue(int block, const QString& key, const QString& value);

    // A new block with these key lines (each "KEY=value", TAB added), not yet in any level.
    int NewBlock(AdrBlockKind kind, const std::vector<std::pair<QString, QString>>& keys);
    // Puts a block that is in no level at the end of a level, or right after the level's last
    // item when `afterLastItem` is set, with empty lines around it as the format wants them.
    void Insert(int block, int folder, bool afterLastItem = false);
    // Takes a block (and everything in it) out of its level; it can be inserted elsewhere.
    void Detach(int block);
    // Detaches the block for good.
    void Remove(int block);
    // Removes many blocks with one pass over each level they stand in.
    void RemoveAll(const std::vector<int>& blocks);

    // The largest number of an "ID=" key of any block (folders, trash and blocks removed in this
    // session included); 0 when none.
    std::int64_t LargestIdNumber() const;
    // The first of `count` new "ID=" numbers, one past LargestIdNumber. Throws AgentError when
    // the last of them would not fit in 64 bits: a file may hold the largest number already.
    std::int64_t NextIdNumber(int count = 1) const;

private:
    std::vector<AdrEntry>& MutableLevel(int folder);
    AdrLine NewLine(QString text) const;

    std::vector<QString> buffers_;  // what the lines read refer into
    std::vector<AdrBlock> blocks_;
    std::vector<AdrEntry> top_;
    QString itemStart_;
    AdrLineEnd style_ = AdrLineEnd::CrLf;  // the end lines added by the stores take
};
