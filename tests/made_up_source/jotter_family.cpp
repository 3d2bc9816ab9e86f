// Jotter, a made-up notes program that keeps its notes in one text file, "<home>/.jotter/notes"
// ("<identifier><tab><text>" a line). Its store reads the file for a change check and writes it
// when the peer saves its state, so the state never names a note the file lacks. It is here to
// show what a new source takes: this folder, and nothing in the requests, the server, the window
// or the other families' rows.
#include "made_up_source/jotter_family.h"

#include <QDir>
#include <optional>

#include "common/crc32.h"
#include "common/errors.h"
#include "common/item_id.h"
#include "platform/atomic_file.h"
#include "platform/regular_file_read.h"
#include "stores/base/store_family.h"

namespace {

constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

}  // namespace

QString JotterStore::FilePath()
{
    return QDir::homePath() + QStringLiteral("/.jotter/notes");
}

void JotterStore::BeforeCheck(const QString&)
{
    // Changes held since the last save stay: reading the file anew would give them up.
    if (changed_) return;
    notes_.clear();
    order_.clear();
    // Bounded, and only a regular file, as every store reads what another program wrote.
    const std::optional<QByteArray> text = ReadRegularFile(FilePath(), kMaxFileBytes);
    if (!text) return;
    for (const QByteArray& line : text->split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab <= 0) continue;
        const QString id = QString::fromUtf8(line.left(tab));
        if (!notes_.contains(id)) order_.append(id);
        notes_.insert(id, QString::fromUtf8(line.mid(tab + 1)));
    }
}

CommitOutcome JotterStore::CommitChanges()
{
    if (!changed_) return {};
    QByteArray text;
    for (const QString& id : order_) text += id.toUtf8() + '\t' + notes_.value(id).toUtf8() + '\n';
    QDir().mkpath(QDir::homePath() + QStringLiteral("/.jotter"));
    WriteFileAtomically(FilePath(), text, 0600);
    changed_ = false;
    return {};
}

void JotterStore::Add(ItemRecord& record, QString& id)
{
    id = NewItemId();
    order_.append(id);
    notes_.insert(id, BodyOf(record));
    changed_ = true;
}

void JotterStore::Edit(ItemRecord& record, const QString& id)
{
    Require(id);
    notes_.insert(id, BodyOf(record));
    changed_ = true;
}

void JotterStore::Delete(const QString& id)
{
    if (notes_.remove(id)) order_.removeAll(id);
    changed_ = true;
}

void JotterStore::DeleteAll()
{
    notes_.clear();
    order_.clear();
    changed_ = true;
}

void JotterStore::Get(const QString& id, ItemRecord& record)
{
    Require(id);
    record.Add(QStringLiteral("Body"), notes_.value(id));
}

void JotterStore::GetIDs(QStringList& ids)
{
    ids.append(order_);
}

std::uint32_t JotterStore::IDtoCRC32(const QString& id)
{
    return notes_.contains(id) ? Crc32OfUtf16(notes_.value(id)) : 0;
}

QString JotterStore::BodyOf(const ItemRecord& record)
{
    const int body = record.IndexOf(QStringLiteral("Body"));
    // A line break would end the note's line in the file.
    return body < 0 ? QString() : ItemValueText(record.values[static_cast<std::size_t>(body)]).simplified();
}

void JotterStore::Require(const QString& id) const
{
    if (!notes_.contains(id)) throw AgentError("no Jotter note " + id.toStdString());
}

namespace {

constexpr SourceRow kRows[] = {
    {.kind = SourceKind::Notes, .code = kJotterNotesCode, .programs = "jotter"},
};

class JotterFamily : public StoreFamily {
public:
    std::unique_ptr<COutlook> MakeItemStore(const SourceRow&) override { return std::make_unique<JotterStore>(); }
};

// After every other family.
const FamilyRegistration kRegistration({
    .order = 1000,
    .rows = [] { return std::span<const SourceRow>(kRows); },
    .make = [](const StoreServices&, ItemStoreLookup) -> std::unique_ptr<StoreFamily> {
        return std::make_unique<JotterFamily>();
    },
});

}  // namespace
