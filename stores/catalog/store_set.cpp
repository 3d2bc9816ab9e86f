#include "stores/catalog/store_set.h"

#include <algorithm>

#include "common/attempt.h"
#include "stores/base/diagnostics.h"
#include "stores/catalog/outlook_family.h"
#include "stores/store_roles.h"

// One row's store. Item rows hold a COutlook, bookmark rows a BookmarkStore.
struct StoreSet::Slot {
    const SourceRow* row;
    std::unique_ptr<COutlook> items;
    std::unique_ptr<BookmarkStore> bookmarks;
    std::function<std::unique_ptr<COutlook>()> sessionFactory;  // per-session rows

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
    for (const SourceRow& row : SourceCatalog()) {
        auto slot = std::make_unique<Slot>();
        slot->row = &row;
        if (row.storePerSession) {
            if (row.makeItemStore)
                slot->sessionFactory = [this, make = row.makeItemStore] { return make(services_); };
        } else {
            if (row.makeItemStore) slot->items = row.makeItemStore(services_);
            if (row.makeBookmarkStore) slot->bookmarks = row.makeBookmarkStore(services_);
        }
        slots_.push_back(std::move(slot));
    }
    InstallOutlookConnection(*this, services_, [this](ItemKind kind, std::uint32_t code) { return Select(kind, code); });
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

void StoreSet::SetSessionFactory(ItemKind kind, std::uint32_t code,
                                 std::function<std::unique_ptr<COutlook>()> factory)
{
    if (Slot* slot = Find(SourceKindOf(kind), code); slot && slot->row->storePerSession)
        slot->sessionFactory = std::move(factory);
}

bool StoreSet::OfficeInit()
{
    if (officeInitialized) return true;
    officeInitialized = startOutlook && startOutlook();
    return officeInitialized;
}

bool StoreSet::OfficeDestroy()
{
    QStringList failures;
    const bool released = !releaseOutlook || AttemptStep(releaseOutlook, failures);
    officeInitialized = false;
    return released;
}

bool StoreSet::Connect(ItemKind kind, std::uint32_t code)
{
    const SourceRow* row = FindSource(kind, code);
    return !row || row->outlookVersion == 0 || OfficeInit();
}

void StoreSet::OpenSession(Slot& slot, const Note& note)
{
    if (slot.row->storePerSession) {
        if (!slot.sessionFactory) return;
        slot.items = slot.sessionFactory();
    }
    auto* session = StoreRole<SessionStore>(slot.items.get());
    if (!session && !slot.bookmarks) return;
    try {
        if (session)
            session->Open();
        else
            slot.bookmarks->Open();
    } catch (...) {
        // A store made for this session and never opened is not kept.
        if (slot.row->storePerSession) slot.items.reset();
        throw;
    }
    openSessions_.push_back(&slot);
    qCDebug(lcStores) << "session of source" << slot.row->code << "open";
    if (note && slot.row->openedLine) note(slot.Line(slot.row->openedLine));
}

namespace {

CommittingStore* CommitterOf(COutlook* items, BookmarkStore* bookmarks)
{
    return items ? StoreRole<CommittingStore>(items) : StoreRole<CommittingStore>(bookmarks);
}

}  // namespace

void StoreSet::CloseSessions(QStringList& failures, const Note& note, const Note& failureNote)
{
    const std::vector<Slot*> open = std::move(openSessions_);
    openSessions_.clear();
    for (Slot* slot : open) {
        // A slot opened twice and kept at its first close is not closed again.
        if (std::find(openSessions_.begin(), openSessions_.end(), slot) != openSessions_.end()) continue;
        const bool closed = AttemptStep(
            [&] {
                if (auto* session = StoreRole<SessionStore>(slot->items.get()))
                    session->Close();
                else if (slot->bookmarks)
                    slot->bookmarks->Close();
            },
            failures);
        if (!closed) {
            // Changes that could not be written are never given up while the agent runs: the
            // session stays open, to be written at the next chance.
            const CommittingStore* committer = CommitterOf(slot->items.get(), slot->bookmarks.get());
            const bool kept = committer && committer->HoldsUnwrittenChanges();
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

void StoreSet::CommitHeldChanges(const SourceSelection& selection, QStringList& failures)
{
    for (SourceKind kind : {SourceKind::Contacts, SourceKind::Appointments, SourceKind::Tasks, SourceKind::Notes}) {
        const Slot* slot = Find(kind, selection.CodeOf(kind));
        if (!slot || StoreRole<SessionStore>(slot->items.get())) continue;  // sessions write at their close
        auto* committer = StoreRole<CommittingStore>(slot->items.get());
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
    CommitHeldChanges(selection, held);
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
        if (slot->row->companionKind != SourceKind::Bookmarks)
            if (Slot* companion = Find(slot->row->companionKind, slot->row->companionCode)) open(*companion);
        open(*slot);
    }
}

QStringList StoreSet::ReleaseSessions(const SourceSelection& selection, const Note& note)
{
    QStringList failures;
    for (SourceKind kind : {SourceKind::Contacts, SourceKind::Appointments, SourceKind::Tasks, SourceKind::Notes}) {
        const Slot* slot = Find(kind, selection.CodeOf(kind));
        if (auto* connection = slot ? StoreRole<ConnectionStore>(slot->items.get()) : nullptr)
            AttemptStep([&] { connection->Disconnect(); }, failures);
    }
    if (!OfficeDestroy()) failures.append(QStringLiteral("Outlook could not be released"));
    CommitHeldChanges(selection, failures);
    CloseSessions(failures, note);
    return failures;
}

bool StoreSet::ForgetLoadedRecords(const SourceSelection& selection, QString* failure)
{
    auto* contacts = StoreRole<ContactFolderStore>(Select(selection, ItemKind::Contacts));
    QStringList failures;
    if (!contacts || AttemptStep([&] { contacts->ClearRecords(); }, failures)) return true;
    if (failure) *failure = failures.first();
    return false;
}

QString StoreSet::CategoryNames(std::uint32_t agentCode) const
{
    const SourceRow* row = FindSource(SourceKind::Contacts, agentCode);
    if (!row) return {};
    if (row->categories) return row->categories(*this);
    QString text;
    if (auto* groups = StoreRole<GroupNamesSource>(Select(ItemKind::Contacts, agentCode)))
        text += groups->GetGroupNames();
    if (auto* calendar = StoreRole<CalendarIndexStore>(Select(ItemKind::Appointments, agentCode)))
        text += calendar->GetCalendarNames();
    return text;
}
