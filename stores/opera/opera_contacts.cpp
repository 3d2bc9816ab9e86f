#include "stores/opera/opera_contacts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <optional>
#include <set>

#include "common/byte_io.h"
#include "common/crc32.h"
#include "common/item_id.h"
#include "platform/atomic_file.h"
#include "platform/regular_file_read.h"
#include "platform/safe_name.h"
#include "stores/opera/opera_contact_fields.h"
#include "stores/opera/opera_visible_items.h"

namespace {

const QString kId = QStringLiteral("ID");
const QString kName = QStringLiteral("NAME");
const QString kUrl = QStringLiteral("URL");
const QString kCreated = QStringLiteral("CREATED");
const QString kDescription = QStringLiteral("DESCRIPTION");
const QString kShortName = QStringLiteral("SHORT NAME");
const QString kMail = QStringLiteral("MAIL");
const QString kPhone = QStringLiteral("PHONE");
const QString kFax = QStringLiteral("FAX");
const QString kPostalAddress = QStringLiteral("POSTALADDRESS");
const QString kPictureUrl = QStringLiteral("PICTUREURL");

// The record fields that map one to one onto a key.
struct PlainField {
    const char* field;
    const QString& key;
};
const PlainField kPlainFields[] = {
    {"WebPage", kUrl},       {"HomeTelephoneNumber", kPhone}, {"HomeFaxNumber", kFax},
    {"Body", kDescription},  {"NickName", kShortName},
};

const char* const kAddressFields[] = {"HomeAddressPostalCode", "HomeAddressCity", "HomeAddressState",
                                      "HomeAddressStreet", "HomeAddressCountry"};
const char* const kMailFields[] = {"Email1Address", "Email2Address", "Email3Address"};

// A picture larger than this cannot travel in one record.
constexpr qint64 kMaxPictureBytes = 64 * 1024 * 1024 - 4;

QString Text(const ItemRecord& record, const char* name)
{
    QString text;
    LastTextField(record, QString::fromLatin1(name), &text);
    return text;
}

bool Has(const ItemRecord& record, const char* name) { return LastTextField(record, QString::fromLatin1(name), nullptr); }

// The image the record carries, null when it carries none or an empty one. Throws for a picture
// buffer that does not hold what its count announces.
QByteArray CarriedPicture(const ItemRecord& record)
{
    if (!Has(record, "Picture")) return {};
    const QByteArray& bytes = record.pictureBytes;
    if (bytes.size() < 4) throw MalformedData("the picture has no byte count");
    const std::uint32_t count = GetU32(reinterpret_cast<const std::uint8_t*>(bytes.constData()));
    if (static_cast<std::uint64_t>(bytes.size() - 4) < count)
        throw MalformedData("the picture holds fewer bytes than its count announces");
    return bytes.mid(4, static_cast<qsizetype>(count));
}

// The record's three addresses (empty ones left out but the first), then `rest`: stored
// addresses after the third, kept as they are.
QString MailValue(const QStringList& addresses, const QStringList& rest = {})
{
    QString value = ToAdrValue(addresses.value(0));
    for (int i = 1; i < 3; ++i)
        if (!addresses.value(i).isEmpty()) value += AdrLineBreak() + ToAdrValue(addresses.value(i));
    for (const QString& address : rest) value += AdrLineBreak() + address;
    return value;
}

// The five address parts from the record, each followed by a line break, a blank standing for
// a part the record lacks; `rest` are stored parts beyond the fifth, kept.
QString AddressValue(const ItemRecord& record, const QStringList& rest)
{
    QString value;
    for (const char* field : kAddressFields) {
        const QString part = ToAdrValue(Text(record, field));
        value += (part.isEmpty() ? QStringLiteral(" ") : part) + AdrLineBreak();
    }
    for (const QString& part : rest) value += part + AdrLineBreak();
    return value;
}

std::int64_t LeadingNumber(const QString& text)
{
    std::int64_t value = 0;
    int digits = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9') || ++digits > 18) break;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

}  // namespace

COperaContacts::COperaContacts()
    : OperaHotlistItemStore(OperaHotlistFile(QStringLiteral("contacts.adr"), QStringLiteral("#CONTACT")), kCreated, QStringLiteral("contact"))
{
}

COperaContacts::COperaContacts(const QString& path)
    : OperaHotlistItemStore(OperaHotlistFile::AtPath(path, QStringLiteral("#CONTACT")), kCreated, QStringLiteral("contact"))
{
}

void COperaContacts::Log(const QString& line) const
{
    if (log_) log_(line);
}

std::uint32_t COperaContacts::IDtoCRC32(const QString& id)
{
    const int block = Ids().BlockOf(id);
    if (block < 0) return 0;
    enum { kPictureAt, kNameAt, kUrlAt, kAddressAt, kPhoneAt, kFaxAt, kMailAt, kDescriptionAt, kShortNameAt, kKeys };
    static const QString keys[kKeys] = {kPictureUrl, kName, kUrl,         kPostalAddress, kPhone,
                                        kFax,        kMail, kDescription, kShortName};
    QStringView values[kKeys];
    file_.Document().ValueViews(block, keys, kKeys, values);
    // The first three non-empty addresses of the MAIL list, without a list of them.
    QStringView mail[3];
    int found = 0;
    for (QStringView rest = values[kMailAt]; found < 3 && !rest.isEmpty();) {
        const qsizetype brk = rest.indexOf(kAdrBreakChar);
        const QStringView part = brk < 0 ? rest : rest.first(brk);
        if (!part.isEmpty()) mail[found++] = part;
        if (brk < 0) break;
        rest = rest.sliced(brk + 1);
    }
    return Crc32OfUtf16({values[kPictureAt], values[kNameAt], values[kUrlAt], values[kAddressAt], values[kPhoneAt],
                         values[kFaxAt], mail[0], mail[1], mail[2], values[kDescriptionAt], values[kShortNameAt]});
}

void COperaContacts::Get(const QString& id, ItemRecord& record)
{
    const int block = Require(id);
    const AdrDocument& doc = file_.Document();
    // Line breaks the peer sent come back as line breaks; lists (MAIL, POSTALADDRESS) are split.
    auto value = [&](const QString& key) { return FromAdrValue(doc.Value(block, key)); };

    AppendNameFields(value(kName), record);
    const QStringList address = SplitAdrParts(doc.Value(block, kPostalAddress));
    for (int i = 0; i < 5 && i < address.size(); ++i) record.Add(QString::fromLatin1(kAddressFields[i]), address[i]);
    record.Add(QStringLiteral("WebPage"), value(kUrl));
    record.Add(QStringLiteral("HomeTelephoneNumber"), value(kPhone));
    record.Add(QStringLiteral("HomeFaxNumber"), value(kFax));
    const QStringList mail = SplitAdrParts(doc.Value(block, kMail));
    for (int i = 0; i < 3; ++i) record.Add(QString::fromLatin1(kMailFields[i]), mail.value(i));
    record.Add(QStringLiteral("Body"), value(kDescription));
    record.Add(QStringLiteral("NickName"), value(kShortName));
    if (const QString url = value(kPictureUrl); !url.isEmpty()) ReadPicture(url, record);
}

void COperaContacts::ReadPicture(const QString& url, ItemRecord& record)
{
    // Only a picture file of the user's own is read: no network, no other scheme, nothing
    // outside the home folder, whatever a file (or another program) put into the URL.
    const QUrl parsed(url, QUrl::StrictMode);
    const QString local = parsed.isValid() && parsed.scheme() == QLatin1String("file") && parsed.host().isEmpty()
                              ? parsed.toLocalFile()
                              : QString();
    const QString canonical = local.isEmpty() ? QString() : QFileInfo(local).canonicalFilePath();
    const QString home = QDir(QDir::homePath()).canonicalPath();
    if (canonical.isEmpty() || home.isEmpty() || !canonical.startsWith(home + QLatin1Char('/')) ||
        !QFileInfo(canonical).isFile()) {
        Log(QStringLiteral("Opera contact picture not read, not a file in the home folder: ") + url);
        return;
    }
    // Opened as a regular file only, checked on the descriptor: what was looked at above may
    // have been replaced since.
    std::optional<RegularFileForReading> file = RegularFileForReading::Open(canonical);
    if (!file) {
        Log(QStringLiteral("Opera contact picture not read, the file is gone: ") + url);
        return;
    }
    if (file->Status().st_size > kMaxPictureBytes)
        throw AgentError(QStringLiteral("the contact picture \"%1\" is too large to send").arg(canonical).toStdString());
    record.SetPicture(file->ReadAll(kMaxPictureBytes));
    record.Add(QStringLiteral("Picture"), QStringLiteral("Picture"));
}

void COperaContacts::WritePicture(AdrDocument& doc, int block, const QString& id, const ItemRecord& record)
{
    const QByteArray image = CarriedPicture(record);
    if (image.isEmpty()) return;
    const QString name = RequireSafeFileNameComponent(id, "contact identifier");
    const QString folder = file_.Folder();
    if (!QDir().mkpath(folder))
        throw AgentError(QStringLiteral("cannot create the folder \"%1\"").arg(folder).toStdString());
    const QString path = folder + QLatin1Char('/') + name;
    WriteFileAtomically(path, image, 0600);
    doc.SetValue(block, kPictureUrl, QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
}

std::int64_t COperaContacts::NewContactNumber(const std::vector<std::int64_t>& taken, std::int64_t now,
                                              const NewItemNumbers& handed)
{
    constexpr std::int64_t kFirst = 1000000001;
    constexpr std::int64_t kLastTenDigits = 9999999999;
    std::optional<std::int64_t> largest;
    if (!taken.empty()) largest = *std::max_element(taken.begin(), taken.end());
    const std::optional<std::int64_t> next = handed.First(std::max(now, kFirst), largest);
    if (next && *next <= kLastTenDigits) return *next;
    const std::set<std::int64_t> used(taken.begin(), taken.end());
    for (std::int64_t n = 1000000000; n <= kLastTenDigits; ++n)
        if (!used.count(n)) return n;
    throw AgentError("no free contact number is left");
}

void COperaContacts::Add(ItemRecord& record, QString& id)
{
    (void)CarriedPicture(record);  // a malformed picture fails before anything changes
    const OperaItemIds& known = Ids();
    const AdrDocument& current = file_.Document();
    std::vector<std::int64_t> taken;
    for (const OperaVisibleItem& item : VisibleItems(current))
        taken.push_back(LeadingNumber(current.Value(item.block, kCreated)));
    const std::int64_t createdNumber = NewContactNumber(taken, QDateTime::currentSecsSinceEpoch(), numbers_);
    const QString created = QString::number(createdNumber);
    const QString newId = OperaItemIds::Padded(created);
    if (known.Contains(newId)) throw AgentError("the new contact's identifier is taken");
    const std::int64_t number = current.NextIdNumber();

    QStringList mail;
    for (const char* field : kMailFields) mail.append(Text(record, field));
    QString name = Text(record, "FileAs");
    if (name.isEmpty()) name = JoinName(Text(record, "FirstName"), Text(record, "MiddleName"), Text(record, "LastName"));

    AdrDocument& doc = file_.Change();
    const int block = doc.NewBlock(AdrBlockKind::Item, {{kId, QString::number(number)},
                                                        {kName, ToAdrValue(name)},
                                                        {kUrl, ToAdrValue(Text(record, "WebPage"))},
                                                        {kCreated, created},
                                                        {kDescription, ToAdrValue(Text(record, "Body"))},
                                                        {kShortName, ToAdrValue(Text(record, "NickName"))},
                                                        {kMail, MailValue(mail)},
                                                        {kPhone, ToAdrValue(Text(record, "HomeTelephoneNumber"))},
                                                        {kFax, ToAdrValue(Text(record, "HomeFaxNumber"))},
                                                        {kPostalAddress, AddressValue(record, {})},
                                                        {kPictureUrl, QString()},
                                                        {QStringLiteral("ICON"), QStringLiteral("Contact0")}});
    WritePicture(doc, block, newId, record);
    doc.Insert(block, AdrDocument::kTopLevel, /*afterLastItem=*/true);
    ids_.Set(block, newId);
    numbers_.Handed(createdNumber);
    id = newId;
}

void COperaContacts::Edit(ItemRecord& record, const QString& id)
{
    (void)CarriedPicture(record);
    const int block = Require(id);
    AdrDocument& doc = file_.Change();
    // The picture first: when its file cannot be written nothing else has changed.
    WritePicture(doc, block, id, record);

    for (const PlainField& f : kPlainFields) {
        QString text;
        if (LastTextField(record, QString::fromLatin1(f.field), &text)) doc.SetValue(block, f.key, ToAdrValue(text));
    }
    if (std::any_of(std::begin(kMailFields), std::end(kMailFields), [&](const char* f) { return Has(record, f); })) {
        QStringList mail = SplitAdrParts(doc.Value(block, kMail));
        while (mail.size() < 3) mail.append(QString());
        for (int i = 0; i < 3; ++i) LastTextField(record, QString::fromLatin1(kMailFields[i]), &mail[i]);
        // The record carries three addresses: those after the third, which the peer never saw,
        // stay as they are.
        doc.SetValue(block, kMail, MailValue(mail.first(3), mail.sliced(3)));
    }
    const QString first = Text(record, "FirstName");
    const QString middle = Text(record, "MiddleName");
    const QString last = Text(record, "LastName");
    if (!first.isEmpty() || !middle.isEmpty() || !last.isEmpty())
        doc.SetValue(block, kName, ToAdrValue(JoinName(first, middle, last)));
    if (std::any_of(std::begin(kAddressFields), std::end(kAddressFields), [&](const char* f) { return Has(record, f); })) {
        const QStringList stored = SplitAdrParts(doc.Value(block, kPostalAddress));
        doc.SetValue(block, kPostalAddress, AddressValue(record, stored.mid(5)));
    }
}
