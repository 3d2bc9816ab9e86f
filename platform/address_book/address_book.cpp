#include "platform/address_book/address_book.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <set>
#include <vector>
#include <span>

#include "platform/address_book/wab_faults.h"
#include "platform/address_book/wab_schema.h"
#include "platform/sqlite/sqlite_database.h"

namespace wab {

namespace {

// Another program holding the book for a moment (the user's own tools) is waited for this long.
constexpr int kBusyTimeoutMs = 2000;
// No statement of the book's takes a noticeable time; one that runs this long never ends.
constexpr std::chrono::milliseconds kStatementTimeLimit{5000};

// The book's callers map statuses, not texts: every failure of the file is WabError(Failed).
[[noreturn]] void ThrowBookFailure(const SqliteFailure& failure)
{
    const std::string path = failure.path.toStdString();
    if (failure.stage == SqliteFailure::Stage::Open)
        throw WabError(WabStatus::Failed, "cannot open the address book " + path + ": " + failure.reason);
    const char* what = "a statement failed";
    switch (failure.stage) {
        case SqliteFailure::Stage::Prepare:
            what = "cannot prepare a query";
            break;
        case SqliteFailure::Stage::Bind:
            what = "cannot bind a value";
            break;
        case SqliteFailure::Stage::Step:
            what = "a query failed";
            break;
        default:
            break;
    }
    std::string reason = failure.reason;
    if ((failure.code & 0xFF) == SQLITE_INTERRUPT) reason += " (the statement ran past its time limit)";
    throw WabError(WabStatus::Failed, "address book " + path + ": " + what + ": " + reason);
}

}  // namespace

struct BookFile {
    explicit BookFile(const QString& path) : db(path, kBusyTimeoutMs, ThrowBookFailure)
    {
        db.LimitStatementTime(kStatementTimeLimit);
    }
    SqliteDatabase db;
};

struct StoredRow {
    PropTag tag = 0;
    std::int64_t seq = 0;
    int type = SQLITE_NULL;  // SQLite's storage class
    std::int64_t integer = 0;
    QString text;
    QByteArray blob;
};

// An entry's stored properties as read when it was opened, sorted by tag and seq.
struct StoredProps {
    std::vector<StoredRow> rows;
};

std::unique_ptr<MapiProp> OpenStoredEntry(const std::shared_ptr<BookFile>& book, const EntryId& id,
                                          std::uint32_t flags);

namespace {

constexpr char kSelectEntry[] = "SELECT object_type FROM entries WHERE id = ?1";
constexpr char kSelectProps[] = "SELECT tag, seq, value FROM props WHERE entry = ?1 ORDER BY tag, seq";
// An entry and its properties in one read.
constexpr char kOpenEntry[] =
    "SELECT e.object_type, p.tag, p.seq, p.value FROM entries e LEFT JOIN props p ON p.entry = e.id "
    "WHERE e.id = ?1 ORDER BY p.tag, p.seq";
constexpr char kDeletePropId[] = "DELETE FROM props WHERE entry = ?1 AND tag >= ?2 AND tag < ?3";
constexpr char kInsertProp[] = "INSERT INTO props(entry, tag, seq, value) VALUES(?1, ?2, ?3, ?4)";
constexpr char kInsertEntry[] = "INSERT INTO entries(object_type) VALUES(?1)";
constexpr char kSelectAllEntries[] = "SELECT id, object_type FROM entries ORDER BY id";
constexpr char kSelectMembers[] =
    "SELECT m.member, e.object_type FROM members m JOIN entries e ON e.id = m.member "
    "WHERE m.list = ?1 ORDER BY m.seq";
constexpr char kNextMemberSeq[] = "SELECT COALESCE(MAX(seq) + 1, 0) FROM members WHERE list = ?1";
constexpr char kInsertMember[] = "INSERT INTO members(list, seq, member) VALUES(?1, ?2, ?3)";
constexpr char kDeleteMember[] = "DELETE FROM members WHERE list = ?1 AND member = ?2";
constexpr char kDeleteEntry[] = "DELETE FROM entries WHERE id = ?1";
constexpr char kDeleteEntryProps[] = "DELETE FROM props WHERE entry = ?1";
constexpr char kDeleteListMembers[] = "DELETE FROM members WHERE list = ?1";
constexpr char kListNamed[] =
    "SELECT 1 FROM props p JOIN entries e ON e.id = p.entry "
    "WHERE p.tag = ?1 AND p.seq = 0 AND p.value = ?2 AND e.object_type = 8 LIMIT 1";

// The book's one container; no entry has the number 0.
const EntryId kPabId = EntryId(QByteArray(4, '\0'));
// Not an entry's identifier (those have 4 bytes): the template CreateEntry makes a list from.
const EntryId kDistListTemplate = EntryId(QByteArrayLiteral("\x00\x00\x00\x00\x08"));

// Entry identifiers have 4 bytes: numbers beyond them cannot be handed out.
constexpr std::int64_t kLastEntryRow = 0xFFFFFFFF;

[[noreturn]] void Throw(WabStatus status, const std::string& what)
{
    throw WabError(status, what);
}

// One property row from the statement's columns first (tag), first + 1 (seq), first + 2 (value).
StoredRow ReadStoredRow(SqliteStatement& st, int first)
{
    StoredRow row;
    row.tag = static_cast<PropTag>(st.Int(first));
    row.seq = st.Int(first + 1);
    row.type = st.Type(first + 2);
    if (row.type == SQLITE_INTEGER)
        row.integer = st.Int(first + 2);
    else if (row.type == SQLITE_TEXT)
        row.text = st.Text(first + 2);
    else if (row.type == SQLITE_BLOB)
        row.blob = st.Blob(first + 2);
    return row;
}

std::optional<PropValue> ScalarValue(PropTag tag, const StoredRow& row)
{
    switch (PropTypeOf(tag)) {
        case PT_LONG:
            if (row.type != SQLITE_INTEGER || row.integer < INT32_MIN || row.integer > INT32_MAX) return {};
            return PropValue::Long(tag, static_cast<std::int32_t>(row.integer));
        case PT_SYSTIME:
            if (row.type != SQLITE_INTEGER) return {};
            return PropValue::Time(tag, FileTime{row.integer});
        case PT_UNICODE:
            if (row.type != SQLITE_TEXT) return {};
            return PropValue::Unicode(tag, row.text);
        case PT_STRING8:
            if (row.type != SQLITE_BLOB) return {};
            return PropValue::String8(tag, row.blob);
        case PT_BINARY:
            if (row.type != SQLITE_BLOB) return {};
            return PropValue::Binary(tag, row.blob);
        default:
            return {};
    }
}

std::optional<PropValue> MultiValue(PropTag tag, std::span<const StoredRow> rows)
{
    const PropTag scalarTag = ChangeType(tag, BaseTypeOf(tag));
    std::vector<PropValue> values;
    for (const StoredRow& row : rows) {
        auto value = ScalarValue(scalarTag, row);
        if (!value) return {};
        values.push_back(std::move(*value));
    }
    switch (BaseTypeOf(tag)) {
        case PT_LONG: {
            std::vector<std::int32_t> v;
            for (const auto& value : values) v.push_back(*value.Long());
            return PropValue::MultiLong(tag, std::move(v));
        }
        case PT_SYSTIME: {
            std::vector<FileTime> v;
            for (const auto& value : values) v.push_back(*value.Time());
            return PropValue::MultiTime(tag, std::move(v));
        }
        case PT_UNICODE: {
            QStringList v;
            for (const auto& value : values) v.append(*value.Unicode());
            return PropValue::MultiUnicode(tag, std::move(v));
        }
        case PT_STRING8: {
            std::vector<QByteArray> v;
            for (const auto& value : values) v.push_back(*value.String8());
            return PropValue::MultiString8(tag, std::move(v));
        }
        case PT_BINARY: {
            std::vector<QByteArray> v;
            for (const auto& value : values) v.push_back(*value.Binary());
            return PropValue::MultiBinary(tag, std::move(v));
        }
        default:
            return {};
    }
}

// The value of exactly `tag` among an entry's rows (sorted by tag and seq), if stored and readable.
std::optional<PropValue> StoredValue(PropTag tag, std::span<const StoredRow> rows)
{
    const auto first = std::lower_bound(rows.begin(), rows.end(), tag,
                                        [](const StoredRow& row, PropTag t) { return row.tag < t; });
    auto last = first;
    while (last != rows.end() && last->tag == tag) ++last;
    if (first == last) return {};
    if (IsMultiValued(tag)) return MultiValue(tag, std::span<const StoredRow>(first, last));
    if (first->seq != 0) return {};
    return ScalarValue(tag, *first);
}

bool IsSupportedType(std::uint16_t type)
{
    switch (type & ~MV_FLAG) {
        case PT_LONG:
        case PT_SYSTIME:
        case PT_UNICODE:
        case PT_STRING8:
        case PT_BINARY:
            return true;
        default:
            return false;
    }
}

bool IsComputedId(std::uint16_t id)
{
    return id == PropIdOf(PR_ENTRYID) || id == PropIdOf(PR_OBJECT_TYPE);
}

// Binds one scalar of a value to the statement's value parameter.
void BindScalar(SqliteStatement& st, int index, const PropValue::Data& data, std::size_t i)
{
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::int32_t>)
                st.Bind(index, v);
            else if constexpr (std::is_same_v<T, FileTime>)
                st.Bind(index, v.ticks);
            else if constexpr (std::is_same_v<T, QString>)
                st.Bind(index, v);
            else if constexpr (std::is_same_v<T, QByteArray>)
                st.BindBlob(index, v);
            else if constexpr (std::is_same_v<T, std::vector<std::int32_t>>)
                st.Bind(index, v[i]);
            else if constexpr (std::is_same_v<T, std::vector<FileTime>>)
                st.Bind(index, v[i].ticks);
            else if constexpr (std::is_same_v<T, QStringList>)
                st.Bind(index, v[static_cast<qsizetype>(i)]);
            else if constexpr (std::is_same_v<T, std::vector<QByteArray>>)
                st.BindBlob(index, v[i]);
        },
        data);
}

