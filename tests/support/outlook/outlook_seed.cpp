#include "support/outlook/outlook_seed.h"

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "support/outlook/outlook_emulation.h"

namespace {

using Json = nlohmann::ordered_json;

[[noreturn]] void Refuse(const std::string& what)
{
    throw std::invalid_argument("Outlook seed: " + what);
}

QString Text(const Json& j, const char* what)
{
    if (!j.is_string()) Refuse(std::string(what) + " must be a text");
    return QString::fromStdString(j.get<std::string>());
}

VariantValue ValueOf(const Json& j, const std::string& name)
{
    if (j.is_string()) return VariantValue::Text(QString::fromStdString(j.get<std::string>()));
    if (j.is_boolean()) return VariantValue::Bool(j.get<bool>());
    if (j.is_number_integer()) {
        const auto v = j.get<std::int64_t>();
        if (v < INT32_MIN || v > INT32_MAX) Refuse(name + " is out of range");
        return VariantValue::I4(static_cast<std::int32_t>(v));
    }
    if (j.is_number()) return VariantValue::Date(j.get<double>());
    Refuse(name + " has a value of no known type");
}

EmuProperties PropertiesOf(const Json& object, const char* what)
{
    if (!object.is_object()) Refuse(std::string(what) + " must be an object");
    EmuProperties properties;
    for (const auto& [name, value] : object.items()) {
        if (name == "folder" || name == "RecurrencePattern" || name == "Attachments") continue;
        properties.emplace_back(QString::fromStdString(name), ValueOf(value, name));
    }
    return properties;
}

InvokeKind KindOf(const std::string& kind)
{
    if (kind == "get") return InvokeKind::PropertyGet;
    if (kind == "put") return InvokeKind::PropertyPut;
    if (kind == "method") return InvokeKind::Method;
    Refuse("fault kind " + kind + " is none of get, put, method");
}

EmuFault FaultOf(const Json& j)
{
    if (!j.is_object()) Refuse("a fault must be an object");
    EmuFault fault;
    if (!EmuObjectFromName(Text(j.value("object", Json()), "fault object"), fault.object))
        Refuse("unknown fault object " + j.value("object", Json()).dump());
    const QString member = Text(j.value("member", Json()), "fault member");
    bool hex = false;
    const DispId id = member.startsWith(QLatin1String("0x")) ? static_cast<DispId>(member.mid(2).toUInt(&hex, 16)) : 0;
    const EmuMember* m = hex ? FindEmuMember(fault.object, id) : FindEmuMember(fault.object, member);
    if (!m) Refuse("no member " + member.toStdString() + " on " + EmuObjectName(fault.object));
    fault.dispId = m->dispId;
    fault.kind = KindOf(Text(j.value("kind", Json(m->method ? "method" : "get")), "fault kind").toStdString());
    if (j.contains("entryId")) fault.entryId = Text(j["entryId"], "fault entryId");
    if (j.contains("nth")) {
        if (!j["nth"].is_number_integer() || j["nth"].get<int>() < 1) Refuse("fault nth must count from 1");
        fault.nth = j["nth"].get<int>();
    }
    const QString error = Text(j.value("error", Json("outlook")), "fault error");
    if (error == QLatin1String("outlook")) {
        fault.outlookError = true;
    } else if (error == QLatin1String("nothing")) {
        if (m->type != EmuType::Object) Refuse("only a member answering an object can answer Nothing");
        fault.nothing = true;
    } else {
        bool ok = false;
        const quint32 status = error.startsWith(QLatin1String("0x")) ? error.mid(2).toUInt(&ok, 16) : 0;
        if (!ok) Refuse("fault error must be \"outlook\", \"nothing\" or a status such as \"0x80004005\"");
        fault.outlookError = false;
        fault.status = static_cast<ComStatus>(status);
    }
    return fault;
}

void PlantItemOf(OutlookEmulation& outlook, const Json& j)
{
    if (!j.is_object()) Refuse("an item must be an object");
    EmuFolder folder;
    if (!EmuFolderFromName(Text(j.value("folder", Json()), "item folder"), folder))
        Refuse("item folder must be calendar, contacts, tasks or notes");
    const QString id = outlook.PlantItem(folder, PropertiesOf(j, "an item"));
    if (j.contains("RecurrencePattern")) outlook.PlantPattern(id, PropertiesOf(j["RecurrencePattern"], "a pattern"));
    if (j.contains("Attachments")) {
        if (!j["Attachments"].is_array()) Refuse("Attachments must be a list");
        for (const Json& a : j["Attachments"]) {
            if (!a.is_object()) Refuse("an attachment must be an object");
            const QByteArray bytes = QByteArray::fromBase64(Text(a.value("base64", Json("")), "base64").toLatin1());
            const Json picture = a.value("picture", Json(false));
            if (!picture.is_boolean()) Refuse("an attachment's picture must be true or false");
            outlook.PlantAttachment(id, bytes, picture.get<bool>());
        }
    }
}

Json JsonOf(const VariantValue& v)
{
    switch (v.Type()) {
        case VariantType::BStr:
            return v.String().toStdString();
        case VariantType::Bool:
            return v.Integer() != 0;
        case VariantType::I2:
        case VariantType::I4:
            return v.Integer();
        case VariantType::R8:
        case VariantType::Date:
            return v.Real();
        default:
            return nullptr;
    }
}

}  // namespace

