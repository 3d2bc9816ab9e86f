#pragma once
// The dates a peer writes to an Outlook contact. Contact dates are never converted between
// local time and UTC. Every text is read before anything is put on the contact, and one that
// cannot be read fails the whole write with a reason naming the key and the text: a guessed or
// half-read date would be saved, and the peer's next read would carry it back.

#include <QString>

// "Birthday" and "Anniversary": the day the text names, its time of day dropped; empty text is
// the no-date value.
double ContactDayForWrite(const QString& key, const QString& text);
// "ReminderTime": the moment the text names, time of day kept; empty text is the no-date value.
double ContactMomentForWrite(const QString& key, const QString& text);
// The task dates ("TaskStartDate", "TaskDueDate", "TaskCompletedDate", "ToDoTaskOrdinal"): the
// fixed-position form the peer reads them in (TextToDate). Empty text, a text of another length
// and one whose fields name no moment all fail.
double ContactTaskDateForWrite(const QString& key, const QString& text);
