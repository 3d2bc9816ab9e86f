// A source the agent was never written for, added as a family of its own from its folder: the
// peer finds it in the catalogue, checks it, adds a note and saves its state, and the store's
// changes reach its file before the state is written, as for every source.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "common/item_id.h"
#include "dispatch/request_codes.h"
#include "made_up_source/jotter_family.h"
#include "stores/catalog/source_catalog.h"
#include "stores/catalog/store_set.h"
#include "support/dispatch_harness.h"
#include "wire/message_header.h"

namespace {

QByteArray JotterFile()
{
    QFile file(JotterStore::FilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(MadeUpSource, IsServedFromItsOwnFolderThroughEveryMomentOfASynchronisation)
{
    DispatchHarness h;
    ASSERT_NE(FindSource(SourceKind::Notes, kJotterNotesCode), nullptr) << "its row, registered from its folder";
    ASSERT_NE(dynamic_cast<JotterStore*>(h.agent.stores->Select(ItemKind::Notes, kJotterNotesCode)), nullptr);

    const QString planted = NewItemId();
    h.home.WriteFile(QStringLiteral(".jotter/notes"), planted.toUtf8() + "\tbuy bread\n");
    h.agent.notesAgentId = kJotterNotesCode;

    SentMessage reply = h.Send(AS_CHECK_NOTES, Utf16z("J"));
    ASSERT_EQ(reply.code, AS_CHECK_NOTES + 1) << h.TakeLogLines().join('\n').toStdString();
    EXPECT_EQ(ParseChangeReport(reply.payload).added, QStringList{planted}) << "read at the check";

    reply = h.Send(AS_ADD_NOTE, ItemBlob({}, TextRecord({{"Body", "call the plumber"}})));
    ASSERT_EQ(reply.code, AS_ADD_NOTE + 1);
    EXPECT_FALSE(JotterFile().contains("plumber")) << "held until the state is saved";

    ASSERT_EQ(h.Send(AS_SAVE_NOTES_STATE).code, AS_SAVE_NOTES_STATE + 1);
    const QByteArray written = JotterFile();
    EXPECT_TRUE(written.startsWith(planted.toUtf8() + "\tbuy bread\n")) << written.toStdString();
    EXPECT_TRUE(written.contains("\tcall the plumber\n")) << written.toStdString();
    EXPECT_EQ(h.agent.items.notes.Size(), 2u) << "the saved state names both notes the file holds";

    // The next synchronisation finds both and nothing changed.
    reply = h.Send(AS_CHECK_NOTES, Utf16z("J"));
    ASSERT_EQ(reply.code, AS_CHECK_NOTES + 1);
    EXPECT_EQ(ParseChangeReport(reply.payload), ParsedChangeReport{});
    reply = h.Send(AS_GET_NOTE, Utf16z(planted));
    ASSERT_EQ(reply.code, AS_GET_NOTE + 1);
    EXPECT_EQ(DecodeBlob(reply.payload), TextRecord({{"Body", "buy bread"}}));
}

}  // namespace
