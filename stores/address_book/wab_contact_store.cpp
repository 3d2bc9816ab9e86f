#include "stores/address_book/wab_contact_store.h"

#include <QScopeGuard>

#include "common/crc32.h"
#include "common/errors.h"
#include "platform/address_book/wab_open.h"
#include "stores/address_book/wab_contact_fields.h"
#include "stores/address_book/wab_identifiers.h"
#include "stores/address_book/wab_tables.h"

namespace ContactsXp {

using namespace wab;

namespace {

QStringList NamesOf(const std::vector<WabGroupPair>& pairs)
{
    QStringList names;
    for (const auto& pair : pairs) names.append(pair.first);
    return names;
}

// The names in order, each once: a name given twice means one membership.
QStringList Distinct(const QStringList& names)
{
    QStringList distinct;
    for (const QString& name : names)
        if (!distinct.contains(name)) distinct.append(name);
    return distinct;
}

}  // namespace

CContactWinXP::CContactWinXP(std::function<void(const QString&)> log) : log_(std::move(log)) {}

CContactWinXP::~CContactWinXP() = default;

void CContactWinXP::Open()
{
    Close();
    auto connection = std::make_unique<Connection>();
    try {
        connection->book = WABOpen(WabParam{});
        connection->pabId = connection->book->GetPAB();
        connection->container = As<ABContainer>(connection->book->OpenEntry(connection->pabId, MAPI_BEST_ACCESS));
        if (!connection->container) throw AgentError("the address book has no personal address book");
        connection->pabType = connection->container->ObjectType();
        connection->groups = WabGroupList::Load(*connection->container);
    } catch (const std::exception& e) {
        openFailure_ = QString::fromUtf8(e.what());
        if (log_) log_(QStringLiteral("Address book not opened: ") + openFailure_);
        return;
    }
    openFailure_.clear();
    connection_ = std::move(connection);
}

void CContactWinXP::Close()
{
    // The objects go before the book they were opened from.
    if (connection_) {
        connection_->book->EndReads();
        connection_->groups = WabGroupList();
        connection_->container.reset();
        connection_->book.reset();
    }
    connection_.reset();
}

const std::vector<WabGroupRecord>& CContactWinXP::Groups() const
{
    static const std::vector<WabGroupRecord> none;
    return connection_ ? connection_->groups.Records() : none;
}

CContactWinXP::Connection& CContactWinXP::RequireOpen()
{
    if (!connection_)
        throw AgentError(openFailure_.isEmpty() ? std::string("the address book is not open")
                                                : "the address book is not open: " + openFailure_.toStdString());
    return *connection_;
}

bool CContactWinXP::OpenOrRefresh()
{
    if (!connection_) {
        Open();
        return false;
    }
    connection_->book->EndReads();
    connection_->groups = WabGroupList::Load(*connection_->container);
    return true;
}

QString CContactWinXP::OpenedContactText(const QString& id)
{
    const auto text = ContactTextOf(id);
    if (!text) throw AgentError("\"" + id.toStdString() + "\" is not an identifier of the address book");
    return *text;
}

std::unique_ptr<MailUser> CContactWinXP::OpenContact(Connection& c, const QString& contactText)
{
    // Only a contact: the identifier of a list names no contact.
    return As<MailUser>(c.book->OpenEntry(HexToEntryId(contactText), MAPI_MODIFY));
}

QStringList CContactWinXP::GroupNamesOf(const Connection& c, const QString& contactText) const
{
    return NamesOf(c.groups.GroupsOfContact(contactText));
}

QString CContactWinXP::GetGroupNames()
{
    const bool wasOpen = OpenOrRefresh();
    if (!connection_) return QString();
    auto closeAfter = qScopeGuard([&] {
        if (!wasOpen) Close();
    });
    return connection_->groups.Names();
}

void CContactWinXP::GetIDs(QStringList& ids)
{
    Connection& c = RequireOpen();
    c.book->EndReads();
    QStringList found;
    try {
        for (const auto& [type, id] : ReadEntryRows(c.container->GetContentsTable()))
            if (type == MAPI_MAILUSER) found.append(WabContactId(id));
    } catch (const std::exception& e) {
        throw AgentError(std::string("the address book's contacts cannot be listed: ") + e.what());
    }
    ids.append(found);
    // The checksums of every contact follow: they read one state of the book, without taking its
    // locks for each contact. Any other operation ends it.
    c.book->HoldReads();
}

void CContactWinXP::Get(const QString& id, ItemRecord& record)
{
    Connection& c = RequireOpen();
    c.book->EndReads();
    const QString text = OpenedContactText(id);
    const auto contact = OpenContact(c, text);
    if (!contact) throw AgentError("no contact of the address book has the identifier " + id.toStdString());
    const ItemRecord read = ContactRecord(contact->GetProps(ContactPropertyTags()), GroupNamesOf(c, text));
    for (int i = 0; i < read.FieldCount(); ++i) record.Add(read.names[i], read.values[static_cast<std::size_t>(i)]);
}

std::uint32_t CContactWinXP::IDtoCRC32(const QString& id)
{
    Connection& c = RequireOpen();
    const QString text = OpenedContactText(id);
    const auto contact = OpenContact(c, text);
    if (!contact) throw AgentError("no contact of the address book has the identifier " + id.toStdString());
    return Crc32OfUtf16(ContactChecksumText(contact->GetProps(ContactPropertyTags()), GroupNamesOf(c, text)));
}

void CContactWinXP::Add(ItemRecord& record, QString& id)
{
    Connection& c = RequireOpen();
    c.book->EndReads();
    // A date that is no date fails the request before anything is made.
    const ContactChanges changes = ContactChangesFrom(record, ContactWrite::Add);
    EntryId newId;
    try {
        auto entry = c.container->CreateEntry(EntryId(), CREATE_MERGE);
        if (!changes.set.empty()) entry->SetProps(changes.set);
        entry->SaveChanges(FORCE_SAVE);
        newId = entry->Id();
    } catch (const std::exception& e) {
        throw AgentError(std::string("Add contact Error: ") + e.what());
    }
    const QString text = EntryIdToHex(newId);

    if (changes.groups && !changes.groups->isEmpty()) {
        try {
            std::vector<WabGroupPair> pairs;
            std::vector<WabGroupPair> created;
            for (const QString& name : Distinct(*changes.groups)) {
                if (c.groups.HasName(name)) {
                    for (auto& pair : c.groups.PairsNamed(name)) pairs.push_back(std::move(pair));
                } else {
                    created.emplace_back(name, c.groups.Create(*c.container, name));
                }
            }
            pairs.insert(pairs.end(), created.begin(), created.end());
            c.groups.AddTo(*c.container, text, pairs);
        } catch (const std::exception& e) {
            // A contact without the groups it came with would reach the peer later as a new one
            // beside its own: it is taken back.
            try {
                c.groups.RemoveFrom(*c.container, text);
            } catch (const std::exception&) {
            }
            try {
                (void)c.container->DeleteEntries({newId});
            } catch (const std::exception& undo) {
                throw AgentError(std::string(e.what()) + "; the new contact " + text.toStdString() +
                                 " could not be taken back: " + undo.what());
            }
            throw AgentError(std::string(e.what()) + "; the new contact was not kept");
        }
    }
    id = WabContactId(newId);
}

void CContactWinXP::Edit(ItemRecord& record, const QString& id)
{
    Connection& c = RequireOpen();
    c.book->EndReads();
    const QString text = OpenedContactText(id);
    const auto contact = OpenContact(c, text);
    if (!contact) throw AgentError("no contact of the address book has the identifier " + id.toStdString());
    const ContactChanges changes = ContactChangesFrom(record, ContactWrite::Edit);
    try {
        if (!changes.set.empty()) contact->SetProps(changes.set);
        if (!changes.remove.empty()) contact->DeleteProps(changes.remove);
        contact->SaveChanges(FORCE_SAVE);
    } catch (const std::exception& e) {
        throw AgentError("the contact " + text.toStdString() + " could not be saved: " + e.what());
    }
    if (changes.groups) UpdateGroups(c, text, *changes.groups);
}

void CContactWinXP::UpdateGroups(Connection& c, const QString& contactText, const QStringList& names)
{
    const QStringList wanted = Distinct(names);
    QStringList failures;
    for (const QString& name : wanted) {
        if (c.groups.HasName(name)) continue;
        try {
            c.groups.Create(*c.container, name);
        } catch (const std::exception& e) {
            failures.append(QString::fromUtf8(e.what()));
        }
    }
    const QStringList current = NamesOf(c.groups.GroupsOfContact(contactText));
    std::vector<WabGroupPair> join;
    for (const QString& name : wanted)
        if (!current.contains(name))
            for (auto& pair : c.groups.PairsNamed(name)) join.push_back(std::move(pair));
    QStringList leave;
    for (const QString& name : current)
        if (!wanted.contains(name) && !leave.contains(name)) leave.append(name);
    try {
        c.groups.AddTo(*c.container, contactText, join);
    } catch (const std::exception& e) {
        failures.append(QString::fromUtf8(e.what()));
    }
    try {
        c.groups.RemoveFrom(*c.container, contactText, &leave);
    } catch (const std::exception& e) {
        failures.append(QString::fromUtf8(e.what()));
    }
    if (!failures.isEmpty())
        throw AgentError("the contact " + contactText.toStdString() + " was saved, but its groups were not: " +
                         failures.join(QStringLiteral("; ")).toStdString());
}

void CContactWinXP::Delete(const QString& id)
{
    Connection& c = RequireOpen();
    c.book->EndReads();
    const QString text = OpenedContactText(id);
    // A contact that is gone already is what the peer asks for.
    if (!OpenContact(c, text)) return;
    // The contact goes first: a failure then leaves it whole, in every list it was in.
    try {
        (void)c.container->DeleteEntries({HexToEntryId(text)});
    } catch (const std::exception& e) {
        throw AgentError("the contact " + text.toStdString() + " could not be deleted: " + e.what());
    }
    try {
        // The book no longer lists a deleted member; taking it out keeps the lists tidy.
        c.groups.RemoveFrom(*c.container, text);
    } catch (const std::exception&) {
    }
}

void CContactWinXP::DeleteAll()
{
    const bool wasOpen = OpenOrRefresh();
    Connection& c = RequireOpen();
    auto closeAfter = qScopeGuard([&] {
        if (!wasOpen) Close();
    });
    EntryList contacts;
    QStringList texts;
    try {
        for (const auto& [type, id] : ReadEntryRows(c.container->GetContentsTable()))
            if (type == MAPI_MAILUSER) {
                contacts.push_back(id);
                texts.append(EntryIdToHex(id));
            }
    } catch (const std::exception& e) {
        throw AgentError(std::string("the address book's contacts cannot be listed: ") + e.what());
    }
    if (contacts.empty()) return;
    try {
        // One transaction: every contact goes, or none does, each in the lists it was in.
        (void)c.container->DeleteEntries(contacts);
    } catch (const std::exception& e) {
        throw AgentError(std::string("the address book's contacts could not be deleted: ") + e.what());
    }
    // The book no longer lists deleted members; taking them out keeps the lists tidy.
    c.groups.RemoveEverywhere(*c.container, texts);
}

}  // namespace ContactsXp
