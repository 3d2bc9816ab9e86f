#include "support/outlook/outlook_emulation.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "common/clock.h"

namespace {

constexpr double kNoDateValue = 949998.0;
constexpr double kNoEndDateValue = 949997.99930555556;
constexpr ComStatus kNotFoundError = static_cast<ComStatus>(0x8004010F);

// DISPIDs the emulation gives a meaning beyond storing a value.
constexpr DispId kEntryId = 0xF01E, kClass = 0xF00A, kSaved = 0xF0A3, kCreationTime = 0x3007,
                 kLastModification = 0x3008, kBody = 0x9100, kNoteSubject = 0xF7A0, kStart = 0x820D,
                 kEnd = 0x820E, kDuration = 0x8213, kAppointmentRecurring = 0x8223, kTaskRecurring = 0xF617,
                 kRecurrenceState = 0xF545, kHasPicture = 0xFABF, kPatternEnd = 0x1002, kNoEndDate = 0x100B,
                 kRecurrenceType = 0x1007, kInterval = 0x1004;

VariantValue DefaultOf(EmuType type)
{
    switch (type) {
        case EmuType::Text:
            return VariantValue::Text({});
        case EmuType::I4:
            return VariantValue::I4(0);
        case EmuType::Bool:
            return VariantValue::Bool(false);
        case EmuType::Date:
            return VariantValue::Date(kNoDateValue);
        default:
            return {};
    }
}

int ClassOf(EmuObject object)
{
    switch (object) {
        case EmuObject::Appointment:
            return 26;
        case EmuObject::Contact:
            return 40;
        case EmuObject::Note:
            return 44;
        case EmuObject::Task:
            return 48;
        case EmuObject::DistList:
            return 69;
        default:
            return 0;
    }
}

EmuObject ObjectOfFolder(EmuFolder folder)
{
    switch (folder) {
        case EmuFolder::Calendar:
            return EmuObject::Appointment;
        case EmuFolder::Contacts:
            return EmuObject::Contact;
        case EmuFolder::Tasks:
            return EmuObject::Task;
        case EmuFolder::Notes:
            return EmuObject::Note;
    }
    return EmuObject::Contact;
}

// Coerces an argument to a parameter's type; false for a type Outlook would refuse.
bool Coerce(const VariantValue& in, EmuType type, VariantValue& out)
{
    const VariantType t = in.Type();
    const bool integral = t == VariantType::I2 || t == VariantType::I4 || t == VariantType::Bool;
    switch (type) {
        case EmuType::Text:
            if (t != VariantType::BStr) return false;
            out = in;
            return true;
        case EmuType::I4:
            if (!integral) return false;
            out = VariantValue::I4(in.Integer());
            return true;
        case EmuType::Bool:
            if (!integral) return false;
            out = VariantValue::Bool(in.Integer() != 0);
            return true;
        case EmuType::Date:
            if (t != VariantType::Date && t != VariantType::R8) return false;
            out = VariantValue::Date(in.Real());
            return true;
        case EmuType::Index:
            if (t != VariantType::I2 && t != VariantType::I4) return false;
            out = in;
            return true;
        default:
            return false;
    }
}

// A planted value must already have the property's type (a date may come as a number).
bool CoerceStrictly(const VariantValue& in, EmuType type, VariantValue& out)
{
    const VariantType t = in.Type();
    switch (type) {
        case EmuType::Text:
            if (t != VariantType::BStr) return false;
            break;
        case EmuType::I4:
            if (t != VariantType::I4 && t != VariantType::I2) return false;
            break;
        case EmuType::Bool:
            if (t != VariantType::Bool) return false;
            break;
        case EmuType::Date:
            if (t != VariantType::Date && t != VariantType::R8 && t != VariantType::I4) return false;
            out = VariantValue::Date(t == VariantType::I4 ? in.Integer() : in.Real());
            return true;
        default:
            return false;
    }
    return Coerce(in, type, out);
}

QString FirstLine(const QString& text)
{
    const qsizetype cr = text.indexOf(QLatin1Char('\r'));
    const qsizetype lf = text.indexOf(QLatin1Char('\n'));
    qsizetype end = text.size();
    if (cr >= 0) end = std::min(end, cr);
    if (lf >= 0) end = std::min(end, lf);
    return text.left(end);
}

}  // namespace

