#pragma once
// The real Sticky Notes file kept as test data, whole or cut as the program leaves it, and a
// look-up that fails the test instead of handing back nothing.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <stdexcept>

#include "stores/sticky_notes/compound_file.h"

inline QByteArray RealStickyNotesFile()
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/sticky-notes/StickyNotes.snt"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

// The file without its trailing zeros, as a program that stops at the last used byte of its last
// sector leaves it.
inline QByteArray CutAfterLastNonZeroByte(QByteArray bytes)
{
    while (!bytes.isEmpty() && bytes.back() == '\0') bytes.chop(1);
    return bytes;
}

inline const CompoundEntry& ChildOrFail(const CompoundEntry& parent, const QString& name)
{
    const CompoundEntry* child = parent.Child(name);
    if (!child) throw std::runtime_error("missing entry " + name.toStdString());
    return *child;
}
