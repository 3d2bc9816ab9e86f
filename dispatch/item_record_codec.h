#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "common/byte_io.h"
#include "common/item_record.h"

// The field names whose values travel as 4-byte integers (compared case-sensitively).
const QStringList& IntegerFieldNames();
bool IsIntegerFieldName(const QString& name);

// The record's wire form: the 96 identifier bytes, a u16 field count, then per field the
// name's byte length and UTF-16 units, the value's byte length and the value (an integer,
// the picture's bytes, or UTF-16 text). Empty text fields are removed from `record` and not
// sent. Throws AgentError for a record that cannot be encoded (picture bytes shorter than
// their count, more than 65535 fields, a value over 2 GiB).
QByteArray EncodeItemRecord(const QString& id, ItemRecord& record);

// Reads a blob into the empty `record`; when `withId` is set the blob opens with the 96
// identifier bytes, returned through `id`. Every count and length is checked against the
// blob: a negative, odd or overlong length, or a count that runs past the end, throws
// MalformedData and leaves nothing read past the blob.
void DecodeItemRecord(ByteView blob, bool withId, ItemRecord& record, QString* id = nullptr);
