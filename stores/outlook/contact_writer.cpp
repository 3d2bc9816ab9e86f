#include "stores/outlook/contact_writer.h"

#include <vector>

#include "common/errors.h"
#include "stores/outlook/contact_picture.h"
#include "stores/outlook/contact_write_dates.h"
#include "stores/outlook/outlook_field_values.h"
#include "stores/outlook/outlook_wrappers.h"

namespace {

// One put, its value already converted; a picture is imported from the record's buffer.
struct PlannedWrite {
    DispId dispId = 0;
    bool picture = false;
    VariantValue value;
};

// The reminder keeps its time of day; the contact's own days (birthday, anniversary) do not.
double DateOf(const QString& key, const QString& text)
{
    if (key == QLatin1String("ReminderTime")) return ContactMomentForWrite(key, text);
    return ContactDayForWrite(key, text);
}

std::vector<PlannedWrite> Plan(const ItemRecord& record, int version, ContactOperation operation)
{
    std::vector<PlannedWrite> plan;
    bool pictureChecked = false;
    for (int i = 0; i < record.FieldCount(); ++i) {
        const QString& key = record.names[i];
        const ContactField* field = FindContactField(key, operation, version);
        if (!field) continue;
        const ItemValue& value = record.values[static_cast<std::size_t>(i)];
        PlannedWrite write;
        write.dispId = field->dispId;
        switch (field->kind) {
            case ContactFieldKind::Text:
                write.value = VariantValue::Text(ItemValueText(value));
                break;
            case ContactFieldKind::Integer:
                write.value = VariantValue::I4(RequireOutlookInteger("contact", key, value));
                break;
            case ContactFieldKind::Flag:
                write.value = VariantValue::Bool(RequireOutlookInteger("contact", key, value) != 0);
                break;
            case ContactFieldKind::Date:
                write.value = VariantValue::Date(DateOf(key, ItemValueText(value)));
                break;
            case ContactFieldKind::TaskDate:
                write.value = VariantValue::Date(ContactTaskDateForWrite(key, ItemValueText(value)));
                break;
            case ContactFieldKind::Picture:
                // The buffer is the same for every "Picture" entry: checking it once is enough.
                if (!pictureChecked) ContactPictureFromBuffer(record.pictureBytes);
                pictureChecked = true;
                write.picture = true;
                break;
        }
        plan.push_back(std::move(write));
    }
    return plan;
}

}  // namespace

std::vector<ContactPictureFile> WriteContactFields(const DispatchDriver& contact, const ItemRecord& record,
                                                   int version, ContactOperation operation)
{
    std::vector<ContactPictureFile> pictures;
    for (const PlannedWrite& write : Plan(record, version, operation)) {
        if (write.picture)
            pictures.push_back(ImportContactPicture(contact, record.pictureBytes));
        else if (write.value.Type() == VariantType::BStr)
            PutItemText(contact, write.dispId, write.value.String());
        else
            contact.Put(write.dispId, write.value);
    }
    return pictures;
}
