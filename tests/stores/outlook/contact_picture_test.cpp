// The contact picture on the emulated Outlook: what goes out, what comes in, what the checksum
// covers, and that the files it passes through are private, short-lived and never a fixed name.
#include "stores/outlook/contact_picture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include "common/crc32.h"
#include "common/errors.h"
#include "dispatch/request_codes.h"
#include "stores/outlook/outlook_dispids.h"
#include "stores/outlook/outlook_wrappers.h"
#include "support/dispatch_harness.h"
#include "support/outlook/outlook_emulation.h"
#include "support/permissions_bind_root.h"
#include "support/scoped_env.h"
#include "support/temp_home.h"
#include "wire/message_header.h"

namespace {

constexpr DispId kSaveAsFile = 0x68;
constexpr DispId kAddPicture = 0xFABD;

QByteArray Group(const QByteArray& picture)
{
    QByteArray group(4, '\0');
    qToLittleEndian(static_cast<std::uint32_t>(picture.size()), group.data());
    return group + picture;
}

QByteArray Bytes(qsizetype size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7);
    return bytes;
}

// The files in a folder, hidden ones included.
QStringList FilesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

struct PictureRig {
    explicit PictureRig(int version = 14)
    {
        outlook.SetVersions({version});
        outlook.Register();
        EXPECT_TRUE(application.CreateDispatch(QStringLiteral("Outlook.Application")));
        nameSpace = GetMAPINamespace(application);
        contactId = outlook.PlantItem(EmuFolder::Contacts,
                                      {{"FirstName", VariantValue::Text(QStringLiteral("Ann"))}});
    }
    DispatchDriver Contact() const
    {
        return nameSpace.CallObject(outlook::kGetItemFromID, {VariantValue::Text(contactId)});
    }
    std::vector<EmuCall> Calls(DispId id) const
    {
        std::vector<EmuCall> calls;
        for (const EmuCall& c : outlook.Journal())
            if (c.dispId == id && c.kind == InvokeKind::Method) calls.push_back(c);
        return calls;
    }
    QString Runtime() const { return home.Path(QStringLiteral("runtime")); }

    TempHome home;
    OutlookEmulation outlook;
    DispatchDriver application;
    DispatchDriver nameSpace;
    QString contactId;
};

TEST(ContactPicture, ImportedPictureComesBackWholeAndCountsInTheChecksum)
{
    for (int version : {11, 12, 14}) {
        SCOPED_TRACE(version);
        PictureRig rig(version);
        const QByteArray picture = Bytes(70000, 'a');  // over one read piece
        DispatchDriver contact = rig.Contact();
        const ContactPictureFile held = ImportContactPicture(contact, Group(picture) + "trailing bytes are not the picture's");
        contact.CallMethod(outlook::kSave);

        ItemRecord record;
        record.Add(QStringLiteral("Sensitivity"), 0);
        ExportContactPicture(rig.Contact(), record);
        EXPECT_EQ(record.names, (QStringList{QStringLiteral("Sensitivity"), QStringLiteral("Picture")}));
        EXPECT_EQ(std::get<QString>(record.values.back()), QStringLiteral("Picture"));
        EXPECT_EQ(record.pictureBytes, Group(picture));

        const QByteArray text = QByteArrayLiteral("t\0e\0x\0t\0");
        const std::uint32_t expected = Crc32(text + picture);
        EXPECT_EQ(ContinueCrcWithContactPicture(rig.Contact(), Crc32(text)), expected);
    }
}

TEST(ContactPicture, TheLastAttachmentSavedIsThePicture)
{
    PictureRig rig;
    rig.outlook.PlantAttachment(rig.contactId, "the picture", true);
    rig.outlook.PlantAttachment(rig.contactId, "a letter", false);
    rig.outlook.PlantAttachment(rig.contactId, "the last one", false);

    ItemRecord record;
    ExportContactPicture(rig.Contact(), record);
    EXPECT_EQ(record.pictureBytes, Group("the last one"));
    EXPECT_EQ(rig.Calls(kSaveAsFile).size(), 3u);
    EXPECT_EQ(ContinueCrcWithContactPicture(rig.Contact(), 0), Crc32(QByteArray("the last one")));
}

