#include "stores/windows_contacts/contact_win_vista.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "common/byte_io.h"
#include "common/crc32.h"
#include "common/errors.h"
#include "platform/atomic_file.h"
#include "platform/confined_folder.h"
#include "platform/replace_user_file.h"
#include "platform/safe_name.h"
#include "platform/shell_operations.h"
#include "stores/windows_contacts/contact_file_editor.h"
#include "stores/windows_contacts/contact_file_reader.h"
#include "stores/windows_contacts/contact_file_writer.h"
#include "stores/windows_contacts/contact_xml.h"
#include "stores/windows_contacts/contacts_folder.h"

namespace ContactsVista {

namespace {

using Text = ContactFileRecord::Text;
using Member = Text ContactFileRecord::*;

const QString kZeros = QStringLiteral("000000000000");
constexpr int kContactIdUnits = 36;
constexpr qsizetype kContactSuffix = 8;  // ".contact"
constexpr qsizetype kGroupSuffix = 6;    // ".group"
// Contacts are personal data: a file the store creates is the user's alone, whatever the umask.
constexpr mode_t kNewFileMode = 0600;

// The exchange keys of the text fields, in the order Get sends them.
struct TextKey {
    const char16_t* key;
    Member field;
};
const TextKey kTextKeys[] = {
    {u"FirstName", &ContactFileRecord::GivenName},
    {u"LastName", &ContactFileRecord::FamilyName},
    {u"MiddleName", &ContactFileRecord::MiddleName},
    {u"FullName", &ContactFileRecord::FullName},
    {u"NickName", &ContactFileRecord::NickName},
    {u"Title", &ContactFileRecord::Title},
    {u"Email1Address", &ContactFileRecord::Email1},
    {u"Email2Address", &ContactFileRecord::Email2},
    {u"Email3Address", &ContactFileRecord::Email3},
    {u"WebPage", &ContactFileRecord::PersonalUrl},
    {u"Body", &ContactFileRecord::Notes},
    {u"Spouse", &ContactFileRecord::Spouse},
    {u"Department", &ContactFileRecord::Department},
    {u"OfficeLocation", &ContactFileRecord::Office},
    {u"JobTitle", &ContactFileRecord::JobTitle},
    {u"CompanyName", &ContactFileRecord::Company},
    {u"HomeAddressStreet", &ContactFileRecord::HomeStreet},
    {u"HomeAddressCity", &ContactFileRecord::HomeCity},
    {u"HomeAddressState", &ContactFileRecord::HomeRegion},
    {u"HomeAddressPostalCode", &ContactFileRecord::HomePostalCode},
    {u"HomeAddressCountry", &ContactFileRecord::HomeCountry},
    {u"BusinessAddressStreet", &ContactFileRecord::BusinessStreet},
    {u"BusinessAddressCity", &ContactFileRecord::BusinessCity},
    {u"BusinessAddressState", &ContactFileRecord::BusinessRegion},
    {u"BusinessAddressPostalCode", &ContactFileRecord::BusinessPostalCode},
    {u"BusinessAddressCountry", &ContactFileRecord::BusinessCountry},
    {u"BusinessFaxNumber", &ContactFileRecord::BusinessFax},
    {u"HomeFaxNumber", &ContactFileRecord::HomeFax},
    {u"BusinessTelephoneNumber", &ContactFileRecord::BusinessPhone},
    {u"HomeTelephoneNumber", &ContactFileRecord::HomePhone},
    {u"MobileTelephoneNumber", &ContactFileRecord::MobilePhone},
    {u"PagerNumber", &ContactFileRecord::Pager},
};

// The fields the checksum covers, in its order (after the sorted group names).
const Member kChecksumFields[] = {
    &ContactFileRecord::Anniversary,    &ContactFileRecord::Birthday,        &ContactFileRecord::Notes,
    &ContactFileRecord::BusinessCity,   &ContactFileRecord::BusinessCountry, &ContactFileRecord::BusinessPostalCode,
    &ContactFileRecord::BusinessRegion, &ContactFileRecord::BusinessStreet,  &ContactFileRecord::BusinessFax,
    &ContactFileRecord::BusinessPhone,  &ContactFileRecord::Email1,          &ContactFileRecord::Email2,
    &ContactFileRecord::Email3,         &ContactFileRecord::HomeCity,        &ContactFileRecord::HomeCountry,
    &ContactFileRecord::HomePostalCode, &ContactFileRecord::HomeRegion,      &ContactFileRecord::HomeStreet,
    &ContactFileRecord::HomeFax,        &ContactFileRecord::HomePhone,       &ContactFileRecord::Pager,
    &ContactFileRecord::MobilePhone,    &ContactFileRecord::Company,         &ContactFileRecord::Department,
    &ContactFileRecord::JobTitle,       &ContactFileRecord::Office,          &ContactFileRecord::GivenName,
    &ContactFileRecord::FamilyName,     &ContactFileRecord::MiddleName,      &ContactFileRecord::NickName,
    &ContactFileRecord::FullName,       &ContactFileRecord::Spouse,          &ContactFileRecord::Title,
    &ContactFileRecord::PersonalUrl,
};

const Member* TextFieldOf(const QString& key)
{
    for (const TextKey& k : kTextKeys)
        if (key == QStringView(k.key)) return &k.field;
    return nullptr;
}

bool Digits(const QString& text, int from, int count)
{
    for (int i = from; i < from + count; ++i)
        if (text[i] < u'0' || text[i] > u'9') return false;
    return true;
}

// A peer date (year in characters 1-4, month 6-7, day 9-10) as dd-mm-yyyy; throws when those
// characters name no day.
QString PeerDateToRecordDate(const QString& name, const QString& value)
{
    const bool ok = value.size() >= 10 && Digits(value, 0, 4) && Digits(value, 5, 2) && Digits(value, 8, 2) &&
                    QDate(value.left(4).toInt(), value.mid(5, 2).toInt(), value.mid(8, 2).toInt()).isValid();
    if (!ok) throw AgentError(QStringLiteral("the %1 \"%2\" is no date").arg(name, value.left(40)).toStdString());
    return value.mid(8, 2) + u'-' + value.mid(5, 2) + u'-' + value.left(4);
}

QStringList SplitCategories(const QString& value)
{
    QStringList names;
    for (QString piece : value.split(u',', Qt::SkipEmptyParts)) {
        if (piece.startsWith(u' ')) piece.remove(0, 1);
        if (!piece.isEmpty()) names << piece;
    }
    return names;
}

QStringList SortedUnique(QStringList names)
{
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

QString TitleOf(const QString& fileName, qsizetype suffixLength) { return fileName.left(fileName.size() - suffixLength); }

}  // namespace

CContactWinVista::CContactWinVista(ContactsLogLine log) : log_(std::move(log)) { DetermineFolder(); }

CContactWinVista::CContactWinVista(QString folder, ContactsLogLine log)
    : fixedFolder_(std::move(folder)), log_(std::move(log))
{
    DetermineFolder();
}

void CContactWinVista::DetermineFolder() { folder_ = fixedFolder_ ? *fixedFolder_ : DetermineContactsFolder(); }

QString CContactWinVista::PathOf(const QString& fileName) const
{
    if (folder_.isEmpty()) throw AgentError("the Contacts folder cannot be determined");
    return folder_ + u'/' + fileName;
}

QString CContactWinVista::WritablePathOf(const QString& fileName) const
{
    if (folder_.isEmpty()) throw AgentError("the Contacts folder cannot be determined");
    return ConfinedFolder(folder_).Resolve({fileName});
}

QString CContactWinVista::GroupPath(const QString& title) const
{
    RequireSafeFileNameComponent(title, "group name");
    RequireSafeFileNameComponent(title + QStringLiteral(".group"), "group name");
    return WritablePathOf(title + QStringLiteral(".group"));
}

void CContactWinVista::Note(const QString& file, const QString& what) const
{
    if (log_) log_(QStringLiteral("Windows Contacts: %1: %2").arg(file, what));
}

void CContactWinVista::Append(ContactFileRecord record)
{
    index_[record.Id].push_back(static_cast<int>(records_.size()));
    records_.push_back(std::move(record));
}

const std::vector<int>& CContactWinVista::Matches(const QString& id) const
{
    static const std::vector<int> none;
    const auto it = index_.constFind(id);
    return it == index_.cend() ? none : *it;
}

void CContactWinVista::DeleteFirstNulls(ItemRecord& record)
{
    const auto blank = [](QChar c) { return c == u' ' || c == u'\n' || c == u'\r' || c == u'\t'; };
    for (int i = 0; i < record.FieldCount(); ++i) {
        const QString& name = record.names[i];
        if (name == u"Anniversary" || name == u"Birthday" || name == u"Picture") continue;
        const auto* text = std::get_if<QString>(&record.values[i]);
        if (!text) continue;
        QString t = *text;
        t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        t.replace(u'\r', u'\n');
        qsizetype start = 0, end = t.size();
        while (start < end && blank(t[start])) ++start;
        while (end > start && blank(t[end - 1])) --end;
        record.values[i] = t.mid(start, end - start);
    }
}

void CContactWinVista::ApplyFields(const ItemRecord& in, ContactFileRecord& target, bool adding) const
{
    ContactFileRecord r = target;
    for (int i = 0; i < in.FieldCount(); ++i) {
        const QString& name = in.names[i];
        const QString value = ItemValueText(in.values[i]);
        if (name == u"Anniversary" || name == u"Birthday") {
            Text& field = name == u"Birthday" ? r.Birthday : r.Anniversary;
            if (!value.isEmpty())
                field = PeerDateToRecordDate(name, value);
            else if (!adding)
                field = QString();  // the file loses the date
        } else if (const Member* field = TextFieldOf(name)) {
            if (adding && name == u"WebPage" && value == u"http://") continue;
            r.**field = value;
        } else if (name == u"FileAs") {
            r.FileAs = value;
        } else if (name == u"Picture") {
            const qint32 length =
                in.pictureBytes.size() >= 4 ? qFromLittleEndian<qint32>(in.pictureBytes.constData()) : 0;
            if (adding) {
                if (length > 0) r.Picture.append(in.PictureImage());
            } else {
                r.Picture = length == 0 ? QByteArray() : in.PictureImage();
            }
        } else if (name == u"Categories") {
            const QStringList groups = SplitCategories(value);
            for (const QString& group : groups) GroupPath(group);
            if (adding)
                r.GroupNames = groups;
            else
                r.NewGroupNames = groups;
        }
    }
    target = std::move(r);
}

QSet<QString> CContactWinVista::TitlesOnDisk() const
{
    QSet<QString> titles;
    const ContactFolderListing listing = ListContactsFolder(folder_);
    for (const QStringList* names : {&listing.contactFiles, &listing.otherContactNames})
        for (const QString& name : *names) titles.insert(TitleOf(name, kContactSuffix).toLower());
    return titles;
}

QString CContactWinVista::ChooseTitle(const ContactFileRecord& record, const QString& ownPath) const
{
    QSet<QString> taken = TitlesOnDisk();
    if (!ownPath.isEmpty()) taken.remove(TitleOf(QFileInfo(ownPath).fileName(), kContactSuffix).toLower());
    for (const ContactFileRecord& other : records_)
        if (ownPath.isEmpty() || other.FilePath != ownPath) taken.insert(other.FileTitle.toLower());
    const QString title = FileNameRule(record, [&](const QString& t) { return taken.contains(t.toLower()); });
    RequireSafeFileNameComponent(title + QStringLiteral(".contact"), "contact file name");
    return title;
}

void CContactWinVista::Add(ItemRecord& incoming, QString& id)
{
    DeleteFirstNulls(incoming);
    ContactFileRecord r;
    r.Id = NewGuidText() + kZeros;
    r.ChangeState = ContactChangeState::Added;
    r.NewSinceLoad = true;
    ApplyFields(incoming, r, true);
    // A file that takes the chosen name meanwhile is never replaced: the name is chosen again
    // from the folder as it is then.
    constexpr int kAttempts = 8;
    for (int attempt = 1;; ++attempt) {
        r.FileTitle = ChooseTitle(r, QString());
        r.FilePath = WritablePathOf(r.FileTitle + QStringLiteral(".contact"));
        if (WriteNewFileAtomically(r.FilePath, NewContactFileContent(r), kNewFileMode)) break;
        if (attempt == kAttempts)
            throw AgentError("no free name for the new contact's file: " + r.FilePath.toStdString() +
                             " and the names chosen before it were taken while it was written");
    }
    id = r.Id;
    Append(std::move(r));
}

void CContactWinVista::RewriteFile(const ContactFileRecord& before, ContactFileRecord& after) const
{
    const auto bytes = ReadExistingFile(before.FilePath);
    if (!bytes) throw AgentError("the contact's file " + before.FilePath.toStdString() + " is gone");
    ContactXml doc;
    if (!doc.Load(*bytes))
        throw AgentError("the contact's file " + before.FilePath.toStdString() + " is not well-formed XML");
    EditContactDocument(doc, before, after);
    const QByteArray content = doc.Save();

    // The file keeps its name unless the edit changes what names it: a name the user gave it,
    // or one the rule would not give today (older rules, other programs), stays.
    if (SameFileNameFields(before, after)) {
        after.FileTitle = before.FileTitle;
        after.FilePath = WritablePathOf(QFileInfo(before.FilePath).fileName());
    } else {
        after.FileTitle = ChooseTitle(after, before.FilePath);
        after.FilePath = WritablePathOf(after.FileTitle + QStringLiteral(".contact"));
    }
    if (after.FilePath == before.FilePath) {
        ReplaceUserFile(after.FilePath, content, LinkAtPath::Replace, kNewFileMode);
        return;
    }
    // The contact moves: whatever fails, exactly one file holds it. The moved file is the one
    // replaced, so its mode is kept as well.
    if (const std::error_code error = RenameNoReplace(before.FilePath, after.FilePath))
        throw AgentError("cannot move " + before.FilePath.toStdString() + " to " + after.FilePath.toStdString() +
                         ": " + error.message());
    try {
        ReplaceUserFile(after.FilePath, content, LinkAtPath::Replace, kNewFileMode);
    } catch (const AgentError&) {
        RenameNoReplace(after.FilePath, before.FilePath);
        throw AgentError("cannot write " + after.FilePath.toStdString());
    }
}

void CContactWinVista::Edit(ItemRecord& incoming, const QString& id)
{
    DeleteFirstNulls(incoming);
    const std::vector<int> matches = LoadedOrOnDisk(id);
    if (matches.empty()) throw AgentError("no contact has the identifier " + id.toStdString());
    const bool namesGroups = incoming.IndexOf(QStringLiteral("Categories")) >= 0;
    // Copies of one file from a repeated load are written once; the last copy is the current one.
    std::map<QString, int> lastOfFile;
    std::vector<QString> fileOrder;
    for (int i : matches) {
        if (!lastOfFile.count(records_[i].FilePath)) fileOrder.push_back(records_[i].FilePath);
        lastOfFile[records_[i].FilePath] = i;
    }
    for (const QString& path : fileOrder) {
        const ContactFileRecord& before = records_[lastOfFile[path]];
        ContactFileRecord after = before;
        ApplyFields(incoming, after, false);
        after.ChangeState = ContactChangeState::Edited;
        RewriteFile(before, after);
        for (int i : matches) {
            ContactFileRecord& copy = records_[i];
            if (copy.FilePath != path) continue;
            // What the group files say and what the commit still owes stay each copy's own.
            QStringList groups = std::move(copy.GroupNames);
            std::optional<QStringList> newGroups = std::move(copy.NewGroupNames);
            const bool newSinceLoad = copy.NewSinceLoad;
            copy = after;
            copy.GroupNames = std::move(groups);
            if (!namesGroups) copy.NewGroupNames = std::move(newGroups);
            copy.NewSinceLoad = newSinceLoad;
        }
    }
}

void CContactWinVista::Delete(const QString& id)
{
    // A contact no file holds is already what the peer asks for.
    for (int i : LoadedOrOnDisk(id)) records_[i].ChangeState = ContactChangeState::Deleted;
}

void CContactWinVista::DeleteAll()
{
    for (ContactFileRecord& r : records_) r.ChangeState = ContactChangeState::Deleted;
}

QStringList CContactWinVista::EffectiveGroups(const ContactFileRecord& r, const QStringList& groupsOnDisk) const
{
    if (!r.NewGroupNames && !r.NewSinceLoad) return r.GroupNames;
    // Names as the group files will have them: an existing group's title, each group once.
    QStringList groups;
    for (const QString& name : r.NewGroupNames.value_or(r.GroupNames)) {
        const QString title = GroupTitle(name, groupsOnDisk);
        if (!groups.contains(title, Qt::CaseInsensitive)) groups << title;
    }
    return groups;
}

void CContactWinVista::Get(const QString& id, ItemRecord& out)
{
    const std::vector<int>& matches = LoadedOrOnDisk(id);
    if (matches.empty()) throw AgentError("no contact has the identifier " + id.toStdString());
    const ContactFileRecord& r = records_[matches.back()];
    const QStringList groups = EffectiveGroups(r);
    if (!groups.isEmpty()) out.Add(QStringLiteral("Categories"), groups.join(u','));
    for (const TextKey& k : kTextKeys)
        if (const Text& value = r.*(k.field)) out.Add(QString::fromUtf16(k.key), *value);
    const auto date = [&](const char* key, const Text& value) {
        if (value && value->size() == 10)
            out.Add(QString::fromLatin1(key), value->mid(6, 4) + u'-' + value->mid(3, 2) + u'-' + value->left(2) +
                                                   QStringLiteral(" 00:00:00"));
    };
    date("Anniversary", r.Anniversary);
    date("Birthday", r.Birthday);
    if (!r.Picture.isEmpty()) {
        out.Add(QStringLiteral("Picture"), QStringLiteral("Picture"));
        out.SetPicture(r.Picture);
    }
}

void CContactWinVista::GetIDs(QStringList& ids)
{
    // A contact whose deletion is owed is not listed, though a later load holds a fresh copy of
    // it while its file waits for the commit: the list is what the commit will leave, so that
    // the state saved after it does not keep the contact.
    QSet<QString> owedDeletions;
    for (const ContactFileRecord& r : records_)
        if (r.ChangeState == ContactChangeState::Deleted) owedDeletions.insert(r.Id);
    ids.reserve(ids.size() + static_cast<qsizetype>(records_.size()));
    for (const ContactFileRecord& r : records_)
        if (!owedDeletions.contains(r.Id)) ids.append(r.Id);
}

std::uint32_t CContactWinVista::IDtoCRC32(const QString& id)
{
    const std::vector<int>& matches = Matches(id);
    if (matches.empty()) return Crc32(QByteArray());
    const ContactFileRecord& r = records_[matches.back()];
    QStringList groups = EffectiveGroups(r);
    std::sort(groups.begin(), groups.end());
    // The picture's bytes, then the UTF-16LE bytes of the group names and the fields, as one text.
    std::uint32_t crc = Crc32Update(0, r.Picture.constData(), static_cast<std::size_t>(r.Picture.size()));
    const auto hash = [&crc](const QString& text) {
        static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "UTF-16 units are hashed as they lie in memory");
        crc = Crc32Update(crc, text.utf16(), static_cast<std::size_t>(text.size()) * 2);
    };
    for (const QString& group : groups) hash(group);
    for (Member field : kChecksumFields)
        if (const Text& value = r.*field) hash(*value);
    return crc;
}

void CContactWinVista::PrepareToCheck()
{
    CreateContactsFolder();
    Load();
}

void CContactWinVista::CreateContactsFolder()
{
    if (!folder_.isEmpty()) ::mkdir(QFile::encodeName(folder_).constData(), 0755);
}

void CContactWinVista::Load()
{
    DetermineFolder();
    if (folder_.isEmpty()) throw AgentError("the Contacts folder cannot be determined");
    LoadListed(ListContactsFolder(folder_), {});
}

void CContactWinVista::LoadListed(const ContactFolderListing& listing, const QSet<QString>& skippedPaths)
{
    const std::size_t first = records_.size();
    records_.reserve(first + static_cast<std::size_t>(listing.contactFiles.size()));
    index_.reserve(static_cast<qsizetype>(first) + listing.contactFiles.size());
    for (const QString& name : listing.contactFiles) {
        ContactFileRecord r;
        r.FileTitle = TitleOf(name, kContactSuffix);
        r.FilePath = PathOf(name);
        if (skippedPaths.contains(r.FilePath)) continue;
        const auto bytes = ReadDamageableFile(r.FilePath, QStringLiteral("left out"));
        if (!bytes) continue;  // gone since the folder was listed, or left out
        ContactReadHooks hooks;
        hooks.note = [&](const QString& what) { Note(r.FilePath, what); };
        hooks.readPictureFile = [&](const QString& reference) -> std::optional<QByteArray> {
            QString why;
            auto picture = ReadPictureReference(reference, &why);
            if (!picture) Note(r.FilePath, QStringLiteral("the picture \"%1\" is left out: %2").arg(reference, why));
            return picture;
        };
        if (!ReadContactBytes(*bytes, r, hooks)) {
            Note(r.FilePath, QStringLiteral("not well-formed XML or nested too deep; left out"));
            continue;
        }
        if (r.Id.size() != kContactIdUnits + kZeros.size()) {
            Note(r.FilePath, QStringLiteral("no usable contact identifier; left out"));
            continue;
        }
        Append(std::move(r));
    }

    // Memberships go to the records this load appended: copies from an earlier load have theirs.
    for (const QString& name : listing.groupFiles) {
        const QString title = TitleOf(name, kGroupSuffix);
        const QString path = PathOf(name);
        const auto bytes = ReadDamageableFile(path, QStringLiteral("its members are left out"));
        if (!bytes) continue;
        const GroupFileMembers members = ReadGroupMembers(*bytes);
        if (members.form == GroupFileMembers::Form::NotXml)
            Note(path, QStringLiteral("not well-formed XML or nested too deep; its members are left out"));
        if (!members.list.complete)
            Note(path, QStringLiteral("the member list runs past its bytes; only its complete members count"));
        for (const QByteArray& member : members.list.members) {
            for (int i : Matches(MemberIdentifier(member)))
                if (static_cast<std::size_t>(i) >= first) records_[static_cast<std::size_t>(i)].GroupNames.append(title);
        }
        knownGroups_.append(title);
    }
}

const std::vector<int>& CContactWinVista::LoadedOrOnDisk(const QString& id)
{
    if (!Matches(id).empty()) return Matches(id);
    if (folder_.isEmpty()) throw AgentError("the Contacts folder cannot be determined");
    // The records are forgotten at a state load, a release or a commit outside a state save, and
    // the peer may still go on with the contacts its check listed: the folder decides. Only the
    // files no record holds are read, so that a peer deleting contacts that are long gone does
    // not read the whole folder each time once it has been loaded.
    QSet<QString> loadedPaths;
    for (const ContactFileRecord& r : records_) loadedPaths.insert(r.FilePath);
    CContactWinVista onDisk(folder_, {});
    onDisk.LoadListed(ListContactsFolder(folder_), loadedPaths);
    const std::vector<int>& found = onDisk.Matches(id);
    if (found.empty()) return Matches(id);
    Append(std::move(onDisk.records_[static_cast<std::size_t>(found.back())]));
    for (const QString& title : onDisk.knownGroups_)
        if (!knownGroups_.contains(title)) knownGroups_.append(title);
    return Matches(id);
}

std::optional<QByteArray> CContactWinVista::ReadDamageableFile(const QString& path, const QString& consequence) const
{
    try {
        return ReadExistingFile(path);
    } catch (const MalformedData& e) {
        // The reason names the file.
        if (log_) log_(QStringLiteral("Windows Contacts: %1; %2").arg(QString::fromStdString(e.what()), consequence));
        return std::nullopt;
    }
}

QString CContactWinVista::GroupTitle(const QString& name, const QStringList& groupsOnDisk) const
{
    for (const QString& known : knownGroups_)
        if (known.compare(name, Qt::CaseInsensitive) == 0) return known;
    for (const QString& file : groupsOnDisk) {
        const QString title = TitleOf(file, kGroupSuffix);
        if (title.compare(name, Qt::CaseInsensitive) == 0) return title;
    }
    return name;
}

void CContactWinVista::LeaveGroup(const QString& title, const QSet<QString>& ids) const
{
    const QString path = GroupPath(title);
    const auto bytes = ReadExistingFile(path);
    if (!bytes) return;
    if (const auto changed = RemoveGroupMembers(*bytes, ids))
        ReplaceUserFile(path, *changed, LinkAtPath::Replace, kNewFileMode);
}

void CContactWinVista::JoinGroup(const QString& title, const std::vector<GroupMemberRef>& members)
{
    const QString path = GroupPath(title);
    // A group file that appeared since the load is added to, never replaced (even one that
    // appears while the new file is written); one that went is written anew.
    for (int attempt = 1;; ++attempt) {
        if (const auto bytes = ReadExistingFile(path)) {
            if (const auto changed = AddGroupMembers(*bytes, members))
                ReplaceUserFile(path, *changed, LinkAtPath::Replace, kNewFileMode);
            break;
        }
        if (WriteNewFileAtomically(path, NewGroupFileContent(title, NewGuidText(), members), kNewFileMode))
            break;
        // Taken by something that is no file to add to (a dangling link), or again and again.
        if (attempt == 3)
            throw AgentError("the group file " + path.toStdString() +
                             " cannot be written: its name is taken");
    }
    if (!knownGroups_.contains(title)) knownGroups_.append(title);
}

namespace {

// Whether the record holds a change that only the commit writes: a deletion, or a group change.
bool OwesTheFiles(const ContactFileRecord& r)
{
    switch (r.ChangeState) {
        case ContactChangeState::Deleted:
            return true;
        case ContactChangeState::Added:
            return !r.GroupNames.isEmpty();
        case ContactChangeState::Edited:
            return r.NewSinceLoad || r.NewGroupNames.has_value();
        default:
            return false;
    }
}

}  // namespace

bool CContactWinVista::HoldsUnwrittenChanges() const
{
    return std::any_of(records_.begin(), records_.end(), OwesTheFiles);
}

CommitOutcome CContactWinVista::Commit(bool keepWritten)
{
    CommitOutcome outcome;
    // The contacts whose changes did not all reach the files.
    QSet<QString> unwritten;
    const auto attempt = [&](const QString& file, const QSet<QString>& ids, const auto& step) {
        try {
            step();
        } catch (const std::exception& e) {
            outcome.failures << file + QStringLiteral(" (") + QString::fromStdString(e.what()) + u')';
            unwritten.unite(ids);
        }
    };
    const auto idsOf = [](const std::vector<GroupMemberRef>& members) {
        QSet<QString> ids;
        for (const GroupMemberRef& m : members) ids.insert(m.id);
        return ids;
    };
    QStringList groupsOnDisk;
    attempt(folder_, {}, [&] { groupsOnDisk = ListContactsFolder(folder_).groupFiles; });
    const auto titlesOf = [&](const QStringList& names) {
        QStringList titles;
        for (const QString& name : names) titles << GroupTitle(name, groupsOnDisk);
        return titles;
    };
    const auto joinAll = [&](const std::map<QString, std::vector<GroupMemberRef>>& joins) {
        // Named members, not a structured binding: clang 14 lets no lambda capture a binding.
        for (const auto& join : joins)
            attempt(join.first + QStringLiteral(".group"), idsOf(join.second),
                    [&] { JoinGroup(join.first, join.second); });
    };

    // 1. Deleted contacts leave their groups, then their files go.
    QSet<QString> deletedIds;
    QStringList deletedGroups;
    for (const ContactFileRecord& r : records_) {
        if (r.ChangeState != ContactChangeState::Deleted) continue;
        deletedIds.insert(r.Id);
        deletedGroups << titlesOf(r.GroupNames);
    }
    for (const QString& title : SortedUnique(deletedGroups))
        attempt(title + QStringLiteral(".group"), deletedIds, [&] { LeaveGroup(title, deletedIds); });
    for (const ContactFileRecord& r : records_) {
        if (r.ChangeState != ContactChangeState::Deleted) continue;
        if (::unlink(QFile::encodeName(r.FilePath).constData()) != 0 && errno != ENOENT) {
            outcome.failures << r.FilePath + QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(errno)) + u')';
            unwritten.insert(r.Id);
        }
    }

