#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

// One value of an item field: a 32-bit integer (truth values are 0 and 1) or a text
// (dates travel as text).
using ItemValue = std::variant<std::int32_t, QString>;

// One item in exchange form. Names and values run in parallel; a name may occur twice.
// `pictureBytes` holds the contact picture as a 32-bit little-endian count followed by the
// image, and is used only when a field named "Picture" is present.
struct ItemRecord {
    QStringList names;
    std::vector<ItemValue> values;
    QByteArray pictureBytes;

    int FieldCount() const { return static_cast<int>(names.size()); }
    bool Empty() const { return names.isEmpty(); }
    void Add(const QString& name, ItemValue value)
    {
        names.append(name);
        values.push_back(std::move(value));
    }
    void RemoveAt(int index)
    {
        names.removeAt(index);
        values.erase(values.begin() + index);
    }
    // Index of the first field of that name, or -1.
    int IndexOf(const QString& name) const { return static_cast<int>(names.indexOf(name)); }
    // The picture's image bytes (without the count), or empty when none is carried.
    QByteArray PictureImage() const;
    // Sets the picture: the count and the image.
    void SetPicture(const QByteArray& image);

    friend bool operator==(const ItemRecord&, const ItemRecord&) = default;
};

inline bool IsIntegerValue(const ItemValue& v) { return std::holds_alternative<std::int32_t>(v); }
// A value as text: an integer in decimal.
QString ItemValueText(const ItemValue& value);
// A value as an integer: an integer, or text holding one in decimal (around spaces); else nothing.
std::optional<std::int32_t> ItemValueInteger(const ItemValue& value);
