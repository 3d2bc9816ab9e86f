#pragma once
#include <QString>
#include <QStringList>

#include "common/item_record.h"

// How a contact's fields travel between Opera's contact block and the peer's record.

// The non-empty runs between U+0002 characters of a value (Opera's mail list and postal address).
QStringList SplitAdrParts(const QString& value);

// NAME as the peer's name fields: one word is a first name, two are first and last name, three
// or more first, middle (the words between) and last name. Appended in that order for up to
// three words, as first, last and middle name for more.
void AppendNameFields(const QString& name, ItemRecord& record);
// First, middle and last name joined by single blanks, empty parts left out.
QString JoinName(const QString& first, const QString& middle, const QString& last);

// The text of the last field of that name, and whether the record has it.
bool LastTextField(const ItemRecord& record, const QString& name, QString* text);