const char* EmuFolderName(EmuFolder folder)
{
    switch (folder) {
        case EmuFolder::Calendar:
            return "calendar";
        case EmuFolder::Contacts:
            return "contacts";
        case EmuFolder::Tasks:
            return "tasks";
        case EmuFolder::Notes:
            return "notes";
    }
    return "";
}

bool EmuFolderFromName(const QString& name, EmuFolder& folder)
{
    for (EmuFolder f : kEmuFolders)
        if (name == QLatin1String(EmuFolderName(f))) {
            folder = f;
            return true;
        }
    return false;
}

struct PlantedFault {
    EmuFault fault;
    int matched = 0;
};

struct OutlookEmulation::State {
    std::vector<int> versions{14};
    int version = 14;
    QHash<QString, bool> createFails;  // lower-case ProgID
    bool gone = false;
    std::vector<std::pair<QString, int>> stores{{QStringLiteral("S1"), 3}};
    QStringList categories;
    double clock = LocalNowOleDate();
    std::vector<std::shared_ptr<EmuItem>> folders[4];
    QHash<QString, std::shared_ptr<EmuItem>> byEntryId;
    std::uint64_t nextId = 1;
    std::vector<PlantedFault> faults;
    int live = 0;
    QMap<QString, int> creations;
    std::vector<EmuCall> journal;
    bool journalOn = true;
    std::function<void()> listener;
    std::function<void(const EmuCall&)> callListener;

    std::vector<std::shared_ptr<EmuItem>>& Folder(EmuFolder f) { return folders[static_cast<int>(f)]; }

    QString NewEntryId()
    {
        const int width = !stores.empty() && stores.front().second == 0 ? 140 : 48;
        return QString::number(nextId++, 16).toUpper().rightJustified(width, QLatin1Char('0'));
    }

    void Changed()
    {
        if (listener) listener();
    }

    // The value a property reads, derived ones included.
    VariantValue Read(const EmuItem& item, const EmuMember& m) const
    {
        switch (m.dispId) {
            case kEntryId:
                return VariantValue::Text(item.entryId);
            case kClass:
                if (item.values.contains(kClass)) break;
                return VariantValue::I4(ClassOf(item.object));
            case kNoteSubject:
                if (item.object == EmuObject::Note)
                    return VariantValue::Text(
                        FirstLine(item.values.value(kBody, VariantValue::Text({})).String()));
                break;
            case kAppointmentRecurring:
                if (item.object == EmuObject::Appointment) return VariantValue::Bool(item.recurring);
                break;
            case kTaskRecurring:
                return VariantValue::Bool(item.recurring);
            case kRecurrenceState:
                return VariantValue::I4(item.recurring ? 1 : 0);
            case kHasPicture:
                if (item.plantedHasPicture) return VariantValue::Bool(*item.plantedHasPicture);
                return VariantValue::Bool(std::any_of(item.attachments.begin(), item.attachments.end(),
                                                      [](const EmuAttachment& a) { return a.picture; }));
            default:
                break;
        }
        const auto it = item.values.constFind(m.dispId);
        return it != item.values.cend() ? it.value() : DefaultOf(m.type);
    }

    VariantValue ReadPattern(const EmuItem& item, const EmuMember& m) const
    {
        if (m.dispId == kPatternEnd &&
            item.pattern.value(kNoEndDate, VariantValue::Bool(false)).Integer() != 0)
            return VariantValue::Date(kNoEndDateValue);
        const auto it = item.pattern.constFind(m.dispId);
        return it != item.pattern.cend() ? it.value() : DefaultOf(m.type);
    }

    static void MakeRecurring(EmuItem& item)
    {
        if (item.recurring) return;
        item.recurring = true;
        item.pattern.clear();
        item.pattern.insert(kRecurrenceType, VariantValue::I4(1));
        item.pattern.insert(kInterval, VariantValue::I4(1));
        item.pattern.insert(kNoEndDate, VariantValue::Bool(true));
    }

    std::shared_ptr<EmuItem> Stored(const QString& entryId) const { return byEntryId.value(entryId); }

    void Store(const std::shared_ptr<EmuItem>& item)
    {
        Folder(item->folder).push_back(item);
        byEntryId.insert(item->entryId, item);
    }