    // 2. Added contacts join their groups.
    std::map<QString, std::vector<GroupMemberRef>> joins;
    for (const ContactFileRecord& r : records_)
        if (r.ChangeState == ContactChangeState::Added)
            for (const QString& title : SortedUnique(titlesOf(r.GroupNames))) joins[title].push_back({r.Id, r.FilePath});
    joinAll(joins);

    // 3. Edited contacts leave the groups they no longer name and join the new ones. A contact
    // added since the load is in no group file yet: it only joins.
    std::map<QString, QSet<QString>> leaves;
    joins.clear();
    for (const ContactFileRecord& r : records_) {
        if (r.ChangeState != ContactChangeState::Edited) continue;
        QStringList leave, join;
        if (r.NewSinceLoad) {
            join = titlesOf(r.NewGroupNames.value_or(r.GroupNames));
        } else if (r.NewGroupNames) {
            const QStringList before = titlesOf(r.GroupNames);
            const QStringList after = titlesOf(*r.NewGroupNames);
            for (const QString& t : before)
                if (!after.contains(t)) leave << t;
            for (const QString& t : after)
                if (!before.contains(t)) join << t;
        }
        for (const QString& title : SortedUnique(leave)) leaves[title].insert(r.Id);
        for (const QString& title : SortedUnique(join)) joins[title].push_back({r.Id, r.FilePath});
    }
    for (const auto& leave : leaves)
        attempt(leave.first + QStringLiteral(".group"), leave.second, [&] { LeaveGroup(leave.first, leave.second); });
    joinAll(joins);