std::size_t ValueCount(const PropValue::Data& data)
{
    return std::visit(
        [](const auto& v) -> std::size_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return 0;
            else if constexpr (std::is_same_v<T, std::int32_t> || std::is_same_v<T, FileTime> ||
                               std::is_same_v<T, QString> || std::is_same_v<T, QByteArray>)
                return 1;
            else
                return static_cast<std::size_t>(v.size());
        },
        data);
}

void WriteValue(SqliteDatabase& db, std::int64_t row, const PropValue& value)
{
    const std::size_t count = ValueCount(value.Value());
    for (std::size_t i = 0; i < count; ++i) {
        auto st = db.Cached(kInsertProp);
        st->Bind(1, row).Bind(2, value.Tag()).Bind(3, static_cast<std::int64_t>(i));
        BindScalar(*st, 4, value.Value(), i);
        st->Step();
    }
}

void DeleteProperty(SqliteDatabase& db, std::int64_t row, std::uint16_t id)
{
    db.Cached(kDeletePropId)
        ->Bind(1, row)
        .Bind(2, std::int64_t{id} << 16)
        .Bind(3, (std::int64_t{id} + 1) << 16)
        .Step();
}

std::optional<std::int32_t> StoredObjectType(SqliteDatabase& db, std::int64_t row)
{
    auto st = db.Cached(kSelectEntry);
    st->Bind(1, row);
    if (!st->Step() || st->Type(0) != SQLITE_INTEGER) return {};
    return static_cast<std::int32_t>(st->Int(0));
}