std::optional<double> ApplyOutlookSeed(OutlookEmulation& outlook, const QByteArray& json)
{
    Json seed;
    try {
        seed = Json::parse(json.toStdString());
    } catch (const std::exception& e) {
        Refuse(std::string("not JSON: ") + e.what());
    }
    if (!seed.is_object()) Refuse("the seed must be an object");
    static const char* const known[] = {"versions", "failCreate", "gone", "stores", "categories", "clock", "items", "faults"};
    for (const auto& [name, value] : seed.items())
        if (std::find(std::begin(known), std::end(known), name) == std::end(known)) Refuse("unknown member " + name);

    if (seed.contains("versions")) {
        std::vector<int> versions;
        if (!seed["versions"].is_array()) Refuse("versions must be a list");
        for (const Json& v : seed["versions"]) {
            if (!v.is_number_integer()) Refuse("a version must be a number");
            const int n = v.get<int>();
            if (n != 8 && n != 9 && n != 11 && n != 12 && n != 14) Refuse("version " + std::to_string(n) + " is none of 8, 9, 11, 12, 14");
            versions.push_back(n);
        }
        outlook.SetVersions(versions);
    }
    if (seed.contains("failCreate")) {
        if (!seed["failCreate"].is_array()) Refuse("failCreate must be a list");
        for (const Json& p : seed["failCreate"]) outlook.SetCreateFails(Text(p, "a ProgID"));
    }
    if (seed.contains("gone")) {
        if (!seed["gone"].is_boolean()) Refuse("gone must be true or false");
        outlook.SetGone(seed["gone"].get<bool>());
    }
    if (seed.contains("stores")) {
        if (!seed["stores"].is_array()) Refuse("stores must be a list");
        std::vector<std::pair<QString, int>> stores;
        for (const Json& s : seed["stores"]) {
            if (!s.is_object()) Refuse("a store must be an object");
            const Json type = s.value("exchangeStoreType", Json(3));
            if (!type.is_number_integer()) Refuse("exchangeStoreType must be a number");
            stores.emplace_back(Text(s.value("storeId", Json()), "storeId"), type.get<int>());
        }
        outlook.SetProfileStores(stores);
    }
    if (seed.contains("categories")) {
        if (!seed["categories"].is_array()) Refuse("categories must be a list");
        QStringList names;
        for (const Json& c : seed["categories"]) names.append(Text(c, "a category"));
        outlook.SetCategories(names);
    }
    std::optional<double> clock;
    if (seed.contains("clock")) {
        if (!seed["clock"].is_number()) Refuse("clock must be an OLE date number");
        clock = seed["clock"].get<double>();
        outlook.SetClock(*clock);
    }
    if (seed.contains("items")) {
        if (!seed["items"].is_array()) Refuse("items must be a list");
        for (const Json& item : seed["items"]) {
            try {
                PlantItemOf(outlook, item);
            } catch (const std::invalid_argument& e) {
                const std::string reason = e.what();
                if (reason.rfind("Outlook seed", 0) == 0) throw;
                Refuse(reason);
            }
        }
    }
    if (seed.contains("faults")) {
        if (!seed["faults"].is_array()) Refuse("faults must be a list");
        for (const Json& f : seed["faults"]) outlook.AddFault(FaultOf(f));
    }
    return clock;
}

QByteArray OutlookStateJson(const OutlookEmulation& outlook)
{
    Json state = Json::object();
    state["liveObjects"] = outlook.LiveObjects();
    Json creations = Json::object();
    const QMap<QString, int> all = outlook.AllCreations();
    for (auto it = all.cbegin(); it != all.cend(); ++it) creations[it.key().toStdString()] = it.value();
    state["creations"] = creations;
    Json items = Json::array();
    const int version = outlook.Version();
    for (EmuFolder folder : kEmuFolders) {
        for (const EmuItem* item : outlook.ItemsIn(folder)) {
            Json j = Json::object();
            j["folder"] = EmuFolderName(folder);
            for (const EmuMember* m : EmuMembersOf(item->object, version))
                j[m->name] = JsonOf(outlook.Value(item->entryId, m->dispId));
            if (item->recurring) {
                Json pattern = Json::object();
                for (const EmuMember* m : EmuMembersOf(EmuObject::RecurrencePattern, version))
                    pattern[m->name] = JsonOf(outlook.PatternValue(item->entryId, QString::fromLatin1(m->name)));
                j["RecurrencePattern"] = pattern;
            }
            if (!item->attachments.empty()) {
                Json attachments = Json::array();
                for (const EmuAttachment& a : item->attachments)
                    attachments.push_back({{"base64", a.bytes.toBase64().toStdString()}, {"picture", a.picture}});
                j["Attachments"] = attachments;
            }
            items.push_back(j);
        }
    }
    state["items"] = items;
    return QByteArray::fromStdString(state.dump(1));
}