    bool Remove(const QString& entryId)
    {
        const std::shared_ptr<EmuItem> item = byEntryId.take(entryId);
        if (!item) return false;
        auto& folder = Folder(item->folder);
        // Searched from the end: emptying a folder deletes its last item first.
        for (auto it = folder.rbegin(); it != folder.rend(); ++it)
            if (*it == item) {
                folder.erase(std::next(it).base());
                break;
            }
        return true;
    }
};

namespace {

using State = OutlookEmulation::State;

InvokeResult Ok(VariantValue v = {})
{
    return {com_status::kOk, std::move(v), {}};
}

InvokeResult Status(ComStatus status)
{
    return {status, {}, {}};
}

InvokeResult OutlookError(const QString& description, ComStatus code = kNotFoundError)
{
    InvokeResult r;
    r.status = com_status::kException;
    r.exception.code = code;
    r.exception.source = QStringLiteral("Microsoft Outlook");
    r.exception.description = description;
    return r;
}

// Every object the emulation hands out: the rules of the call, the journal, faults and the
// live count are here; each kind answers its members in Do.
class Proxy : public AutomationObject {
public:
    Proxy(std::shared_ptr<State> state, EmuObject object) : state_(std::move(state)), object_(object)
    {
        ++state_->live;
    }
    ~Proxy() override
    {
        if (--state_->live == 0) state_->Changed();
    }

    InvokeResult Invoke(DispId dispId, InvokeKind kind, const std::vector<VariantValue>& arguments) final
    {
        State& s = *state_;
        const QString entryId = EntryId();
        if (s.journalOn) s.journal.push_back({object_, entryId, dispId, kind, arguments});
        if (s.callListener) s.callListener({object_, entryId, dispId, kind, arguments});
        if (s.gone) return Status(com_status::kDisconnected);
        const EmuMember* m = FindEmuMember(object_, dispId);
        if (!m || m->firstVersion > s.version) return Status(com_status::kMemberNotFound);
        std::size_t minArgs = 0, maxArgs = 0;
        if (m->method) {
            if (kind != InvokeKind::Method) return Status(com_status::kMemberNotFound);
            maxArgs = m->arguments.size();
            minArgs = maxArgs - static_cast<std::size_t>(m->optionalArguments);
        } else if (kind == InvokeKind::PropertyGet) {
        } else if (kind == InvokeKind::PropertyPut) {
            if (m->IsReadOnlyIn(s.version)) return Status(com_status::kMemberNotFound);
            minArgs = maxArgs = 1;
        } else {
            return Status(com_status::kMemberNotFound);
        }
        if (arguments.size() < minArgs || arguments.size() > maxArgs)
            return Status(com_status::kBadParamCount);
        std::vector<VariantValue> coerced(arguments.size());
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const EmuType type = m->method ? m->arguments[i] : m->type;
            if (!Coerce(arguments[i], type, coerced[i])) return Status(com_status::kTypeMismatch);
        }
        // Every matching fault counts the call, whichever of them answers it.
        const PlantedFault* firing = nullptr;
        for (PlantedFault& f : s.faults) {
            if (f.fault.object != object_ || f.fault.dispId != dispId || f.fault.kind != kind) continue;
            if (!f.fault.entryId.isEmpty() && f.fault.entryId != entryId) continue;
            ++f.matched;
            if (!firing && (f.fault.nth == 0 || f.fault.nth == f.matched)) firing = &f;
        }
        if (firing) {
            if (firing->fault.nothing) return Nothing();
            if (firing->fault.outlookError)
                return OutlookError(
                    QStringLiteral("The operation failed (planted %1).").arg(QLatin1String(m->name)),
                    com_status::kFail);
            return Status(firing->fault.status);
        }
        return Do(*m, kind, coerced);
    }

protected:
    virtual QString EntryId() const { return {}; }
    virtual InvokeResult Do(const EmuMember& m, InvokeKind kind, const std::vector<VariantValue>& args) = 0;

    template <class P, class... A>
    InvokeResult Hand(A&&... args)
    {
        return Ok(VariantValue::Object(std::make_shared<P>(state_, std::forward<A>(args)...)));
    }
    static InvokeResult Nothing() { return Ok(VariantValue::Object(nullptr)); }

    std::shared_ptr<State> state_;
    EmuObject object_;
};

class ItemProxy;