    // The records whose changes did not all reach the files stay, to be committed again at the
    // next chance. The others are forgotten, or kept as the files now hold them.
    if (keepWritten) {
        std::vector<ContactFileRecord> kept;
        for (ContactFileRecord& r : records_) {
            if (unwritten.contains(r.Id)) {
                if (OwesTheFiles(r)) kept.push_back(std::move(r));
                continue;
            }
            if (deletedIds.contains(r.Id)) continue;  // every copy: the file is gone
            r.GroupNames = EffectiveGroups(r, groupsOnDisk);
            r.NewGroupNames.reset();
            r.NewSinceLoad = false;
            r.ChangeState = ContactChangeState::Unchanged;
            kept.push_back(std::move(r));
        }
        std::vector<ContactFileRecord>().swap(records_);
        decltype(index_)().swap(index_);
        for (ContactFileRecord& r : kept) Append(std::move(r));
    } else {
        ForgetRecordsBut([&](const ContactFileRecord& r) { return unwritten.contains(r.Id) && OwesTheFiles(r); });
    }

    // What the files say of those contacts now, read as the next load will read them.
    if (!unwritten.isEmpty()) {
        try {
            CContactWinVista onDisk(folder_, {});
            onDisk.Load();
            for (const QString& id : unwritten) {
                CommitOutcome::ItemOnDisk item{id, std::nullopt};
                if (!onDisk.Matches(id).empty()) item.checksum = onDisk.IDtoCRC32(id);
                outcome.onDisk.push_back(std::move(item));
            }
        } catch (const std::exception& e) {
            outcome.failures << folder_ + QStringLiteral(" (") + QString::fromStdString(e.what()) + u')';
        }
    }
    return outcome;
}

