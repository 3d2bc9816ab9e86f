#include "stores/outlook/outlook_connection.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "stores/outlook/outlook_store_factory.h"
#include "support/outlook/outlook_emulation.h"
#include "support/temp_home.h"

namespace {

// The twenty stores and a connection over them, logging into `log`.
struct Connection {
    Connection()
    {
        for (OutlookKind kind : {OutlookKind::Contacts, OutlookKind::Appointments, OutlookKind::Tasks, OutlookKind::Notes})
            for (int version : {8, 9, 11, 12, 14}) stores.push_back(MakeOutlookStore(kind, version));
        outlook.SetMessageHook([this](const QString& text) { messages.append(text); });
    }
    QStringList ConnectedStores() const
    {
        QStringList connected;
        for (const auto& s : stores)
            if (s->IsConnected()) connected.append(QStringLiteral("%1 %2").arg(OutlookKindName(s->Kind())).arg(s->Version()));
        return connected;
    }

    QStringList log;
    QStringList messages;
    std::vector<std::unique_ptr<OutlookStoreFrame>> stores;
    OutlookConnection outlook{[this](const QString& line) { log.append(line); }, [this] {
                                  std::vector<OutlookStoreFrame*> all;
                                  for (const auto& s : stores) all.push_back(s.get());
                                  return all;
                              }};
};

TEST(OutlookConnection, OpensTheNewestVersionThatStartsOnceAndReleasesEverything)
{
    TempHome home;
    OutlookEmulation emulated;
    emulated.SetVersions({12, 14});
    emulated.Register();
    Connection c;
    ASSERT_TRUE(c.outlook.OfficeInit());
    EXPECT_EQ(c.outlook.OpenVersion(), 14);
    EXPECT_EQ(c.ConnectedStores(), (QStringList{"contacts 14", "appointments 14", "tasks 14", "notes 14"}));
    EXPECT_TRUE(c.log.isEmpty());

    emulated.ClearJournal();
    const auto creations = emulated.AllCreations();
    EXPECT_TRUE(c.outlook.OfficeInit());
    EXPECT_TRUE(emulated.Journal().empty()) << "a second opening calls nothing";
    EXPECT_EQ(emulated.AllCreations(), creations);

    EXPECT_TRUE(c.outlook.OfficeDestroy());
    EXPECT_EQ(emulated.AllCreations(), creations) << "releasing creates nothing";
    EXPECT_EQ(emulated.LiveObjects(), 0);
    EXPECT_TRUE(c.ConnectedStores().isEmpty());
    EXPECT_FALSE(c.outlook.IsOpen());
}

TEST(OutlookConnection, EachVersionOpensItsOwnStores)
{
    TempHome home;
    for (int version : {8, 9, 11, 12}) {
        SCOPED_TRACE(version);
        OutlookEmulation emulated;
        emulated.SetVersions({version});
        emulated.Register();
        Connection c;
        ASSERT_TRUE(c.outlook.OfficeInit());
        EXPECT_EQ(c.ConnectedStores().size(), 4);
        for (const QString& s : c.ConnectedStores()) EXPECT_TRUE(s.endsWith(QString::number(version)));
    }
}

TEST(OutlookConnection, WithoutOutlookNothingOpensAndNothingIsLogged)
{
    TempHome home;
    OutlookEmulation emulated;
    emulated.SetVersions({});
    emulated.Register();
    Connection c;
    EXPECT_FALSE(c.outlook.OfficeInit());
    EXPECT_TRUE(c.log.isEmpty());
    EXPECT_TRUE(c.outlook.OfficeDestroy());
    EXPECT_FALSE(c.outlook.IsUsingExchangeServer());
    EXPECT_THROW(c.outlook.CategoryNames(), AgentError);
}

TEST(OutlookConnection, AFailingInitLogsAndLeavesNothingHeldAfterTheRelease)
{
    TempHome home;
    OutlookEmulation emulated;
    emulated.SetCreateFails(QStringLiteral("Outlook.Application"));
    emulated.Register();
    Connection c;
    EXPECT_FALSE(c.outlook.OfficeInit());
    EXPECT_EQ(c.messages, QStringList{"'CContact::Add' Init false"});
    EXPECT_EQ(c.log, QStringList{"Office init Error"});
    c.outlook.OfficeDestroy();
    EXPECT_EQ(emulated.LiveObjects(), 0);

    // A failure after the application started (the tasks folder refused) leaves the stores
    // initialised so far holding objects until the release.
    emulated.SetCreateFails(QStringLiteral("Outlook.Application"), false);
    emulated.AddFault({EmuObject::Namespace, 0x210B, InvokeKind::Method, {}, 4, true, 0});
    c.log.clear();
    EXPECT_FALSE(c.outlook.OfficeInit());
    EXPECT_EQ(c.log, QStringList{"Office init Error"});
    EXPECT_GT(emulated.LiveObjects(), 0);
    EXPECT_TRUE(c.ConnectedStores().size() < 4);
    c.outlook.OfficeDestroy();
    EXPECT_EQ(emulated.LiveObjects(), 0);
}

TEST(OutlookConnection, ExchangeIsLoggedOncePerOpening)
{
    TempHome home;
    OutlookEmulation emulated;
    emulated.SetProfileStores({{QStringLiteral("S1"), 3}, {QStringLiteral("S2"), 0}});
    emulated.Register();
    Connection c;
    ASSERT_TRUE(c.outlook.OfficeInit());
    c.outlook.OfficeInit();
    EXPECT_EQ(c.log, QStringList{"Using MS Exchange Server"});
    c.outlook.OfficeDestroy();
    c.outlook.OfficeInit();
    EXPECT_EQ(c.log.size(), 2);
    EXPECT_TRUE(c.outlook.IsUsingExchangeServer());
}

TEST(OutlookConnection, ExchangeDetectionKeepsWhatItFoundWhenOutlookFails)
{
    TempHome home;
    OutlookEmulation emulated;
    emulated.SetVersions({12, 14});
    emulated.SetProfileStores({{QStringLiteral("S1"), 0}, {QStringLiteral("S2"), 3}});
    emulated.Register();
    Connection c;
    // The second store fails on every look, once as a COM status and once as Outlook's error:
    // the first store was already seen to be Exchange.
    emulated.AddFault({EmuObject::Store, 0xFAD2, InvokeKind::PropertyGet, {}, 2, false, com_status::kFail});
    emulated.AddFault({EmuObject::Store, 0xFAD2, InvokeKind::PropertyGet, {}, 4, true, 0});
    EXPECT_TRUE(c.outlook.IsUsingExchangeServer());
    emulated.SetProfileStores({{QStringLiteral("S1"), 3}});
    EXPECT_FALSE(c.outlook.IsUsingExchangeServer());
    emulated.SetGone(true);
    EXPECT_FALSE(c.outlook.IsUsingExchangeServer());
    EXPECT_EQ(emulated.LiveObjects(), 0);
}

TEST(OutlookConnection, CategoryNamesComeFromAConnectionOfTheirOwn)
{
    TempHome home;
    OutlookEmulation emulated;
    emulated.Register();
    Connection c;
    EXPECT_TRUE(c.outlook.CategoryNames().isEmpty());
    emulated.SetCategories({"Red", "Blue; Green"});
    EXPECT_EQ(c.outlook.CategoryNames(), (QStringList{"Red", "Blue; Green"}));
    EXPECT_FALSE(c.outlook.IsOpen());
    EXPECT_EQ(emulated.LiveObjects(), 0);
    emulated.SetGone(true);
    EXPECT_THROW(c.outlook.CategoryNames(), AgentError);
}

}  // namespace