// Makes a missing book file, empty and readable by its owner alone.
void CreateEmptyFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST)
        Throw(WabStatus::Failed,
              "cannot create the address book " + path.toStdString() + ": " + std::strerror(errno));
    if (fd >= 0) ::close(fd);
}

// The rows of a file's schema, one text each ("type name table sql", the statement's white
// space collapsed), in order. Empty when the query fails; `ok` says whether it ran.
std::vector<std::string> SchemaRows(sqlite3* db, bool& ok)
{
    std::vector<std::string> rows;
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT type, name, tbl_name, sql FROM sqlite_schema", -1, &raw, nullptr);
    if (rc == SQLITE_OK)
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
            std::string row;
            for (int column = 0; column < 4; ++column) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, column));
                row += column ? "\x1f" : "";
                row += QByteArray(text ? text : "").simplified().toStdString();
            }
            rows.push_back(std::move(row));
        }
    sqlite3_finalize(raw);
    ok = rc == SQLITE_DONE;
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The schema a book made from the book's statements has: tables, their automatic indexes and
// SQLite's sequence table.
const std::vector<std::string>& BookSchemaRows()
{
    static const std::vector<std::string> rows = [] {
        sqlite3* db = nullptr;
        std::vector<std::string> made;
        bool ok = false;
        if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
            sqlite3_exec(db, kAddressBookSchema, nullptr, nullptr, nullptr) == SQLITE_OK)
            made = SchemaRows(db, ok);
        sqlite3_close(db);
        return ok ? made : std::vector<std::string>{};
    }();
    return rows;
}