TEST(ContactPicture, ContactWithoutPictureLeavesRecordAndChecksumAlone)
{
    struct Case {
        const char* name;
        bool plantFlag;
        bool flag;
        bool attachment;
    };
    const Case cases[] = {
        {"no picture at all", false, false, false},
        {"an attachment, but HasPicture false", true, false, true},
        {"HasPicture true, no attachment", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PictureRig rig;
        if (c.attachment) rig.outlook.PlantAttachment(rig.contactId, "bytes", false);
        if (c.plantFlag) rig.outlook.PlantHasPicture(rig.contactId, c.flag);
        ItemRecord record;
        ExportContactPicture(rig.Contact(), record);
        EXPECT_TRUE(record.Empty());
        EXPECT_TRUE(record.pictureBytes.isEmpty());
        EXPECT_EQ(ContinueCrcWithContactPicture(rig.Contact(), 0x1234u), 0x1234u);
        EXPECT_TRUE(rig.Calls(kSaveAsFile).empty());
    }
}

TEST(ContactPicture, EmptyAttachmentExportsAnEmptyPicture)
{
    PictureRig rig;
    rig.outlook.PlantAttachment(rig.contactId, QByteArray(), true);
    ItemRecord record;
    ExportContactPicture(rig.Contact(), record);
    EXPECT_EQ(record.names, QStringList{QStringLiteral("Picture")});
    EXPECT_EQ(record.pictureBytes, QByteArray(4, '\0'));
}

TEST(ContactPicture, ImportRefusesShortBuffersAndSkipsEmptyPictures)
{
    QByteArray thousandClaimed(4, '\0');
    qToLittleEndian(std::uint32_t{1000}, thousandClaimed.data());
    thousandClaimed += Bytes(500, 'x');
    QByteArray hugeClaimed(4, '\xFF');  // 4 GiB - 1 claimed: must not be allocated
    hugeClaimed += "abc";
    struct Case {
        const char* name;
        QByteArray buffer;
        bool refused;
    };
    const Case cases[] = {
        {"no bytes", QByteArray(), true},
        {"three bytes", QByteArray("\x05\x00\x00", 3), true},
        {"1000 claimed, 500 carried", thousandClaimed, true},
        {"4 GiB claimed", hugeClaimed, true},
        {"count 0", QByteArray(4, '\0'), false},
        {"count 0 with bytes behind", QByteArray(4, '\0') + "ignored", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PictureRig rig;
        rig.outlook.PlantAttachment(rig.contactId, "kept", true);
        DispatchDriver contact = rig.Contact();
        if (c.refused)
            EXPECT_THROW((void)ImportContactPicture(contact, c.buffer), MalformedData);
        else
            EXPECT_TRUE(ImportContactPicture(contact, c.buffer).Path().isEmpty()) << "no file";
        EXPECT_TRUE(rig.Calls(kAddPicture).empty());
        contact.CallMethod(outlook::kSave);
        ASSERT_EQ(rig.outlook.FindItem(rig.contactId)->attachments.size(), 1u);
        EXPECT_EQ(rig.outlook.FindItem(rig.contactId)->attachments[0].bytes, QByteArray("kept"));
        EXPECT_TRUE(FilesIn(rig.Runtime()).isEmpty());
    }
}

TEST(ContactPicture, PictureOverTheReplyCapFailsExportButNotTheChecksum)
{
    PictureRig rig;
    const QByteArray picture(kMaxContactPictureBytes + 1, 'p');
    rig.outlook.PlantAttachment(rig.contactId, picture, true);
    ItemRecord record;
    EXPECT_THROW(ExportContactPicture(rig.Contact(), record), AgentError);
    EXPECT_TRUE(record.Empty());
    EXPECT_TRUE(record.pictureBytes.isEmpty());
    EXPECT_EQ(ContinueCrcWithContactPicture(rig.Contact(), 0), Crc32(picture));
    EXPECT_TRUE(FilesIn(rig.Runtime()).isEmpty());
}

// The same through the requests: the peer's read of that contact fails, its change check does not.
TEST(ContactPicture, APictureOverTheCapFailsTheReadRequestButNotTheCheck)
{
    DispatchHarness h;
    OutlookEmulation outlook;
    outlook.Register();
    h.agent.agentId = 14;
    const QString id = outlook.PlantItem(EmuFolder::Contacts, {{"FirstName", VariantValue::Text("Ann")}});
    outlook.PlantAttachment(id, QByteArray(kMaxContactPictureBytes + 1, 'p'), true);
    const SentMessage check = h.Send(AS_CHECK_CONTACTS);
    ASSERT_EQ(check.code, AS_CHECK_CONTACTS + 1);
    EXPECT_EQ(ParseChangeReport(check.payload).added, QStringList{id});
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_GET_CONTACT, Utf16z(id)).code, AS_ERROR);
    const QString log = h.TakeLogLines().join(u'\n');
    EXPECT_TRUE(log.contains(QStringLiteral("more than a reply can carry"))) << log.toStdString();
    EXPECT_TRUE(FilesIn(h.home.Path(QStringLiteral("runtime"))).isEmpty());
}