class PatternProxy : public Proxy {
public:
    PatternProxy(std::shared_ptr<State> s, std::shared_ptr<EmuItem> copy)
        : Proxy(std::move(s), EmuObject::RecurrencePattern), copy_(std::move(copy))
    {
    }
    QString EntryId() const override { return copy_->entryId; }
    InvokeResult Do(const EmuMember& m, InvokeKind kind, const std::vector<VariantValue>& args) override
    {
        if (kind == InvokeKind::PropertyGet) return Ok(state_->ReadPattern(*copy_, m));
        copy_->pattern.insert(m.dispId, args[0]);
        if (m.dispId == kPatternEnd) copy_->pattern.insert(kNoEndDate, VariantValue::Bool(false));
        copy_->values.insert(kSaved, VariantValue::Bool(false));
        return Ok();
    }

private:
    std::shared_ptr<EmuItem> copy_;
};

class AttachmentProxy : public Proxy {
public:
    AttachmentProxy(std::shared_ptr<State> s, std::shared_ptr<EmuItem> copy, std::size_t index)
        : Proxy(std::move(s), EmuObject::Attachment), copy_(std::move(copy)), index_(index)
    {
    }
    QString EntryId() const override { return copy_->entryId; }
    InvokeResult Do(const EmuMember&, InvokeKind, const std::vector<VariantValue>& args) override
    {
        if (index_ >= copy_->attachments.size())
            return OutlookError(QStringLiteral("The attachment is gone."));
        // Replaced, not rewritten in place: the old file goes and a new one takes its name, so
        // whoever opened the old one before the call reads nothing of the attachment.
        const QString path = args[0].String();
        QFile::remove(path);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
            file.write(copy_->attachments[index_].bytes) != copy_->attachments[index_].bytes.size())
            return OutlookError(QStringLiteral("Cannot save the attachment."), com_status::kFail);
        return Ok();
    }

private:
    std::shared_ptr<EmuItem> copy_;
    std::size_t index_;
};

enum class CollectionKind { FolderItems, Stores, Categories, Attachments };

class CollectionProxy : public Proxy {
public:
    CollectionProxy(std::shared_ptr<State> s, CollectionKind kind, EmuFolder folder = EmuFolder::Contacts,
                    std::shared_ptr<EmuItem> owner = {})
        : Proxy(std::move(s),
                kind == CollectionKind::Attachments ? EmuObject::Attachments : EmuObject::Items),
          kind_(kind),
          folder_(folder),
          owner_(std::move(owner))
    {
    }
    QString EntryId() const override { return owner_ ? owner_->entryId : QString(); }
    InvokeResult Do(const EmuMember& m, InvokeKind, const std::vector<VariantValue>& args) override;

private:
    int Count() const
    {
        switch (kind_) {
            case CollectionKind::FolderItems:
                return static_cast<int>(state_->Folder(folder_).size());
            case CollectionKind::Stores:
                return static_cast<int>(state_->stores.size());
            case CollectionKind::Categories:
                return static_cast<int>(state_->categories.size());
            case CollectionKind::Attachments:
                return static_cast<int>(owner_->attachments.size());
        }
        return 0;
    }
    InvokeResult Member(int index);

    CollectionKind kind_;
    EmuFolder folder_;
    std::shared_ptr<EmuItem> owner_;
    int cursor_ = 0;
};

class StoreProxy : public Proxy {
public:
    StoreProxy(std::shared_ptr<State> s, int index) : Proxy(std::move(s), EmuObject::Store), index_(index) {}
    InvokeResult Do(const EmuMember&, InvokeKind, const std::vector<VariantValue>&) override
    {
        if (index_ >= static_cast<int>(state_->stores.size()))
            return OutlookError(QStringLiteral("No such store."));
        return Ok(VariantValue::I4(state_->stores[static_cast<std::size_t>(index_)].second));
    }

private:
    int index_;
};

class CategoryProxy : public Proxy {
public:
    CategoryProxy(std::shared_ptr<State> s, int index)
        : Proxy(std::move(s), EmuObject::Category), index_(index)
    {
    }
    InvokeResult Do(const EmuMember&, InvokeKind, const std::vector<VariantValue>&) override
    {
        if (index_ >= state_->categories.size()) return OutlookError(QStringLiteral("No such category."));
        return Ok(VariantValue::Text(state_->categories[index_]));
    }

private:
    int index_;
};

