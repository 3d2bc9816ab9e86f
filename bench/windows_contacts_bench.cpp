// A change check of the Windows Contacts store through the dispatcher, over a Contacts folder of
// N contact files of about 1.5 KB each in ten groups, all unchanged since the last synchronisation: the time
// should grow in proportion to N, and stay within a small factor of what parsing the same files with pugixml
// alone costs
// ("vs_bare_parse"; "vs_5000" compares the 50,000 run with the 5,000 run of the same process).
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <map>
#include <pugixml.hpp>

#include "core/log_file.h"
#include "counting_reply_channel.h"
#include "first_sync.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_codes.h"
#include "process_memory.h"
#include "stores/catalog/store_set.h"
#include "stores/windows_contacts/contact_group_file.h"
#include "stores/windows_contacts/contact_win_vista.h"

namespace {

constexpr int kGroups = 10;

QString GuidOf(int i)
{
    return QStringLiteral("%1-0000-4000-8000-000000000000").arg(i, 8, 16, QLatin1Char('0'));
}

// A contact file in the compact layout Windows writes.
QByteArray ContactFile(int i)
{
    const QByteArray n = QByteArray::number(i);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
           "<c:contact c:Version=\"1\" xmlns:c=\"http://schemas.microsoft.com/Contact\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xmlns:MSP2P=\"http://schemas.microsoft.com/Contact/Extended/MSP2P\" "
           "xmlns:MSWABMAPI=\"http://schemas.microsoft.com/Contact/Extended/MSWABMAPI\">\r\n"
           "\t<c:CreationDate>2015-08-23T11:39:18Z</c:CreationDate><c:Extended/>\r\n"
           "\t<c:ContactIDCollection><c:ContactID "
           "c:ElementID=\"599ef753-f77f-4224-8700-e551bdc2bb1e\"><c:Value>" +
           GuidOf(i).toLatin1() +
           "</c:Value></c:ContactID></c:ContactIDCollection>"
           "<c:EmailAddressCollection><c:EmailAddress c:ElementID=\"0745ffd4-ef0a-4c4f-b1b6-0ea38c65254e\">"
           "<c:Type>SMTP</c:Type><c:Address>person" +
           n +
           "@example.org</c:Address><c:LabelCollection><c:Label>Preferred</c:Label></c:LabelCollection>"
           "</c:EmailAddress></c:EmailAddressCollection>"
           "<c:NameCollection><c:Name c:ElementID=\"318f9ce5-7a08-4ea0-8b6a-2ce3e9829ff2\">"
           "<c:FormattedName>Given" +
           n + " Family</c:FormattedName><c:GivenName>Given" + n +
           "</c:GivenName><c:FamilyName>Family</c:FamilyName></c:Name></c:NameCollection>"
           "<c:PhoneNumberCollection><c:PhoneNumber c:ElementID=\"5f32d960-b1f4-4e71-8d3e-b6d81f077620\">"
           "<c:Number>+1 555 " +
           n +
           "</c:Number><c:LabelCollection><c:Label>Voice</c:Label>"
           "<c:Label>Personal</c:Label></c:LabelCollection></c:PhoneNumber></c:PhoneNumberCollection>"
           "<c:PhysicalAddressCollection><c:PhysicalAddress "
           "c:ElementID=\"5f32d960-b1f4-4e71-8d3e-000000000001\">"
           "<c:Street>" +
           n +
           " Main Street</c:Street><c:Locality>Springfield</c:Locality>"
           "<c:PostalCode>12345</c:PostalCode><c:LabelCollection><c:Label>Personal</c:Label></"
           "c:LabelCollection>"
           "</c:PhysicalAddress></c:PhysicalAddressCollection>"
           "<c:DateCollection><c:Date c:ElementID=\"5f32d960-b1f4-4e71-8d3e-b6d81f072305\">"
           "<c:Value>1970-05-21T00:00:00Z</c:Value><c:LabelCollection><c:Label>wab:Birthday</c:Label>"
           "</c:LabelCollection></c:Date></c:DateCollection>"
           "<c:Notes>A note of a few words about this contact.</c:Notes></c:contact>\r\n";
}

class ContactsFolder {
public:
    explicit ContactsFolder(int contacts)
    {
        folder_ = dir_.path() + QStringLiteral("/Contacts");
        QDir().mkpath(folder_);
        std::vector<std::vector<ContactsVista::GroupMemberRef>> groups(kGroups);
        for (int i = 0; i < contacts; ++i) {
            const QString path = folder_ + QStringLiteral("/Person %1.contact").arg(i);
            Write(path, ContactFile(i));
            paths_.push_back(path);
            groups[static_cast<std::size_t>(i % kGroups)].push_back(
                {GuidOf(i) + QStringLiteral("000000000000"), path});
        }
        for (int g = 0; g < kGroups; ++g) {
            const QString name = QStringLiteral("Group %1").arg(g);
            Write(folder_ + u'/' + name + QStringLiteral(".group"),
                  ContactsVista::NewGroupFileContent(name, ContactsVista::NewGuidText(),
                                                     groups[static_cast<std::size_t>(g)]));
        }
    }
    QString Path() const { return folder_; }
    QString Root() const { return dir_.path(); }
    const std::vector<QString>& Files() const { return paths_; }
    qint64 FileBytes() const { return QFileInfo(paths_.front()).size(); }

private:
    static void Write(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }
    QTemporaryDir dir_;
    QString folder_;
    std::vector<QString> paths_;
};

double SecondsOf(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The agent of one benchmark, with the folder's Windows Contacts store as its contacts.
struct ContactsSession {
    explicit ContactsSession(const ContactsFolder& folder) : log(AgentFilesIn(folder)), agent(log)
    {
        agent.machineId = QStringLiteral("BENCH");
        agent.agentId = 2;
        auto owned = std::make_unique<ContactsVista::CContactWinVista>(folder.Path(), ContactsVista::ContactsLogLine{});
        store = owned.get();
        agent.stores->Replace(ItemKind::Contacts, 2, std::move(owned));
    }

    // The agent's own files go below the folder's root too; the log's path is returned.
    static QString AgentFilesIn(const ContactsFolder& folder)
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(folder.Root()));
        return folder.Root() + QStringLiteral("/bench.log");
    }