TEST(ContactPicture, EachProcedureUsesItsOwnFileAndRemovesIt)
{
    PictureRig rig;
    DispatchDriver contact = rig.Contact();
    {
        const ContactPictureFile held = ImportContactPicture(contact, Group("one"));
        contact.CallMethod(outlook::kSave);
    }
    ItemRecord record;
    ExportContactPicture(rig.Contact(), record);
    ContinueCrcWithContactPicture(rig.Contact(), 0);

    QStringList paths;
    for (DispId id : {kAddPicture, kSaveAsFile})
        for (const EmuCall& c : rig.Calls(id)) paths.append(c.arguments.front().String());
    ASSERT_EQ(paths.size(), 3);
    paths.removeDuplicates();
    EXPECT_EQ(paths.size(), 3) << "a file shared between procedures";
    for (const QString& path : paths) {
        EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(rig.Runtime()).absoluteFilePath());
        EXPECT_NE(QFileInfo(path).fileName(), QStringLiteral("picture.bmp"));
        EXPECT_FALSE(QFileInfo::exists(path));
    }

    // A failing Outlook call leaves no file behind either.
    rig.outlook.AddFault({EmuObject::Attachment, kSaveAsFile, InvokeKind::Method});
    EXPECT_ANY_THROW(ExportContactPicture(rig.Contact(), record));
    rig.outlook.AddFault({EmuObject::Contact, kAddPicture, InvokeKind::Method});
    EXPECT_ANY_THROW((void)ImportContactPicture(rig.Contact(), Group("two")));
    EXPECT_TRUE(FilesIn(rig.Runtime()).isEmpty());
}

// Mode 0600 while Outlook holds the file, even when the process's umask would let anyone in.
TEST(ContactPicture, EveryPictureFileIsTheUsersAloneWhileOutlookUsesIt)
{
    PictureRig rig;
    struct OpenUmask {
        mode_t previous = ::umask(0);
        ~OpenUmask() { ::umask(previous); }
    } openUmask;
    QStringList seen;  // "<mode> <path>" of each file Outlook was handed
    rig.outlook.SetCallListener([&](const EmuCall& call) {
        if (call.kind != InvokeKind::Method || (call.dispId != kSaveAsFile && call.dispId != kAddPicture))
            return;
        const QString path = call.arguments.front().String();
        struct stat st {};
        const bool regular = ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
        seen.append(QStringLiteral("%1 %2").arg(regular ? st.st_mode & 07777 : 0, 0, 8).arg(path));
    });
    rig.outlook.PlantAttachment(rig.contactId, "outlook's picture", true);
    ItemRecord record;
    ExportContactPicture(rig.Contact(), record);
    ContinueCrcWithContactPicture(rig.Contact(), 0);
    (void)ImportContactPicture(rig.Contact(), Group("the peer's picture"));
    ASSERT_EQ(seen.size(), 3);
    for (const QString& file : seen)
        EXPECT_TRUE(file.startsWith(QStringLiteral("600 "))) << file.toStdString();
}

// A file that ends before the length Outlook's save left in it fails the read; so does a read
// that fails.
TEST(ContactPicture, AShortOrFailingReadOfThePictureFileFails)
{
    TempHome home;
    home.WriteFile(QStringLiteral("picture"), "abc");
    QFile file(home.Path(QStringLiteral("picture")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    char into[5] = {};
    ReadPictureFileExactly(file, file.fileName(), into, 3);
    EXPECT_EQ(QByteArray(into, 3), QByteArray("abc"));
    ASSERT_TRUE(file.reset());
    try {
        ReadPictureFileExactly(file, file.fileName(), into, 5);
        ADD_FAILURE() << "a short read passed";
    } catch (const AgentError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QStringLiteral("holds 3 bytes where 5 were saved")))
            << e.what();
    }
    QFile writeOnly(home.Path(QStringLiteral("picture")));
    ASSERT_TRUE(writeOnly.open(QIODevice::WriteOnly | QIODevice::Append));
    EXPECT_THROW(ReadPictureFileExactly(writeOnly, writeOnly.fileName(), into, 1), AgentError);
}