class ItemProxy : public Proxy {
public:
    ItemProxy(std::shared_ptr<State> s, std::shared_ptr<EmuItem> copy)
        : Proxy(std::move(s), copy->object), copy_(std::move(copy))
    {
        copy_->values.insert(kSaved, VariantValue::Bool(true));
    }
    QString EntryId() const override { return copy_->entryId; }

    InvokeResult Do(const EmuMember& m, InvokeKind kind, const std::vector<VariantValue>& args) override
    {
        State& s = *state_;
        EmuItem& item = *copy_;
        if (kind == InvokeKind::PropertyGet) {
            if (m.type == EmuType::Object)
                return Hand<CollectionProxy>(CollectionKind::Attachments, EmuFolder::Contacts, copy_);
            return Ok(s.Read(item, m));
        }
        if (kind == InvokeKind::PropertyPut) {
            Put(item, m.dispId, args[0]);
            item.values.insert(kSaved, VariantValue::Bool(false));
            return Ok();
        }
        switch (m.dispId) {
            case 0xF048:  // Save
                return Save();
            case 0xF04A:  // Delete
                if (item.entryId.isEmpty() || !s.Remove(item.entryId))
                    return OutlookError(QStringLiteral("The item has been deleted or moved."));
                s.Changed();
                return Ok();
            case 0xF0A4:  // GetRecurrencePattern
                if (!item.recurring) {
                    State::MakeRecurring(item);
                    item.values.insert(kSaved, VariantValue::Bool(false));
                }
                return Hand<PatternProxy>(copy_);
            case 0xF0A5:  // ClearRecurrencePattern
                item.recurring = false;
                item.pattern.clear();
                item.values.insert(kSaved, VariantValue::Bool(false));
                return Ok();
            case 0xFABD:  // AddPicture
                return AddPicture(args[0].String());
            default:
                return Status(com_status::kMemberNotFound);
        }
    }

private:
    static void Put(EmuItem& item, DispId id, const VariantValue& value)
    {
        if (item.object == EmuObject::Appointment && (id == kStart || id == kEnd || id == kDuration)) {
            const double start = item.values.value(kStart, VariantValue::Date(kNoDateValue)).Real();
            const int duration = item.values.value(kDuration, VariantValue::I4(0)).Integer();
            if (id == kStart) {
                item.values.insert(kStart, value);
                item.values.insert(kEnd, VariantValue::Date(value.Real() + duration / 1440.0));
            } else if (id == kEnd) {
                item.values.insert(kEnd, value);
                item.values.insert(kDuration, VariantValue::I4(static_cast<std::int32_t>(
                                                  std::lround((value.Real() - start) * 1440.0))));
            } else {
                item.values.insert(kDuration, value);
                item.values.insert(kEnd, VariantValue::Date(start + value.Integer() / 1440.0));
            }
            return;
        }
        item.values.insert(id, value);
    }

    InvokeResult Save()
    {
        State& s = *state_;
        EmuItem& item = *copy_;
        // The pictures given since the last save are taken from their files now.
        for (const QString& path : std::exchange(item.picturesToTake, {})) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                return OutlookError(QStringLiteral("Cannot open the picture file."), com_status::kFail);
            EmuAttachment picture{file.readAll(), true};
            auto& list = item.attachments;
            const auto it =
                std::find_if(list.begin(), list.end(), [](const EmuAttachment& a) { return a.picture; });
            if (it != list.end())
                *it = std::move(picture);
            else
                list.push_back(std::move(picture));
            item.plantedHasPicture.reset();
        }
        item.values.insert(kLastModification, VariantValue::Date(s.clock));
        item.values.insert(kSaved, VariantValue::Bool(true));
        if (item.entryId.isEmpty()) {
            item.entryId = s.NewEntryId();
            item.values.insert(kCreationTime, VariantValue::Date(s.clock));
            s.Store(std::make_shared<EmuItem>(item));
        } else {
            const std::shared_ptr<EmuItem> stored = s.Stored(item.entryId);
            if (!stored) return OutlookError(QStringLiteral("The item has been deleted or moved."));
            *stored = item;
        }
        s.Changed();
        return Ok();
    }

    InvokeResult AddPicture(const QString& path)
    {
        if (!QFile(path).open(QIODevice::ReadOnly))
            return OutlookError(QStringLiteral("Cannot open the picture file."));
        copy_->picturesToTake.push_back(path);
        copy_->values.insert(kSaved, VariantValue::Bool(false));
        return Ok();
    }

    std::shared_ptr<EmuItem> copy_;
};