// SQLite's check of every page of the file; the first problem it names, or nothing.
std::optional<std::string> IntegrityProblem(SqliteDatabase& db)
{
    db.StartStatementClock();
    sqlite3_stmt* raw = nullptr;
    std::optional<std::string> problem;
    int rc = sqlite3_prepare_v2(db.Handle(), "PRAGMA quick_check(1)", -1, &raw, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(raw)) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        if (!text || std::strcmp(text, "ok") != 0) problem = text ? text : "no answer";
    } else {
        problem = sqlite3_errmsg(db.Handle());
    }
    sqlite3_finalize(raw);
    return problem;
}

// Gives a file without anything in it the book's tables; refuses anything else but a book whose
// whole schema is the book's own (a trigger, view or index of another program could run or
// change anything at the book's next write) and whose pages are sound. A refused file is never
// written, not even switched to another journal mode.
void RequireBookSchema(SqliteDatabase& db)
{
    bool read = false;
    db.StartStatementClock();
    const std::vector<std::string> rows = SchemaRows(db.Handle(), read);
    if (!read)
        Throw(WabStatus::Failed, "the address book " + db.Path().toStdString() +
                                     " is not an SQLite database (" + sqlite3_errmsg(db.Handle()) +
                                     "); it is left as it is");
    if (const std::optional<std::string> problem = IntegrityProblem(db))
        Throw(WabStatus::Failed, "the address book " + db.Path().toStdString() +
                                     " is damaged (" + *problem + "); it is left as it is");
    if (rows.empty()) {
        SqliteTransaction transaction(db);
        db.Execute(kAddressBookSchema);
        transaction.Commit();
        return;
    }
    if (rows != BookSchemaRows())
        Throw(WabStatus::Failed, "the file " + db.Path().toStdString() +
                                     " holds other tables, triggers, views or indexes than an address book; "
                                     "it is left as it is");
    // Columns of another shape show when the queries are prepared.
    for (const char* sql : {kSelectProps, kSelectMembers, kInsertEntry, kInsertProp, kInsertMember}) {
        try {
            db.Cached(sql);
        } catch (const WabError&) {
            Throw(WabStatus::Failed, "the tables of " + db.Path().toStdString() +
                                         " are not an address book's; it is left as it is");
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// ContentsTable

ContentsTable::ContentsTable(std::shared_ptr<BookFile> book, std::optional<std::int64_t> list)
    : book_(std::move(book)), list_(list)
{
}

void ContentsTable::SetColumns(const PropTagArray& columns, std::uint32_t)
{
    columns_ = columns;
}

void ContentsTable::TakeRows()
{
    if (rows_) return;
    std::vector<Row> rows;
    SqliteDatabase& db = book_->db;
    auto st = db.Cached(list_ ? kSelectMembers : kSelectAllEntries);
    if (list_) st->Bind(1, *list_);
    while (st->Step()) rows.push_back(Row{st->Int(0), static_cast<std::int32_t>(st->Int(1))});
    rows_ = std::move(rows);
}

std::uint32_t ContentsTable::GetRowCount(std::uint32_t)
{
    CheckFault(WabCall::GetRowCount);
    TakeRows();
    return static_cast<std::uint32_t>(rows_->size());
}

std::vector<PropRow> ContentsTable::QueryRows(std::uint32_t count, std::uint32_t)
{
    CheckFault(WabCall::QueryRows);
    TakeRows();
    const bool computedOnly = std::all_of(columns_.begin(), columns_.end(),
                                          [](PropTag tag) { return IsComputedId(PropIdOf(tag)); });
    std::vector<PropRow> result;
    const std::size_t end = std::min(rows_->size(), next_ + count);
    result.reserve(end - next_);
    for (; next_ < end; ++next_) {
        const Row& row = (*rows_)[next_];
        PropRow values;
        values.reserve(columns_.size());
        if (computedOnly) {
            for (PropTag tag : columns_)
                values.push_back(PropIdOf(tag) == PropIdOf(PR_ENTRYID)
                                     ? PropValue::Binary(PR_ENTRYID, EntryId::FromRow(row.id).Bytes())
                                     : PropValue::Long(PR_OBJECT_TYPE, row.objectType));
        } else {
            std::unique_ptr<MapiProp> entry = OpenStoredEntry(book_, EntryId::FromRow(row.id), 0);
            if (!entry) Throw(WabStatus::Failed, "an entry went away while its table was read");
            values = entry->GetProps(columns_);
        }
        result.push_back(std::move(values));
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// MapiProp

MapiProp::MapiProp(std::shared_ptr<BookFile> book, std::int64_t row, std::int32_t objectType, bool modifiable)
    : book_(std::move(book)), row_(row), objectType_(objectType), modifiable_(modifiable)
{
}

MapiProp::~MapiProp() = default;

EntryId MapiProp::Id() const
{
    return row_ ? EntryId::FromRow(row_) : EntryId();
}

std::optional<PropValue> MapiProp::Computed(PropTag tag) const
{
    if (PropIdOf(tag) == PropIdOf(PR_ENTRYID))
        return row_ ? PropValue::Binary(PR_ENTRYID, Id().Bytes()) : PropValue::Error(PR_ENTRYID);
    if (PropIdOf(tag) == PropIdOf(PR_OBJECT_TYPE)) return PropValue::Long(PR_OBJECT_TYPE, objectType_);
    return {};
}

void MapiProp::RequireModifiable() const
{
    if (!modifiable_) Throw(WabStatus::NoAccess, "the entry was opened for reading only");
}

PropRow MapiProp::GetProps(const PropTagArray& tags, std::uint32_t)
{
    CheckFault(WabCall::GetProps);
    auto load = [&]() -> const std::vector<StoredRow>& {
        if (!stored_) {
            stored_ = std::make_unique<StoredProps>();
            if (row_ != 0) {
                auto st = book_->db.Cached(kSelectProps);
                st->Bind(1, row_);
                while (st->Step()) stored_->rows.push_back(ReadStoredRow(*st, 0));
            }
        }
        return stored_->rows;
    };

    PropRow result;
    result.reserve(tags.size());
    for (const PropTag tag : tags) {
        if (auto computed = Computed(tag)) {
            result.push_back(std::move(*computed));
            continue;
        }
        if (auto it = pending_.find(PropIdOf(tag)); it != pending_.end()) {
            const std::optional<PropValue>& value = it->second;
            const bool fits = value && (value->Tag() == tag ||
                                        (BaseTypeOf(tag) == PT_UNICODE && value->Tag() == EightBitTag(tag)));
            if (fits)
                result.push_back(*value);
            else
                result.push_back(PropValue::Error(tag));
            continue;
        }
        const std::vector<StoredRow>& stored = load();
        std::optional<PropValue> value = StoredValue(tag, stored);
        // 8-bit text stands in for missing wide text, as the platform's book answers.
        if (!value && BaseTypeOf(tag) == PT_UNICODE) value = StoredValue(EightBitTag(tag), stored);
        if (value)
            result.push_back(std::move(*value));
        else
            result.push_back(PropValue::Error(tag));
    }
    return result;
}

void MapiProp::SetProps(const std::vector<PropValue>& values)
{
    CheckFault(WabCall::SetProps);
    RequireModifiable();
    for (const PropValue& value : values) {
        if (Computed(value.Tag()) || IsComputedId(PropIdOf(value.Tag())))
            Throw(WabStatus::Computed, "a computed property cannot be set");
        if (!IsSupportedType(value.Type()) || std::holds_alternative<std::monostate>(value.Value()))
            Throw(WabStatus::InvalidParameter, "a property value of a type the book does not keep");
    }
    for (const PropValue& value : values) {
        if (IsMultiValued(value.Tag()) && ValueCount(value.Value()) == 0)
            pending_[PropIdOf(value.Tag())] = std::nullopt;
        else
            pending_[PropIdOf(value.Tag())] = value;
    }
}

void MapiProp::DeleteProps(const PropTagArray& tags)
{
    CheckFault(WabCall::DeleteProps);
    RequireModifiable();
    for (const PropTag tag : tags)
        if (Computed(tag) || IsComputedId(PropIdOf(tag)))
            Throw(WabStatus::Computed, "a computed property cannot be deleted");
    for (const PropTag tag : tags) pending_[PropIdOf(tag)] = std::nullopt;
}

void MapiProp::SaveChanges(std::uint32_t)
{
    RequireModifiable();
    SqliteDatabase& db = book_->db;
    SqliteTransaction transaction(db);
    std::int64_t row = row_;
    if (row == 0) {
        db.Cached(kInsertEntry)->Bind(1, objectType_).Step();
        row = db.LastInsertRowId();
        if (row > kLastEntryRow) Throw(WabStatus::Failed, "the address book has no entry numbers left");
    }
    for (const auto& [id, value] : pending_) {
        DeleteProperty(db, row, id);
        if (value) WriteValue(db, row, *value);
    }
    CheckFault(WabCall::SaveChanges);
    transaction.Commit();
    row_ = row;
    pending_.clear();
    stored_.reset();
}

// ---------------------------------------------------------------------------------------------
// DistList

void DistList::SaveChanges(std::uint32_t flags)
{
    if (row_ == 0 && (createFlags_ & CREATE_CHECK_DUP_STRICT)) {
        const PropValue name = GetProps({PR_DISPLAY_NAME_W}).front();
        if (const QString* text = name.Unicode()) {
            auto st = book_->db.Cached(kListNamed);
            st->Bind(1, PR_DISPLAY_NAME_W).Bind(2, *text);
            if (st->Step())
                Throw(WabStatus::Collision, "a list named \"" + text->toStdString() + "\" exists already");
        }
    }
    MapiProp::SaveChanges(flags);
}

ContentsTable DistList::GetContentsTable(std::uint32_t)
{
    CheckFault(WabCall::GetContentsTable);
    if (row_ == 0) Throw(WabStatus::NotFound, "a list not saved yet has no members");
    return ContentsTable(book_, row_);
}

void DistList::CreateEntry(const EntryId& member, std::uint32_t)
{
    CheckFault(WabCall::CreateEntry);
    RequireModifiable();
    const auto memberRow = member.Row();
    if (row_ == 0 || !memberRow || *memberRow == row_ || !StoredObjectType(book_->db, *memberRow))
        Throw(WabStatus::NotFound, "no entry to add to the list");
    SqliteDatabase& db = book_->db;
    SqliteTransaction transaction(db);
    auto next = db.Cached(kNextMemberSeq);
    next->Bind(1, row_);
    next->Step();
    const std::int64_t seq = next->Int(0);
    db.Cached(kInsertMember)->Bind(1, row_).Bind(2, seq).Bind(3, *memberRow).Step();
    transaction.Commit();
}

std::uint32_t DistList::DeleteEntries(const EntryList& members, std::uint32_t)
{
    CheckFault(WabCall::DeleteMembers);
    RequireModifiable();
    SqliteDatabase& db = book_->db;
    std::uint32_t missing = 0;
    SqliteTransaction transaction(db);
    for (const EntryId& member : members) {
        const auto memberRow = member.Row();
        if (!memberRow) {
            ++missing;
            continue;
        }
        db.Cached(kDeleteMember)->Bind(1, row_).Bind(2, *memberRow).Step();
        if (sqlite3_changes(db.Handle()) == 0) ++missing;
    }
    transaction.Commit();
    return missing;
}

// ---------------------------------------------------------------------------------------------
// ABContainer

ABContainer::ABContainer(std::shared_ptr<BookFile> book, bool modifiable)
    : MapiProp(std::move(book), 0, MAPI_ABCONT, modifiable)
{
}

std::optional<PropValue> ABContainer::Computed(PropTag tag) const
{
    if (PropIdOf(tag) == PropIdOf(PR_ENTRYID)) return PropValue::Binary(PR_ENTRYID, kPabId.Bytes());
    if (PropIdOf(tag) == PropIdOf(PR_DEF_CREATE_DL))
        return PropValue::Binary(PR_DEF_CREATE_DL, kDistListTemplate.Bytes());
    if (PropIdOf(tag) == PropIdOf(PR_OBJECT_TYPE)) return PropValue::Long(PR_OBJECT_TYPE, objectType_);
    // The container keeps no properties of its own.
    return PropValue::Error(tag);
}

void ABContainer::SaveChanges(std::uint32_t)
{
    // The container keeps nothing of its own: its entries are written as they are made.
}

ContentsTable ABContainer::GetContentsTable(std::uint32_t)
{
    CheckFault(WabCall::GetContentsTable);
    return ContentsTable(book_, std::nullopt);
}

std::unique_ptr<MapiProp> ABContainer::OpenEntry(const EntryId& id, std::uint32_t flags)
{
    CheckFault(WabCall::OpenEntry);
    return OpenStoredEntry(book_, id, flags);
}

std::unique_ptr<MapiProp> ABContainer::CreateEntry(const EntryId& templateId, std::uint32_t flags)
{
    CheckFault(WabCall::CreateEntry);
    RequireModifiable();
    std::unique_ptr<MapiProp> entry;
    if (templateId.Empty())
        entry = std::make_unique<MailUser>(book_, 0, MAPI_MAILUSER, true);
    else if (templateId == kDistListTemplate)
        entry = std::make_unique<DistList>(book_, 0, MAPI_DISTLIST, true);
    else
        Throw(WabStatus::InvalidParameter, "no such template in the address book");
    entry->createFlags_ = flags;
    return entry;
}

std::uint32_t ABContainer::DeleteEntries(const EntryList& entries, std::uint32_t)
{
    CheckFault(WabCall::DeleteEntries);
    RequireModifiable();
    SqliteDatabase& db = book_->db;
    std::uint32_t missing = 0;
    SqliteTransaction transaction(db);
    for (const EntryId& id : entries) {
        const auto row = id.Row();
        const auto type = row ? StoredObjectType(db, *row) : std::nullopt;
        if (!type) {
            ++missing;
            continue;
        }
        db.Cached(kDeleteEntryProps)->Bind(1, *row).Step();
        if (*type == MAPI_DISTLIST) db.Cached(kDeleteListMembers)->Bind(1, *row).Step();
        db.Cached(kDeleteEntry)->Bind(1, *row).Step();
    }
    transaction.Commit();
    return missing;
}

EntryId DistListTemplateId()
{
    return kDistListTemplate;
}

// ---------------------------------------------------------------------------------------------
// AddressBook

// The entry an identifier names, with its stored properties read in the same query.
std::unique_ptr<MapiProp> OpenStoredEntry(const std::shared_ptr<BookFile>& book, const EntryId& id,
                                          std::uint32_t flags)
{
    const bool modifiable = (flags & (MAPI_MODIFY | MAPI_BEST_ACCESS)) != 0;
    if (id == kPabId) return std::make_unique<ABContainer>(book, modifiable);
    const auto row = id.Row();
    if (!row) return nullptr;
    auto stored = std::make_unique<StoredProps>();
    std::int64_t type = 0;
    {
        auto st = book->db.Cached(kOpenEntry);
        st->Bind(1, *row);
        if (!st->Step()) return nullptr;
        type = st->Int(0);
        do {
            if (st->Type(1) != SQLITE_NULL) stored->rows.push_back(ReadStoredRow(*st, 1));
        } while (st->Step());
    }
    std::unique_ptr<MapiProp> entry;
    if (type == MAPI_MAILUSER)
        entry = std::make_unique<MailUser>(book, *row, MAPI_MAILUSER, modifiable);
    else if (type == MAPI_DISTLIST)
        entry = std::make_unique<DistList>(book, *row, MAPI_DISTLIST, modifiable);
    else
        return nullptr;
    entry->stored_ = std::move(stored);
    return entry;
}

AddressBook::AddressBook(std::shared_ptr<BookFile> book) : book_(std::move(book)) {}

AddressBook::~AddressBook() = default;

std::unique_ptr<AddressBook> AddressBook::OpenFile(const QString& path)
{
    CreateEmptyFile(path);
    auto book = std::make_shared<BookFile>(path);
    RequireBookSchema(book->db);
    book->db.UseWriteAheadLog();
    return std::unique_ptr<AddressBook>(new AddressBook(std::move(book)));
}

const QString& AddressBook::Path() const
{
    return book_->db.Path();
}

void AddressBook::HoldReads()
{
    book_->db.HoldReads();
}

void AddressBook::EndReads()
{
    book_->db.EndReads();
}

EntryId AddressBook::GetPAB() const
{
    return kPabId;
}

std::unique_ptr<MapiProp> AddressBook::OpenEntry(const EntryId& id, std::uint32_t flags)
{
    CheckFault(WabCall::OpenEntry);
    return OpenStoredEntry(book_, id, flags);
}

}  // namespace wab
