#include "stores/address_book/wab_groups.h"

#include <QSet>
#include <algorithm>

#include "common/errors.h"
#include "stores/address_book/wab_identifiers.h"
#include "stores/address_book/wab_tables.h"

namespace ContactsXp {

using namespace wab;

namespace {

std::unique_ptr<DistList> OpenList(ABContainer& pab, const QString& hexId)
{
    auto list = As<DistList>(pab.OpenEntry(HexToEntryId(hexId), MAPI_MODIFY));
    if (!list) throw WabError(WabStatus::NotFound, "the list " + hexId.toStdString() + " no longer exists");
    return list;
}

std::string Quoted(const QStringList& names)
{
    QStringList quoted;
    for (const QString& name : names) quoted.append(QLatin1Char('"') + name + QLatin1Char('"'));
    return quoted.join(QStringLiteral(", ")).toStdString();
}

}  // namespace

WabGroupList WabGroupList::Load(ABContainer& pab)
{
    WabGroupList groups;
    try {
        for (const auto& [type, id] : ReadEntryRows(pab.GetContentsTable())) {
            if (type != MAPI_DISTLIST) continue;
            WabGroupRecord record;
            record.id = EntryIdToHex(id);
            auto list = OpenList(pab, record.id);
            const PropValue name = list->GetProps({PR_DISPLAY_NAME_W}).front();
            if (const QString* text = name.Unicode())
                record.name = *text;
            else if (const QByteArray* bytes = name.String8())
                record.name = QString::fromUtf8(*bytes);
            for (const auto& [memberType, member] : ReadEntryRows(list->GetContentsTable()))
                if (memberType == MAPI_MAILUSER) record.members.append(EntryIdToHex(member));
            groups.records_.push_back(std::move(record));
        }
    } catch (const std::exception& e) {
        throw AgentError(std::string("the address book's groups cannot be read: ") + e.what());
    }
    for (std::size_t r = 0; r < groups.records_.size(); ++r)
        for (const QString& member : groups.records_[r].members) groups.byContact_[member].push_back(r);
    return groups;
}

QString WabGroupList::Names() const
{
    QString names;
    for (const WabGroupRecord& record : records_) names += record.name + QLatin1Char(',');
    return names;
}

std::vector<WabGroupPair> WabGroupList::PairsNamed(const QString& name) const
{
    std::vector<WabGroupPair> pairs;
    for (const WabGroupRecord& record : records_)
        if (record.name == name) pairs.emplace_back(record.name, record.id);
    return pairs;
}

bool WabGroupList::HasName(const QString& name) const
{
    return std::any_of(records_.begin(), records_.end(), [&](const WabGroupRecord& r) { return r.name == name; });
}

std::vector<WabGroupPair> WabGroupList::GroupsOfContact(const QString& contact) const
{
    std::vector<WabGroupPair> pairs;
    const auto it = byContact_.constFind(contact);
    if (it == byContact_.cend()) return pairs;
    for (const std::size_t r : *it) pairs.emplace_back(records_[r].name, records_[r].id);
    return pairs;
}

QString WabGroupList::Create(ABContainer& pab, const QString& name)
{
    QString id;
    try {
        const PropValue templateId = pab.GetProps({PR_DEF_CREATE_DL}).front();
        if (!templateId.Binary()) throw WabError(WabStatus::NoSupport, "the address book makes no lists");
        auto list = pab.CreateEntry(EntryId(*templateId.Binary()), CREATE_CHECK_DUP_STRICT);
        list->SetProps({PropValue::Unicode(PR_DISPLAY_NAME_W, name)});
        list->SaveChanges(FORCE_SAVE);
        id = EntryIdToHex(list->Id());
    } catch (const std::exception& e) {
        throw AgentError("the group \"" + name.toStdString() + "\" cannot be created: " + e.what());
    }
    records_.push_back(WabGroupRecord{name, id, {}});
    return id;
}

void WabGroupList::AddTo(ABContainer& pab, const QString& contact, const std::vector<WabGroupPair>& pairs)
{
    const EntryId contactId = HexToEntryId(contact);
    QStringList failed;
    std::string reason;
    for (const auto& [name, id] : pairs) {
        try {
            OpenList(pab, id)->CreateEntry(contactId);
        } catch (const std::exception& e) {
            failed.append(name);
            reason = e.what();
            continue;
        }
        // Only the record of the list just changed: another list of the same name did not change.
        for (std::size_t r = 0; r < records_.size(); ++r)
            if (records_[r].id == id) {
                records_[r].members.append(contact);
                Index(r, contact);
            }
    }
    if (!failed.isEmpty())
        throw AgentError("the contact " + contact.toStdString() + " could not join the group(s) " + Quoted(failed) +
                         ": " + reason);
}

void WabGroupList::RemoveFrom(ABContainer& pab, const QString& contact, const QStringList* names)
{
    const auto it = byContact_.constFind(contact);
    if (it == byContact_.cend()) return;
    std::vector<std::size_t> holding = *it;
    holding.erase(std::unique(holding.begin(), holding.end()), holding.end());
    const EntryId contactId = HexToEntryId(contact);
    QStringList failed;
    std::string reason;
    for (const std::size_t r : holding) {
        WabGroupRecord& record = records_[r];
        if (names && !names->contains(record.name)) continue;
        try {
            (void)OpenList(pab, record.id)->DeleteEntries({contactId});
        } catch (const std::exception& e) {
            failed.append(record.name);
            reason = e.what();
            continue;
        }
        record.members.removeAll(contact);
        Unindex(r, contact);
    }
    if (!failed.isEmpty())
        throw AgentError("the contact " + contact.toStdString() + " could not leave the group(s) " + Quoted(failed) +
                         ": " + reason);
}

void WabGroupList::RemoveEverywhere(ABContainer& pab, const QStringList& contacts)
{
    const QSet<QString> leaving(contacts.begin(), contacts.end());
    for (std::size_t r = 0; r < records_.size(); ++r) {
        WabGroupRecord& record = records_[r];
        EntryList ids;
        QSet<QString> gone;
        for (const QString& member : record.members)
            if (leaving.contains(member) && !gone.contains(member)) {
                gone.insert(member);
                ids.push_back(HexToEntryId(member));
            }
        if (ids.empty()) continue;
        try {
            (void)OpenList(pab, record.id)->DeleteEntries(ids);
        } catch (const std::exception&) {
            continue;
        }
        record.members.removeIf([&](const QString& member) { return gone.contains(member); });
        for (const QString& member : gone) Unindex(r, member);
    }
}

void WabGroupList::Index(std::size_t record, const QString& contact)
{
    auto& holding = byContact_[contact];
    holding.insert(std::upper_bound(holding.begin(), holding.end(), record), record);
}

void WabGroupList::Unindex(std::size_t record, const QString& contact)
{
    auto it = byContact_.find(contact);
    if (it == byContact_.end()) return;
    it->erase(std::remove(it->begin(), it->end(), record), it->end());
    if (it->empty()) byContact_.erase(it);
}

}  // namespace ContactsXp