InvokeResult CollectionProxy::Member(int index)
{
    if (index < 1 || index > Count())
        return OutlookError(QStringLiteral("Array index out of bounds."), com_status::kInvalidArg);
    const auto i = static_cast<std::size_t>(index - 1);
    switch (kind_) {
        case CollectionKind::FolderItems:
            return Hand<ItemProxy>(std::make_shared<EmuItem>(*state_->Folder(folder_)[i]));
        case CollectionKind::Stores:
            return Hand<StoreProxy>(index - 1);
        case CollectionKind::Categories:
            return Hand<CategoryProxy>(index - 1);
        case CollectionKind::Attachments:
            return Hand<AttachmentProxy>(owner_, i);
    }
    return Nothing();
}

InvokeResult CollectionProxy::Do(const EmuMember& m, InvokeKind, const std::vector<VariantValue>& args)
{
    switch (m.dispId) {
        case 0x50:
            return Ok(VariantValue::I4(Count()));
        case 0x51:
            return Member(args[0].Integer());
        case 0x56:
            cursor_ = 1;
            return cursor_ <= Count() ? Member(cursor_) : Nothing();
        case 0x57:
            ++cursor_;
            return cursor_ >= 1 && cursor_ <= Count() ? Member(cursor_) : Nothing();
        default:
            return Status(com_status::kMemberNotFound);
    }
}

class FolderProxy : public Proxy {
public:
    FolderProxy(std::shared_ptr<State> s, EmuFolder folder)
        : Proxy(std::move(s), EmuObject::Folder), folder_(folder)
    {
    }
    InvokeResult Do(const EmuMember& m, InvokeKind, const std::vector<VariantValue>&) override
    {
        if (m.dispId == 0x3100) return Hand<CollectionProxy>(CollectionKind::FolderItems, folder_);
        return Ok(VariantValue::Text(state_->stores.empty() ? QString() : state_->stores.front().first));
    }

private:
    EmuFolder folder_;
};

class NamespaceProxy : public Proxy {
public:
    explicit NamespaceProxy(std::shared_ptr<State> s) : Proxy(std::move(s), EmuObject::Namespace) {}
    InvokeResult Do(const EmuMember& m, InvokeKind, const std::vector<VariantValue>& args) override
    {
        switch (m.dispId) {
            case 0x210B:
                switch (args[0].Integer()) {
                    case 9:
                        return Hand<FolderProxy>(EmuFolder::Calendar);
                    case 10:
                        return Hand<FolderProxy>(EmuFolder::Contacts);
                    case 12:
                        return Hand<FolderProxy>(EmuFolder::Notes);
                    case 13:
                        return Hand<FolderProxy>(EmuFolder::Tasks);
                    default:
                        return OutlookError(QStringLiteral("The folder does not exist."),
                                            com_status::kInvalidArg);
                }
            case 0x2109: {
                if (args.size() > 1) {
                    const QString storeId = args[1].String();
                    const bool known = std::any_of(state_->stores.begin(), state_->stores.end(),
                                                   [&](const auto& st) { return st.first == storeId; });
                    if (!known) return OutlookError(QStringLiteral("The store could not be opened."));
                }
                const std::shared_ptr<EmuItem> stored = state_->Stored(args[0].String());
                if (!stored)
                    return OutlookError(
                        QStringLiteral("The message interface has returned an unknown error."));
                return Hand<ItemProxy>(std::make_shared<EmuItem>(*stored));
            }
            case 0xFAD0:
                return Hand<CollectionProxy>(CollectionKind::Stores);
            default:
                return Hand<CollectionProxy>(CollectionKind::Categories);
        }
    }
};

class ApplicationProxy : public Proxy {
public:
    explicit ApplicationProxy(std::shared_ptr<State> s) : Proxy(std::move(s), EmuObject::Application) {}
    InvokeResult Do(const EmuMember& m, InvokeKind, const std::vector<VariantValue>& args) override
    {
        if (m.dispId == 0x110) {
            if (args[0].String().compare(QLatin1String("MAPI"), Qt::CaseInsensitive) != 0)
                return OutlookError(QStringLiteral("Unknown namespace type."), com_status::kInvalidArg);
            return Hand<NamespaceProxy>();
        }
        auto item = std::make_shared<EmuItem>();
        switch (args[0].Integer()) {
            case 1:
                item->folder = EmuFolder::Calendar;
                break;
            case 2:
                item->folder = EmuFolder::Contacts;
                break;
            case 3:
                item->folder = EmuFolder::Tasks;
                break;
            case 5:
                item->folder = EmuFolder::Notes;
                break;
            default:
                return OutlookError(QStringLiteral("Unknown item type."), com_status::kInvalidArg);
        }
        item->object = ObjectOfFolder(item->folder);
        return Hand<ItemProxy>(item);
    }
};

}  // namespace

