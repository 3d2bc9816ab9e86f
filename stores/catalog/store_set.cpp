#include "stores/catalog/store_set.h"

#include <algorithm>

#include "common/attempt.h"
#include "stores/base/diagnostics.h"

// One row's store. Item rows hold a COutlook, bookmark rows a BookmarkStore.
struct StoreSet::Slot {
    const SourceRow* row;
    std::unique_ptr<COutlook> items;
    std::unique_ptr<BookmarkStore> bookmarks;
    std::function<std::unique_ptr<COutlook>()> sessionFactory;  // per-session rows

    // The store that answers the lifecycle, whichever kind it is; nullptr for none.
    StoreLifecycle* Store() const
    {
        return items ? static_cast<StoreLifecycle*>(items.get()) : static_cast<StoreLifecycle*>(bookmarks.get());
    }

    QString Line(const char* text) const { return text ? QString::fromUtf8(text) : QString(); }
    // "notes source 0x10000", "contacts source 2", "bookmarks source 1".
    QString Name() const
    {
        static constexpr const char* kKinds[] = {"contacts", "appointments", "tasks", "notes", "bookmarks"};
        const QString kind = QString::fromLatin1(kKinds[static_cast<int>(row->kind)]);
        const QString code = row->kind == SourceKind::Notes
                                 ? QStringLiteral("0x") + QString::number(row->code, 16)
                                 : QString::number(row->code);
        return kind + QStringLiteral(" source ") + code;
    }
};

StoreSet::StoreSet(StoreServices services) : services_(std::move(services))
{
    const ItemStoreLookup lookup = [this](SourceKind kind, std::uint32_t code) -> COutlook* {
        const Slot* slot = Find(kind, code);
        return slot ? slot->items.get() : nullptr;
    };
    for (const FamilyDescription& family : RegisteredFamilies()) families_.push_back(family.make(services_, lookup));
    for (const SourceRow& row : SourceCatalog()) {
        auto slot = std::make_unique<Slot>();
        slot->row = &row;
        const std::size_t family = FamilyIndexOf(row);
        if (row.kind == SourceKind::Bookmarks)
            slot->bookmarks = families_.at(family)->MakeBookmarkStore(row);
        else if (row.storePerSession)
            slot->sessionFactory = [this, family, &row] { return families_.at(family)->MakeItemStore(row); };
        else
            slot->items = families_.at(family)->MakeItemStore(row);
        slots_.push_back(std::move(slot));
    }
}

StoreSet::~StoreSet() = default;

StoreSet::Slot* StoreSet::Find(SourceKind kind, std::uint32_t code) const
{
    for (const auto& slot : slots_)
        if (slot->row->kind == kind && slot->row->code == code) return slot.get();
    return nullptr;
}

COutlook* StoreSet::Select(ItemKind kind, std::uint32_t code) const
{
    const Slot* slot = Find(SourceKindOf(kind), code);
    return slot ? slot->items.get() : nullptr;
}

BookmarkStore* StoreSet::Select(BrowserKind kind) const
{
    const Slot* slot = Find(SourceKind::Bookmarks, static_cast<std::uint32_t>(kind));
    return slot ? slot->bookmarks.get() : nullptr;
}

void StoreSet::Replace(ItemKind kind, std::uint32_t code, std::unique_ptr<COutlook> store)
{
    if (Slot* slot = Find(SourceKindOf(kind), code)) {
        std::erase(openSessions_, slot);
        slot->items = std::move(store);
    }
}

void StoreSet::Replace(BrowserKind kind, std::unique_ptr<BookmarkStore> store)
{
    if (Slot* slot = Find(SourceKind::Bookmarks, static_cast<std::uint32_t>(kind))) {
        std::erase(openSessions_, slot);
        slot->bookmarks = std::move(store);
    }
}

void StoreSet::ReplaceFamily(const SourceRow& row, std::unique_ptr<StoreFamily> family)
{
    families_.at(FamilyIndexOf(row)) = std::move(family);
}

void StoreSet::SetSessionFactory(ItemKind kind, std::uint32_t code,
                                 std::function<std::unique_ptr<COutlook>()> factory)
{
    if (Slot* slot = Find(SourceKindOf(kind), code); slot && slot->row->storePerSession)
        slot->sessionFactory = std::move(factory);
}

std::uint32_t StoreSet::StatusFlags() const
{
    std::uint32_t flags = 0;
    for (const auto& family : families_) flags |= family->StatusFlags();
    return flags;
}

std::uint32_t StoreSet::StatusFlagsOf(const SourceRow& row) const
{
    return row.reportsStatusFlags ? families_.at(FamilyIndexOf(row))->StatusFlags() : 0;
}

void StoreSet::OpenSession(Slot& slot, const Note& note)
{
    if (slot.row->storePerSession) {
        if (!slot.sessionFactory) return;
        slot.items = slot.sessionFactory();
    }
    StoreLifecycle* store = slot.Store();
    if (!store) return;
    bool opened = false;
    try {
        opened = store->AtSyncStart();
    } catch (...) {
        // A store made for this session and never opened is not kept.
        if (slot.row->storePerSession) slot.items.reset();
        throw;
    }
    if (!opened) return;
    openSessions_.push_back(&slot);
    qCDebug(lcStores) << "session of source" << slot.row->code << "open";
    if (note && slot.row->openedLine) note(slot.Line(slot.row->openedLine));
}