TEST(ContactPicture, FilesGoToTheRuntimeFolderElseTheTemporaryFolder)
{
    TempHome home;
    EXPECT_EQ(ContactPictureFolder(), QDir::cleanPath(home.Path(QStringLiteral("runtime"))));
    {
        ScopedEnv unset("XDG_RUNTIME_DIR", std::nullopt);
        EXPECT_EQ(ContactPictureFolder(), QDir::cleanPath(QDir::tempPath()));
    }
    ScopedEnv missing("XDG_RUNTIME_DIR", home.Path(QStringLiteral("no such folder")).toUtf8());
    EXPECT_EQ(ContactPictureFolder(), QDir::cleanPath(QDir::tempPath()));
}

TEST(ContactPicture, ALinkPlantedAtTheOldFixedNameIsNeverFollowed)
{
    PictureRig rig;
    const QString victim = rig.home.Path(QStringLiteral("victim.txt"));
    rig.home.WriteFile(QStringLiteral("victim.txt"), "precious");
    const QString tempDir = rig.home.Path(QStringLiteral("tmp"));
    QDir().mkpath(tempDir);
    ScopedEnv tmp("TMPDIR", tempDir.toUtf8());
    QStringList links;
    for (const QString& folder : {rig.Runtime(), tempDir}) {
        links.append(folder + QStringLiteral("/picture.bmp"));
        ASSERT_TRUE(QFile::link(victim, links.back()));
    }

    rig.outlook.PlantAttachment(rig.contactId, "outlook's picture", true);
    ItemRecord record;
    ExportContactPicture(rig.Contact(), record);
    ContinueCrcWithContactPicture(rig.Contact(), 0);
    (void)ImportContactPicture(rig.Contact(), Group("the peer's picture"));
    {
        ScopedEnv unset("XDG_RUNTIME_DIR", std::nullopt);
        (void)ImportContactPicture(rig.Contact(), Group("the peer's picture"));
        ExportContactPicture(rig.Contact(), record);
    }

    EXPECT_EQ(rig.home.ReadFile(QStringLiteral("victim.txt")), QByteArray("precious"));
    for (const QString& link : links) EXPECT_TRUE(QFileInfo(link).isSymLink()) << link.toStdString();
    EXPECT_EQ(FilesIn(rig.Runtime()), QStringList{QStringLiteral("picture.bmp")});
    EXPECT_EQ(FilesIn(tempDir), QStringList{QStringLiteral("picture.bmp")});
}