OutlookEmulation::OutlookEmulation() : state_(std::make_shared<State>()) {}

OutlookEmulation::~OutlookEmulation()
{
    Unregister();
    state_->listener = nullptr;
}

void OutlookEmulation::SetVersions(std::vector<int> versions)
{
    std::sort(versions.begin(), versions.end());
    versions.erase(std::unique(versions.begin(), versions.end()), versions.end());
    state_->versions = versions;
    state_->version = versions.empty() ? 0 : versions.back();
}

const std::vector<int>& OutlookEmulation::Versions() const
{
    return state_->versions;
}

int OutlookEmulation::Version() const
{
    return state_->version;
}

void OutlookEmulation::SetCreateFails(const QString& progId, bool fails)
{
    state_->createFails.insert(progId.toLower(), fails);
}

void OutlookEmulation::SetGone(bool gone)
{
    state_->gone = gone;
}

void OutlookEmulation::SetProfileStores(std::vector<std::pair<QString, int>> stores)
{
    state_->stores = std::move(stores);
}

void OutlookEmulation::SetCategories(const QStringList& names)
{
    state_->categories = names;
}

void OutlookEmulation::SetClock(double oleDate)
{
    state_->clock = oleDate;
}

double OutlookEmulation::Clock() const
{
    return state_->clock;
}

void OutlookEmulation::Register()
{
    Unregister();
    if (state_->versions.empty()) return;
    QStringList progIds;
    for (int v : state_->versions) progIds.append(QStringLiteral("Outlook.Application.%1").arg(v));
    progIds.append(QStringLiteral("Outlook.Application"));
    for (const QString& progId : progIds) {
        std::weak_ptr<State> weak = state_;
        RegisterAutomationServer(progId, [weak, progId]() -> std::shared_ptr<AutomationObject> {
            const std::shared_ptr<State> s = weak.lock();
            if (!s || s->gone || s->createFails.value(progId.toLower(), false)) return nullptr;
            ++s->creations[progId];
            return std::make_shared<ApplicationProxy>(s);
        });
    }
    registered_ = progIds;
}

void OutlookEmulation::Unregister()
{
    for (const QString& progId : registered_) UnregisterAutomationServer(progId);
    registered_.clear();
}

QString OutlookEmulation::PlantItem(EmuFolder folder, const EmuProperties& properties)
{
    auto item = std::make_shared<EmuItem>();
    item->folder = folder;
    item->object = ObjectOfFolder(folder);
    for (const auto& [name, value] : properties)
        if (folder == EmuFolder::Contacts && name == QLatin1String("Class") &&
            value.Type() == VariantType::I4 && value.Integer() == 69)
            item->object = EmuObject::DistList;
    for (const auto& [name, value] : properties) {
        const EmuMember* m = FindEmuMember(item->object, name);
        if (!m || m->method || m->type == EmuType::Object)
            throw std::invalid_argument("no property " + name.toStdString() + " on a " +
                                        EmuObjectName(item->object));
        VariantValue coerced;
        if (!CoerceStrictly(value, m->type, coerced))
            throw std::invalid_argument("property " + name.toStdString() + " has a value of the wrong type");
        if (m->dispId == kEntryId)
            item->entryId = coerced.String();
        else if (m->dispId == kHasPicture)
            item->plantedHasPicture = coerced.Integer() != 0;
        else
            item->values.insert(m->dispId, coerced);
    }
    if (item->entryId.isEmpty()) item->entryId = state_->NewEntryId();
    if (state_->byEntryId.contains(item->entryId))
        throw std::invalid_argument("two items with the EntryID " + item->entryId.toStdString());
    state_->Store(item);
    return item->entryId;
}