void StoreSet::CloseSessions(QStringList& failures, const Note& note, const Note& failureNote)
{
    const std::vector<Slot*> open = std::move(openSessions_);
    openSessions_.clear();
    for (Slot* slot : open) {
        // A slot opened twice and kept at its first close is not closed again.
        if (std::find(openSessions_.begin(), openSessions_.end(), slot) != openSessions_.end()) continue;
        const bool closed = AttemptStep(
            [&] {
                if (StoreLifecycle* store = slot->Store()) store->AtSyncEnd();
            },
            failures);
        if (!closed) {
            // Changes that could not be written are never given up while the agent runs: the
            // session stays open, to be written at the next chance.
            const StoreLifecycle* store = slot->Store();
            const bool kept = store && store->HoldsUnwrittenChanges();
            const QString line = QStringLiteral("The %1 was not written back: %2%3")
                                     .arg(slot->Name(), failures.last(),
                                          kept ? QStringLiteral("; its changes are kept to be written later")
                                               : QString());
            qCWarning(lcStores).noquote() << line;
            if (failureNote) failureNote(line);
            if (kept) {
                openSessions_.push_back(slot);
                continue;
            }
        }
        if (slot->row->storePerSession) slot->items.reset();
        if (closed && note && slot->row->closedLine) note(slot->Line(slot->row->closedLine));
    }
}

std::vector<StoreSet::Slot*> StoreSet::ChosenItemSlots(const SourceSelection& selection) const
{
    std::vector<Slot*> chosen;
    for (SourceKind kind : {SourceKind::Contacts, SourceKind::Appointments, SourceKind::Tasks, SourceKind::Notes})
        if (Slot* slot = Find(kind, selection.CodeOf(kind))) chosen.push_back(slot);
    return chosen;
}

void StoreSet::CommitHeldChanges(QStringList& failures)
{
    // Every store, chosen or not: a source the peer switched away from must not keep its
    // changes in memory until it is chosen again (over a folder the user changed since) or the
    // agent ends.
    for (const auto& owned : slots_) {
        Slot* slot = owned.get();
        // Open sessions write at their close.
        if (std::find(openSessions_.begin(), openSessions_.end(), slot) != openSessions_.end()) continue;
        StoreLifecycle* committer = slot->items.get();
        if (!committer || !committer->HoldsUnwrittenChanges()) continue;
        // A commit that throws and one that wrote part of the changes are reported alike.
        QStringList failed;
        AttemptStep([&] { failed = committer->CommitChanges().failures; }, failed);
        for (const QString& failure : failed) {
            const QString line = QStringLiteral("The %1 was not written back: %2").arg(slot->Name(), failure);
            qCWarning(lcStores).noquote() << line;
            failures << line;
        }
    }
}

void StoreSet::OpenSessions(const SourceSelection& selection, const Note& note)
{
    // A synchronisation that never ended is written back before the new one loads anew. The new
    // one goes on whatever that gave; a failed write-back is noted, naming the store and the
    // reason, and a session whose changes it could not write goes on with them instead of
    // loading its file anew.
    QStringList unwritten;
    CloseSessions(unwritten, {}, note);
    QStringList held;
    CommitHeldChanges(held);
    if (note)
        for (const QString& line : held) note(line);
    // A session kept for changes it could not write goes on as it is: loading its file anew
    // would give them up.
    const std::vector<Slot*> kept = openSessions_;
    const auto open = [&](Slot& slot) {
        if (std::find(kept.begin(), kept.end(), &slot) == kept.end()) OpenSession(slot, note);
    };
    for (SourceKind kind : {SourceKind::Notes, SourceKind::Contacts, SourceKind::Appointments, SourceKind::Tasks,
                            SourceKind::Bookmarks}) {
        Slot* slot = Find(kind, selection.CodeOf(kind));
        if (!slot) continue;
        if (const SourceRow* row = families_.at(FamilyIndexOf(*slot->row))->SessionCompanionOf(*slot->row))
            if (Slot* companion = Find(row->kind, row->code)) open(*companion);
        open(*slot);
    }
}

QStringList StoreSet::ReleaseSessions(const Note& note)
{
    QStringList failures;
    // Whatever is chosen now: a store chosen earlier may still hold what it was released from.
    for (const auto& slot : slots_)
        if (COutlook* store = slot->items.get()) AttemptStep([&] { store->AtRelease(); }, failures);
    for (const auto& family : families_) AttemptStep([&] { family->AtRelease(); }, failures);
    CommitHeldChanges(failures);
    CloseSessions(failures, note);
    return failures;
}

QStringList StoreSet::ForgetLoadedRecords(const SourceSelection& selection)
{
    QStringList failures;
    for (const Slot* slot : ChosenItemSlots(selection))
        if (COutlook* store = slot->items.get()) AttemptStep([&] { store->AtDeparture(); }, failures);
    return failures;
}

QString StoreSet::CategoryNames(std::uint32_t agentCode) const
{
    if (!FindSource(SourceKind::Contacts, agentCode)) return {};
    QString text;
    if (COutlook* contacts = Select(ItemKind::Contacts, agentCode)) text += contacts->CategoryNames();
    if (COutlook* calendar = Select(ItemKind::Appointments, agentCode)) text += calendar->CategoryNames();
    return text;
}