CommitOutcome CContactWinVista::CommitChanges() { return Commit(false); }

CommitOutcome CContactWinVista::AtStateSave() { return Commit(true); }

void CContactWinVista::Unload()
{
    const CommitOutcome outcome = CommitChanges();
    if (!outcome.failures.isEmpty())
        throw AgentError(QStringLiteral("the contacts could not all be saved: %1")
                             .arg(outcome.failures.join(QStringLiteral(", ")))
                             .toStdString());
}

void CContactWinVista::ClearRecords()
{
    // Changes that only a commit writes are not given up: their records stay until it does.
    ForgetRecordsBut(OwesTheFiles);
}

void CContactWinVista::ForgetRecordsBut(const std::function<bool(const ContactFileRecord&)>& keep)
{
    std::vector<ContactFileRecord> kept;
    for (ContactFileRecord& r : records_)
        if (keep(r)) kept.push_back(std::move(r));
    // Swapping with empty containers gives their capacity back: clear() would keep room for the
    // largest folder ever checked for as long as the agent runs.
    std::vector<ContactFileRecord>().swap(records_);
    decltype(index_)().swap(index_);
    QStringList().swap(knownGroups_);
    for (ContactFileRecord& r : kept) Append(std::move(r));
}

QString CContactWinVista::GetGroupNames()
{
    QString text;
    for (const QString& name : ListContactsFolder(folder_).groupFiles) text += TitleOf(name, kGroupSuffix) + u',';
    return text;
}

}  // namespace ContactsVista