// The runtime folder refuses new files (an agent started under su keeps another user's): contacts
// without a picture need no file at all, and a picture goes through a folder of its own in the
// temporary folder, which is gone afterwards.
TEST(ContactPicture, ARuntimeFolderThatRefusesFilesLeavesContactsServed)
{
    DispatchHarness h;
    OutlookEmulation outlook;
    outlook.Register();
    h.agent.agentId = 14;
    const QString tempDir = h.home.Path(QStringLiteral("tmp"));
    QDir().mkpath(tempDir);
    ScopedEnv tmp("TMPDIR", tempDir.toUtf8());
    const QString plain = outlook.PlantItem(EmuFolder::Contacts, {{"FirstName", VariantValue::Text("Ann")}});
    const QString pictured = outlook.PlantItem(EmuFolder::Contacts, {{"FirstName", VariantValue::Text("Bo")}});
    outlook.PlantAttachment(pictured, "Bo's picture", true);
    QStringList folders;  // of the files Outlook is handed, "<mode> <folder>"
    outlook.SetCallListener([&](const EmuCall& call) {
        if (call.kind != InvokeKind::Method || (call.dispId != kSaveAsFile && call.dispId != kAddPicture)) return;
        const QString folder = QFileInfo(call.arguments.front().String()).absolutePath();
        struct stat st {};
        ::stat(QFile::encodeName(folder).constData(), &st);
        folders.append(QStringLiteral("%1 %2").arg(st.st_mode & 07777, 0, 8).arg(folder));
    });

    const QString runtime = h.home.Path(QStringLiteral("runtime"));
    ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0500), 0);
    {
        PermissionsBindRoot bound;
        const SentMessage check = h.Send(AS_CHECK_CONTACTS);
        ASSERT_EQ(check.code, AS_CHECK_CONTACTS + 1) << h.TakeLogLines().join(u'\n').toStdString();
        EXPECT_EQ(ParseChangeReport(check.payload).added.size(), 2);
        EXPECT_EQ(h.Send(AS_GET_CONTACT, Utf16z(plain)).code, AS_GET_CONTACT + 1);
        const SentMessage got = h.Send(AS_GET_CONTACT, Utf16z(pictured));
        ASSERT_EQ(got.code, AS_GET_CONTACT + 1);
        EXPECT_EQ(DecodeBlob(got.payload).pictureBytes, Group("Bo's picture"));
        ItemRecord record;
        record.Add(QStringLiteral("Picture"), QStringLiteral("Picture"));
        record.pictureBytes = Group("Ann's new picture");
        EXPECT_EQ(h.Send(AS_SET_CONTACT, ItemBlob(plain, record)).code, AS_SET_CONTACT + 1);
    }
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    EXPECT_EQ(outlook.FindItem(plain)->attachments.back().bytes, QByteArray("Ann's new picture"));
    ASSERT_GE(folders.size(), 4) << "the check's checksum, the read, the import, the edit's checksum";
    for (const QString& folder : folders) {
        EXPECT_TRUE(folder.startsWith(QStringLiteral("700 ") + tempDir + QLatin1Char('/'))) << folder.toStdString();
        EXPECT_FALSE(QFileInfo::exists(folder.mid(4))) << folder.toStdString();
    }
    EXPECT_TRUE(QDir(tempDir).isEmpty());
    EXPECT_TRUE(QDir(runtime).isEmpty());
}

// Outlook replaces the file it saves an attachment into, and takes an added picture from its
// file only when the contact is saved: a picture travels both ways all the same.
TEST(ContactPicture, APictureTravelsThroughOutlooksOwnFileHandling)
{
    DispatchHarness h;
    OutlookEmulation outlook;
    outlook.SetVersions({12});
    outlook.Register();
    h.agent.agentId = 12;
    ASSERT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_CHECK_CONTACTS + 1);
    ItemRecord record;
    record.Add(QStringLiteral("FirstName"), QStringLiteral("Ann"));
    record.Add(QStringLiteral("Picture"), QStringLiteral("Picture"));
    record.pictureBytes = Group(Bytes(70000, 'a'));
    const SentMessage added = h.Send(AS_ADD_CONTACT, ItemBlob({}, record));
    ASSERT_EQ(added.code, AS_ADD_CONTACT + 1) << h.TakeLogLines().join(u'\n').toStdString();
    const QString id = QString::fromUtf16(reinterpret_cast<const char16_t*>(added.payload.constData()),
                                          added.payload.size() / 2);
    SentMessage got = h.Send(AS_GET_CONTACT, Utf16z(id));
    ASSERT_EQ(got.code, AS_GET_CONTACT + 1);
    EXPECT_EQ(DecodeBlob(got.payload).pictureBytes, Group(Bytes(70000, 'a')));

    record.pictureBytes = Group("smaller");
    ASSERT_EQ(h.Send(AS_SET_CONTACT, ItemBlob(id, record)).code, AS_SET_CONTACT + 1);
    got = h.Send(AS_GET_CONTACT, Utf16z(id));
    EXPECT_EQ(DecodeBlob(got.payload).pictureBytes, Group("smaller"));
    // The checksum taken after the edit is the picture's as Outlook holds it: no change to report.
    ASSERT_EQ(h.Send(AS_SAVE_CONTACTS_STATE).code, AS_SAVE_CONTACTS_STATE + 1);
    const SentMessage check = h.Send(AS_CHECK_CONTACTS);
    EXPECT_EQ(ParseChangeReport(check.payload), ParsedChangeReport{});
    EXPECT_TRUE(FilesIn(h.home.Path(QStringLiteral("runtime"))).isEmpty());
}

}  // namespace