    LogFile log;
    Agent agent;
    ContactsVista::CContactWinVista* store = nullptr;
    Dispatcher dispatcher{agent};
    CountingReplyChannel channel;
};

std::map<int, double> checkSeconds;

void BM_WindowsContactsChangeCheck(benchmark::State& state)
{
    const int contacts = static_cast<int>(state.range(0));
    ContactsFolder folder(contacts);
    ContactsSession session(folder);
    Dispatcher& dispatcher = session.dispatcher;
    CountingReplyChannel& channel = session.channel;
    // The peer synchronised once: the checks below find every contact unchanged.
    dispatcher.DispatchCommand(AS_LOAD_CONTACTS_STATE, 1, {}, channel);
    dispatcher.DispatchCommand(AS_CHECK_CONTACTS, 2, {}, channel);
    dispatcher.DispatchCommand(AS_SAVE_CONTACTS_STATE, 3, {}, channel);
    if (channel.lastCode != AS_SAVE_CONTACTS_STATE + 1) {
        state.SkipWithError("the first synchronisation failed");
        return;
    }

    // The same files read and parsed by pugixml alone, nothing looked up: timed in turn with each
    // check, so that both meet the same machine load.
    const auto bareParse = [&] {
        for (const QString& path : folder.Files()) {
            pugi::xml_document doc;
            benchmark::DoNotOptimize(doc.load_file(QFile::encodeName(path).constData()));
        }
    };
    double total = 0;
    double bare = 0;
    std::int64_t runs = 0;
    for (auto _ : state) {
        dispatcher.DispatchCommand(AS_LOAD_CONTACTS_STATE, 1, {}, channel);
        total += SecondsOf([&] { dispatcher.DispatchCommand(AS_CHECK_CONTACTS, 2, {}, channel); });
        if (channel.lastCode != AS_CHECK_CONTACTS + 1) {
            state.SkipWithError("the check failed");
            return;
        }
        bare += SecondsOf(bareParse);
        ++runs;
    }
    const double perCheck = total / static_cast<double>(runs);
    checkSeconds[contacts] = perCheck;
    state.counters["vs_bare_parse"] = total / bare;
    state.counters["file_bytes"] = static_cast<double>(folder.FileBytes());
    state.counters["us_per_contact"] = perCheck * 1e6 / contacts;
    if (contacts != 5000 && checkSeconds.count(5000))
        state.counters["vs_5000"] = perCheck / checkSeconds[5000];
}

BENCHMARK(BM_WindowsContactsChangeCheck)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

FirstSyncFigures firstSync;

void BM_WindowsContactsFirstSync(benchmark::State& state)
{
    const int contacts = static_cast<int>(state.range(0));
    ContactsFolder folder(contacts);
    ContactsSession session(folder);
    MeasureFirstSync(state, session.agent, session.dispatcher, session.channel, ItemFirstSync(ItemKind::Contacts),
                     contacts, firstSync);
}

BENCHMARK(BM_WindowsContactsFirstSync)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