void OutlookEmulation::PlantPattern(const QString& entryId, const EmuProperties& pattern)
{
    const std::shared_ptr<EmuItem> item = state_->Stored(entryId);
    if (!item) throw std::invalid_argument("no item " + entryId.toStdString());
    if (item->object != EmuObject::Appointment && item->object != EmuObject::Task)
        throw std::invalid_argument("only appointments and tasks recur");
    State::MakeRecurring(*item);
    for (const auto& [name, value] : pattern) {
        const EmuMember* m = FindEmuMember(EmuObject::RecurrencePattern, name);
        VariantValue coerced;
        if (!m) throw std::invalid_argument("no pattern property " + name.toStdString());
        if (!CoerceStrictly(value, m->type, coerced))
            throw std::invalid_argument("pattern property " + name.toStdString() +
                                        " has a value of the wrong type");
        item->pattern.insert(m->dispId, coerced);
    }
    // A planted end date is an end, unless the plant says there is none.
    const auto has = [&](const char* name) {
        return std::any_of(pattern.begin(), pattern.end(),
                           [&](const auto& p) { return p.first == QLatin1String(name); });
    };
    if (has("PatternEndDate") && !has("NoEndDate"))
        item->pattern.insert(kNoEndDate, VariantValue::Bool(false));
}

void OutlookEmulation::PlantAttachment(const QString& entryId, const QByteArray& bytes, bool picture)
{
    const std::shared_ptr<EmuItem> item = state_->Stored(entryId);
    if (!item) throw std::invalid_argument("no item " + entryId.toStdString());
    item->attachments.push_back({bytes, picture});
}

void OutlookEmulation::PlantHasPicture(const QString& entryId, bool hasPicture)
{
    const std::shared_ptr<EmuItem> item = state_->Stored(entryId);
    if (!item) throw std::invalid_argument("no item " + entryId.toStdString());
    item->plantedHasPicture = hasPicture;
}

const EmuItem* OutlookEmulation::FindItem(const QString& entryId) const
{
    return state_->Stored(entryId).get();
}

std::vector<const EmuItem*> OutlookEmulation::ItemsIn(EmuFolder folder) const
{
    std::vector<const EmuItem*> items;
    for (const auto& item : state_->Folder(folder)) items.push_back(item.get());
    return items;
}

int OutlookEmulation::ItemCount(EmuFolder folder) const
{
    return static_cast<int>(state_->Folder(folder).size());
}

VariantValue OutlookEmulation::Value(const QString& entryId, DispId dispId) const
{
    const std::shared_ptr<EmuItem> item = state_->Stored(entryId);
    if (!item) return {};
    const EmuMember* m = FindEmuMember(item->object, dispId);
    return m ? state_->Read(*item, *m) : VariantValue();
}

VariantValue OutlookEmulation::Value(const QString& entryId, const QString& name) const
{
    const std::shared_ptr<EmuItem> item = state_->Stored(entryId);
    if (!item) return {};
    const EmuMember* m = FindEmuMember(item->object, name);
    return m ? state_->Read(*item, *m) : VariantValue();
}

VariantValue OutlookEmulation::PatternValue(const QString& entryId, const QString& name) const
{
    const std::shared_ptr<EmuItem> item = state_->Stored(entryId);
    const EmuMember* m = FindEmuMember(EmuObject::RecurrencePattern, name);
    if (!item || !m || !item->recurring) return {};
    return state_->ReadPattern(*item, *m);
}

void OutlookEmulation::AddFault(const EmuFault& fault)
{
    state_->faults.push_back({fault, 0});
}

void OutlookEmulation::ClearFaults()
{
    state_->faults.clear();
}

int OutlookEmulation::LiveObjects() const
{
    return state_->live;
}

int OutlookEmulation::Creations(const QString& progId) const
{
    return state_->creations.value(progId, 0);
}

QMap<QString, int> OutlookEmulation::AllCreations() const
{
    return state_->creations;
}

const std::vector<EmuCall>& OutlookEmulation::Journal() const
{
    return state_->journal;
}

void OutlookEmulation::ClearJournal()
{
    state_->journal.clear();
}

void OutlookEmulation::SetJournalEnabled(bool enabled)
{
    state_->journalOn = enabled;
}

void OutlookEmulation::SetChangeListener(std::function<void()> listener)
{
    state_->listener = std::move(listener);
}

void OutlookEmulation::SetCallListener(std::function<void(const EmuCall&)> listener)
{
    state_->callListener = std::move(listener);
}
