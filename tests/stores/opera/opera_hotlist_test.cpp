// Opera hotlist files as a document: what is read, what a rewrite keeps, what a store adds.
#include "stores/opera/opera_hotlist.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "stores/opera/opera_hotlist_file.h"
#include "stores/opera/opera_visible_items.h"

namespace {

QByteArray RealFile(const char* name)
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/opera-hotlist/") + QString::fromUtf8(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

AdrDocument ParseText(const QByteArray& bytes, const char* itemLine = "#URL")
{
    return AdrDocument::Parse(bytes, QString::fromLatin1(itemLine));
}

// The item blocks of the whole document in file order.
std::vector<int> Items(const AdrDocument& doc)
{
    std::vector<int> items;
    for (int b = 0; b < doc.BlockCount(); ++b)
        if (doc.Block(b).kind == AdrBlockKind::Item && !doc.Block(b).removed) items.push_back(b);
    return items;
}

TEST(OperaHotlistTest, RealFilesComeBackByteForByte)
{
    const struct {
        const char* file;
        const char* itemLine;
        int items;
    } cases[] = {
        {"bookmarks-default-opera11.adr", "#URL", 0},
        {"bookmarks-opera12-linux.adr", "#URL", 0},
        {"contacts-opera12-linux-anonymised.adr", "#CONTACT", 76},
        {"notes-opera12-linux-masked-excerpt.adr", "#NOTE", 210},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QByteArray bytes = RealFile(c.file);
        const AdrDocument doc = ParseText(bytes, c.itemLine);
        if (c.items) {
            EXPECT_EQ(static_cast<int>(Items(doc).size()), c.items);
        }
        const QByteArray once = doc.Serialize();
        EXPECT_EQ(once, bytes);
        EXPECT_EQ(ParseText(once, c.itemLine).Serialize(), once);
    }
}

TEST(OperaHotlistTest, LongLinesAreReadWhole)
{
    const AdrDocument notes = ParseText(RealFile("notes-opera12-linux-masked-excerpt.adr"), "#NOTE");
    qsizetype longest = 0;
    for (int b : Items(notes))
        longest = std::max(longest, notes.Value(b, QStringLiteral("NAME")).toUtf8().size());
    EXPECT_GE(longest, 19559 - int(sizeof("\tNAME=") - 1));

    const QString value(100'000, QLatin1Char('x'));
    const QByteArray file =
        "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n#NOTE\n\tNAME=" + value.toUtf8() +
        "\n\tUNIQUEID=AB\n\n#NOTE\n\tNAME=after\n\n";
    const AdrDocument doc = ParseText(file, "#NOTE");
    ASSERT_EQ(Items(doc).size(), 2u);
    EXPECT_EQ(doc.Value(Items(doc)[0], QStringLiteral("NAME")), value);
    EXPECT_EQ(doc.Value(Items(doc)[1], QStringLiteral("NAME")), QStringLiteral("after"));

    // From a file, read in pieces: lines that pieces cut, and one longer than a piece, whole.
    QByteArray large = "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n";
    for (int i = 0; i < 40; ++i)
        large += "#NOTE\n\tNAME=" + QByteArray(30'000 + 997 * i, 'a' + i % 26) +
                 "\xC3\xA9\n\tUNIQUEID=" + QByteArray::number(i) + "\n\n";
    large += "#NOTE\n\tNAME=" + QByteArray(700'000, 'z') + "\r\n\n#NOTE\n\tNAME=last\n\n";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("notes.adr"));
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(large);
    out.close();
    OperaHotlistFile read = OperaHotlistFile::AtPath(path, QStringLiteral("#NOTE"));
    read.Open();
    const std::vector<int> items = Items(read.Document());
    ASSERT_EQ(items.size(), 42u);
    EXPECT_EQ(read.Document().Value(items[40], QStringLiteral("NAME")).size(), 700'000);
    EXPECT_EQ(read.Document().Serialize(), large);
}

// Files are read in pieces: a piece may end inside a line, between its CR and LF, or inside a
// character of several bytes, and the lines must come out as from the whole file.
TEST(OperaHotlistTest, PiecesSplitAnywhereGiveTheSameLines)
{
    const QByteArray file =
        "\xEF\xBB\xBFOpera Hotlist version "
        "2.0\r\r\nOptions\r\n\n#NOTE\r\n\tNAME=\xC3\xA9t\xE2\x82\xAC\x02\x02x"
        "\r\n\tUNIQUEID=1\n\nlast";
    AdrLineReader whole;
    whole.Feed(file);
    const AdrLines wholeRead = whole.Finish();
    const std::vector<AdrLine>& expected = wholeRead.lines;
    ASSERT_EQ(expected.size(), 8u);
    EXPECT_EQ(expected[0].text.front(), QChar(0xFEFF));  // kept, so the file is written back as it was
    EXPECT_EQ(expected[4].text, QStringLiteral("\tNAME=\u00E9t\u20AC\x02\x02x"));
    EXPECT_EQ(expected[7].end, AdrLineEnd::None);
    EXPECT_EQ(expected[0].text.back(), QLatin1Char('\r'));  // only the CR right before the LF ends the line
    for (qsizetype piece = 1; piece <= 7; ++piece) {
        SCOPED_TRACE(piece);
        AdrLineReader reader;
        for (qsizetype at = 0; at < file.size(); at += piece)
            reader.Feed(QByteArrayView(file).sliced(at, std::min(piece, file.size() - at)));
        const AdrLines read = reader.Finish();
        const std::vector<AdrLine>& lines = read.lines;
        ASSERT_EQ(lines.size(), expected.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].text, expected[i].text) << i;
            EXPECT_EQ(lines[i].end, expected[i].end) << i;
        }
    }
}

TEST(OperaHotlistTest, ReadingRules)
{
    const QByteArray file =
        "Opera Hotlist version 2.0\n"
        "Options: encoding = utf8, version=3\n"
        "\n"
        "#URL\n"
        "\t\tNAME=two tabs\n"  // first character dropped, the rest begins with a TAB: no key
        "NAME=no tab\n"        // first character dropped: "AME=no tab"
        "\tURL=a\n"
        "\n"
        "#URL\n"
        "\tNAME=URL=looks like a key\n"
        "\tSHORT NAME=short\n"
        "\tNAME=later wins\n"
        "\n"
        "#FOLDER\n"
        "\tNAME=F1\n"
        "\n"
        "-\n"
        "#FOLDER\n"  // right after "-": still a folder
        "\tNAME=F2\n"
        "\tTRASH FOLDER=YES\n"
        "\n"
        "#SEPERATOR\n"
        "\n"
        "-\n"
        "-\n";  // closes nothing: a plain line
    const AdrDocument doc = ParseText(file);
    const std::vector<int> items = Items(doc);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_FALSE(doc.HasKey(items[0], QStringLiteral("NAME")));
    EXPECT_EQ(doc.Value(items[0], QStringLiteral("URL")), QStringLiteral("a"));
    EXPECT_EQ(doc.Value(items[1], QStringLiteral("NAME")), QStringLiteral("later wins"));
    EXPECT_EQ(doc.Value(items[1], QStringLiteral("URL")), QString());

    int folders = 0;
    for (const AdrEntry& e : doc.Level(AdrDocument::kTopLevel))
        if (e.IsBlock() && doc.Block(e.block).kind == AdrBlockKind::Folder) {
            ++folders;
            EXPECT_EQ(doc.IsTrash(e.block),
                      doc.Value(e.block, QStringLiteral("NAME")) == QStringLiteral("F2"));
        }
    EXPECT_EQ(folders, 2);
    EXPECT_EQ(doc.Serialize(), file);
}

TEST(OperaHotlistTest, BrokenFilesAreRefusedNamingTheLine)
{
    const struct {
        const char* what;
        QByteArray bytes;
        const char* message;
    } cases[] = {
        {"item to the end", "h\n\n#URL\n\tNAME=x\n\tURL=y", "line 3"},
        {"folder keys to the end", "h\n\n#FOLDER\n\tNAME=x\n", "line 3"},
        {"folder without its closing line", "h\n\n#FOLDER\n\tNAME=x\n\n#URL\n\tNAME=y\n\n", "line 3"},
        {"not UTF-8", "h\n\n#URL\n\tNAME=\xff\xfe\n\n", "line 4"},
        // A character cut by its line's end must not be carried into the next line nor dropped.
        {"a character cut at a line's end", "h\n\n#URL\n\tNAME=caf\xE9\n\n", "line 4"},
        {"a character cut at a CR LF", "h\r\n\r\n#URL\r\n\tNAME=\xE2\x82\r\n\xAC\r\n\r\n", "line 4"},
        {"a file cut inside its last character", "h\n\n#URL\n\tNAME=x\n\n\xC3\xA9\xE2\x82", "line 6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            (void)ParseText(c.bytes);
            ADD_FAILURE() << "parsed";
        } catch (const AdrParseError& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QString::fromLatin1(c.message))) << e.what();
        }
        // Read a byte at a time, as a file arrives in pieces, the same.
        AdrLineReader reader;
        EXPECT_THROW(
            {
                for (const char byte : c.bytes) reader.Feed(QByteArrayView(&byte, 1));
                (void)AdrDocument::Parse(reader.Finish(), QStringLiteral("#URL"));
            },
            AdrParseError);
    }
}

TEST(OperaHotlistTest, ValuesWithLineBreaksStayOneValue)
{
    EXPECT_EQ(ToAdrValue(QStringLiteral("a\r\nb\rc\nd")),
              QStringLiteral("a") + AdrLineBreak() + "b" + AdrLineBreak() + "c" + AdrLineBreak() + "d");

    AdrDocument doc(QStringLiteral("#URL"));
    const QString evil = QStringLiteral("x\r\n-\n#URL\n\tURL=evil");
    const int b = doc.NewBlock(AdrBlockKind::Item, {{QStringLiteral("NAME"), ToAdrValue(evil)}});
    doc.Insert(b, AdrDocument::kTopLevel);
    const AdrDocument back = ParseText(doc.Serialize());
    ASSERT_EQ(Items(back).size(), 1u);
    EXPECT_EQ(back.Value(Items(back)[0], QStringLiteral("NAME")), ToAdrValue(evil));
    EXPECT_FALSE(back.HasKey(Items(back)[0], QStringLiteral("URL")));
}

TEST(OperaHotlistTest, NewFileHasTheWrittenLayout)
{
    AdrDocument doc(QStringLiteral("#URL"));
    const int folder =
        doc.NewBlock(AdrBlockKind::Folder, {{QStringLiteral("ID"), QString()},
                                            {QStringLiteral("NAME"), QStringLiteral("F")},
                                            {QStringLiteral("UNIQUEID"), QStringLiteral("U1")}});
    doc.Insert(folder, AdrDocument::kTopLevel);
    const int item = doc.NewBlock(AdrBlockKind::Item, {{QStringLiteral("NAME"), QStringLiteral("n")},
                                                       {QStringLiteral("UNIQUEID"), QStringLiteral("U2")}});
    doc.Insert(item, folder);
    EXPECT_EQ(doc.Serialize(), QByteArray("Opera Hotlist version 2.0\r\r\n"
                                          "Options: encoding = utf8, version=3\r\n"
                                          "\r\n"
                                          "#FOLDER\r\n"
                                          "\tID=\r\n"
                                          "\tNAME=F\r\n"
                                          "\tUNIQUEID=U1\r\n"
                                          "\r\n"
                                          "#URL\r\n"
                                          "\tNAME=n\r\n"
                                          "\tUNIQUEID=U2\r\n"
                                          "\r\n"
                                          "-\r\n"
                                          "\r\n"));
    // Read back, the first line keeps its own CR and the rewrite is the same.
    const AdrDocument back = ParseText(doc.Serialize());
    EXPECT_EQ(back.Level(AdrDocument::kTopLevel).front().line.text,
              QStringLiteral("Opera Hotlist version 2.0\r"));
    EXPECT_EQ(back.Serialize(), doc.Serialize());
}

TEST(OperaHotlistTest, ChangesKeepTheRestAndTheFilesLineEnds)
{
    const QByteArray bytes = RealFile("notes-opera12-linux-masked-excerpt.adr");
    const AdrDocument original = ParseText(bytes, "#NOTE");
    AdrDocument doc = ParseText(bytes, "#NOTE");
    const std::vector<int> items = Items(doc);
    doc.SetValue(items[5], QStringLiteral("NAME"), QStringLiteral("changed"));
    doc.Remove(items[6]);
    const QByteArray out = doc.Serialize();
    EXPECT_FALSE(out.contains('\r'));

    const AdrDocument back = ParseText(out, "#NOTE");
    const std::vector<int> backItems = Items(back);
    ASSERT_EQ(backItems.size(), items.size() - 1);
    // Every other note keeps all its lines (URL= and CREATED= included) and its place.
    for (std::size_t i = 0, j = 0; i < items.size(); ++i) {
        if (i == 6) continue;
        std::vector<QString> was, is;
        for (const AdrLine& l : original.Block(items[i]).keys) was.push_back(l.text);
        for (const AdrLine& l : back.Block(backItems[j++]).keys) is.push_back(l.text);
        if (i == 5)
            EXPECT_EQ(back.Value(backItems[j - 1], QStringLiteral("NAME")), QStringLiteral("changed"));
        else
            EXPECT_EQ(is, was) << "note " << i;
    }
}

TEST(OperaHotlistTest, AnEmptyFileIsAnEmptyHotlistThatGetsTheHeaderWhenWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bookmarks.adr"));
    QFile(path).open(QIODevice::WriteOnly);
    OperaHotlistFile file = OperaHotlistFile::AtPath(path, QStringLiteral("#URL"));
    file.Open();
    EXPECT_TRUE(Items(file.Document()).empty());
    file.Close();
    EXPECT_EQ(QFileInfo(path).size(), 0) << "nothing changed, nothing written";

    AdrDocument& doc = file.Change();
    const int b = doc.NewBlock(AdrBlockKind::Item, {{QStringLiteral("NAME"), QStringLiteral("n")}});
    doc.Insert(b, AdrDocument::kTopLevel);
    file.Close();
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    EXPECT_TRUE(bytes.startsWith(
        "Opera Hotlist version 2.0\r\r\nOptions: encoding = utf8, version=3\r\n\r\n#URL\r\n"))
        << bytes.constData();
    EXPECT_EQ(Items(ParseText(bytes)).size(), 1u);
}

TEST(OperaHotlistTest, DeepNestingNeitherRecursesNorTurnsQuadratic)
{
    constexpr int kDepth = 200'000;
    QByteArray file = "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n";
    for (int i = 0; i < kDepth; ++i) file += "#FOLDER\n\tNAME=f\n\n";
    file += "#URL\n\tNAME=deep\n\tUNIQUEID=1\n\n";
    for (int i = 0; i < kDepth; ++i) file += "-\n";
    const AdrDocument doc = ParseText(file);
    const std::vector<OperaVisibleItem> visible = VisibleItems(doc);
    ASSERT_EQ(visible.size(), 1u);
    EXPECT_EQ(FolderPath(doc, visible[0].folder).size(), 2 * kDepth - 1);
    EXPECT_EQ(doc.Serialize(), file);
}

}  // namespace

namespace {

TEST(OperaHotlistTest, NewIdNumbersNeverWrap)
{
    const struct {
        const char* ids;  // the ID lines of the file's items
        int count;
        std::int64_t next;  // 0: refused
    } cases[] = {
        {"", 1, 1},
        {"\tID=41\n", 1, 42},
        {"\tID=-5\n", 1, 1},
        {"\tID=99999999999999999999\n", 1, 1},  // no 64-bit number: not counted
        {"\tID=9223372036854775806\n", 1, 9223372036854775807},
        {"\tID=9223372036854775806\n", 2, 0},
        {"\tID=9223372036854775807\n", 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ids);
        const AdrDocument doc =
            ParseText(QByteArray("h\n\n#NOTE\n") + c.ids + "\tNAME=n\n\n#NOTE\n\tNAME=m\n\n", "#NOTE");
        if (c.next) {
            EXPECT_EQ(doc.NextIdNumber(c.count), c.next);
        } else {
            EXPECT_THROW((void)doc.NextIdNumber(c.count), AgentError);
        }
    }
}

}  // namespace
