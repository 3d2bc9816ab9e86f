#include "stores/opera/opera_notes.h"

#include "common/crc32.h"
#include "common/item_id.h"
#include "stores/opera/opera_visible_items.h"

namespace {

const QString kId = QStringLiteral("ID");
const QString kName = QStringLiteral("NAME");
const QString kUniqueId = QStringLiteral("UNIQUEID");
const QString kBody = QStringLiteral("Body");

}  // namespace

COperaNotes::COperaNotes()
    : OperaHotlistItemStore(OperaHotlistFile(QStringLiteral("notes.adr"), QStringLiteral("#NOTE")), kUniqueId, QStringLiteral("note"))
{
}

COperaNotes::COperaNotes(const QString& path)
    : OperaHotlistItemStore(OperaHotlistFile::AtPath(path, QStringLiteral("#NOTE")), kUniqueId, QStringLiteral("note"))
{
}

QString COperaNotes::SubjectOf(const QString& text)
{
    const qsizetype brk = text.indexOf(AdrLineBreak());
    return brk > 0 ? text.left(brk) : text;
}

QString COperaNotes::BodyOf(const QString& text)
{
    QString body;
    body.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == kAdrBreakChar) {
            body += QLatin1Char('\n');
            ++i;
        } else {
            body += text[i];
        }
    }
    return body;
}

std::uint32_t COperaNotes::IDtoCRC32(const QString& id)
{
    const int block = Ids().BlockOf(id);
    if (block < 0) return 0;
    const QStringView text = file_.Document().ValueView(block, kName);
    static constexpr char16_t kBreak[] = {kAdrBreakChar.unicode(), kAdrBreakChar.unicode()};
    const qsizetype brk = text.indexOf(QStringView(kBreak, 2));
    return Crc32OfUtf16({brk > 0 ? text.left(brk) : text, text});
}

void COperaNotes::Get(const QString& id, ItemRecord& record)
{
    const QString text = file_.Document().Value(Require(id), kName);
    record.Add(QStringLiteral("Subject"), SubjectOf(text));
    record.Add(kBody, BodyOf(text));
}

int COperaNotes::NewNote(AdrDocument& doc, const QString& text, const QString& uniqueId, std::int64_t number)
{
    const int block = doc.NewBlock(AdrBlockKind::Item, {{kId, QString::number(number)},
                                                        {kName, text},
                                                        {kUniqueId, uniqueId}});
    doc.Insert(block, AdrDocument::kTopLevel, /*afterLastItem=*/true);
    return block;
}

void COperaNotes::Add(ItemRecord& record, QString& id)
{
    if (record.IndexOf(kBody) < 0) throw AgentError("a new note needs a \"Body\" field");
    (void)Ids();
    // Every number is checked before anything changes.
    const std::int64_t first = file_.Document().NextIdNumber(static_cast<int>(record.names.count(kBody)));
    std::int64_t taken = 0;  // first + taken stays within what NextIdNumber checked
    AdrDocument& doc = file_.Change();
    for (int i = 0; i < record.FieldCount(); ++i) {
        if (record.names[i] != kBody) continue;
        const QString newId = NewItemId();
        const int block =
            NewNote(doc, ToAdrValue(ItemValueText(record.values[static_cast<std::size_t>(i)])), newId.left(32), first + taken++);
        ids_.Set(block, newId);
        id = newId;
    }
}

void COperaNotes::Edit(ItemRecord& record, const QString& id)
{
    const int block = Require(id);
    const int bodyIndex = static_cast<int>(record.names.lastIndexOf(kBody));
    if (bodyIndex < 0) return;
    file_.Change().SetValue(block, kName, ToAdrValue(ItemValueText(record.values[static_cast<std::size_t>(bodyIndex)])));
}
