#include "support/planted_address_book.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <stdexcept>

#include "platform/address_book/wab_schema.h"
#include "support/temp_home.h"

void PlantWabInstalled(const TempHome& home, const QByteArray& valueLine)
{
    home.WriteFile(QStringLiteral(".config/TwinLark/registry/HKEY_LOCAL_MACHINE.reg"),
                   "Windows Registry Editor Version 5.00\r\n\r\n[SOFTWARE\\Microsoft\\WAB\\DLLPath]\r\n" +
                       valueLine + "\r\n");
}

QString AddressBookFileIn(const TempHome& home)
{
    return home.Path(QStringLiteral(".local/share/TwinLark/AddressBook.wab"));
}

SqlBook::SqlBook(const QString& path)
{
    if (sqlite3_open(path.toUtf8().constData(), &db_) != SQLITE_OK)
        throw std::runtime_error("cannot open " + path.toStdString());
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db_, "SELECT COUNT(*) FROM sqlite_schema", -1, &st, nullptr);
    const bool empty = sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int(st, 0) == 0;
    sqlite3_finalize(st);
    if (empty) Exec(wab::kAddressBookSchema);
}

SqlBook::~SqlBook()
{
    sqlite3_close(db_);
}

void SqlBook::Exec(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error(text);
    }
}

std::int64_t SqlBook::AddEntry(int objectType, const Props& props)
{
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db_, "INSERT INTO entries(object_type) VALUES(?1)", -1, &st, nullptr);
    sqlite3_bind_int(st, 1, objectType);
    sqlite3_step(st);
    sqlite3_finalize(st);
    const std::int64_t row = sqlite3_last_insert_rowid(db_);
    std::map<std::uint32_t, int> seqs;
    sqlite3_prepare_v2(db_, "INSERT INTO props(entry, tag, seq, value) VALUES(?1, ?2, ?3, ?4)", -1, &st, nullptr);
    for (const auto& [tag, value] : props) {
        sqlite3_reset(st);
        sqlite3_bind_int64(st, 1, row);
        sqlite3_bind_int64(st, 2, tag);
        sqlite3_bind_int(st, 3, seqs[tag]++);
        if (value.typeId() == QMetaType::QString) {
            const QByteArray utf8 = value.toString().toUtf8();
            sqlite3_bind_text(st, 4, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        } else if (value.typeId() == QMetaType::QByteArray) {
            const QByteArray bytes = value.toByteArray();
            sqlite3_bind_blob(st, 4, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_int64(st, 4, value.toLongLong());
        }
        if (sqlite3_step(st) != SQLITE_DONE) {
            const std::string error = sqlite3_errmsg(db_);
            sqlite3_finalize(st);
            throw std::runtime_error(error);
        }
    }
    sqlite3_finalize(st);
    return row;
}

std::int64_t SqlBook::AddContact(const Props& props)
{
    return AddEntry(6, props);
}

std::int64_t SqlBook::AddList(const QString& name, const std::vector<std::int64_t>& members)
{
    const std::int64_t row = AddEntry(8, {{0x3001001Fu, name}});
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db_, "INSERT INTO members(list, seq, member) VALUES(?1, ?2, ?3)", -1, &st, nullptr);
    int seq = 0;
    for (const std::int64_t member : members) {
        sqlite3_reset(st);
        sqlite3_bind_int64(st, 1, row);
        sqlite3_bind_int(st, 2, seq++);
        sqlite3_bind_int64(st, 3, member);
        sqlite3_step(st);
    }
    sqlite3_finalize(st);
    return row;
}

QString WabItemIdOf(std::int64_t row)
{
    return QStringLiteral("%1").arg(row, 8, 16, QLatin1Char('0')).toUpper() + QString(40, QLatin1Char('0'));
}
