#include "dispatch/change_check.h"

#include <QHash>
#include <vector>

#include "common/byte_io.h"
#include "common/errors.h"

namespace {

void AppendSection(ByteWriter& w, const QStringList& ids, const char* what)
{
    if (ids.size() > 0xFFFF)
        throw AgentError(std::to_string(ids.size()) + " " + what +
                         " identifiers do not fit the reply's 16-bit count");
    w.U16(static_cast<std::uint16_t>(ids.size()));
    for (const QString& id : ids) w.Utf16(id);
}

qsizetype Units(const QStringList& ids)
{
    qsizetype units = 0;
    for (const QString& id : ids) units += id.size();
    return units;
}

}  // namespace

QByteArray ChangeReport::Encode() const
{
    QByteArray bytes;
    bytes.reserve(6 + 2 * (Units(added) + Units(edited) + Units(deleted)));
    ByteWriter w(bytes);
    AppendSection(w, added, "added");
    AppendSection(w, edited, "edited");
    AppendSection(w, deleted, "deleted");
    return bytes;
}

ChangeReport RunChangeCheck(StateList& list, const QStringList& current, const ChangeCheckSteps& steps)
{
    ChangeReport report;
    std::vector<StateEntry>& entries = list.MutableEntries();

    // Index: an identifier's first entry, and from each entry the next one of the same
    // identifier, so that duplicates are visited in list order.
    // Keys are views of the identifiers in the list and in `current`, which outlive the index.
    QHash<QStringView, qsizetype> first;
    first.reserve(static_cast<qsizetype>(entries.size() + static_cast<std::size_t>(current.size())));
    std::vector<qsizetype> next(entries.size(), -1);
    for (qsizetype i = static_cast<qsizetype>(entries.size()) - 1; i >= 0; --i) {
        const QStringView id = entries[static_cast<std::size_t>(i)].id;
        if (auto it = first.find(id); it != first.end()) {
            next[static_cast<std::size_t>(i)] = it.value();
            it.value() = i;
        } else {
            first.insert(id, i);
        }
    }
    // Entries that some current identifier matched; the others are deleted.
    std::vector<bool> seen(entries.size(), false);

    if (steps.sectionStarts) steps.sectionStarts("Edit");
    // Which current identifiers the saved state knew, so the next step looks up only the others.
    std::vector<bool> known(static_cast<std::size_t>(current.size()), false);
    for (qsizetype k = 0; k < current.size(); ++k) {
        const QString& id = current[k];
        const std::uint32_t crc = steps.checksum(id);
        const auto it = first.constFind(QStringView(id));
        if (it == first.cend()) continue;
        known[static_cast<std::size_t>(k)] = true;
        for (qsizetype i = it.value(); i >= 0; i = next[static_cast<std::size_t>(i)]) {
            StateEntry& entry = entries[static_cast<std::size_t>(i)];
            seen[static_cast<std::size_t>(i)] = true;
            if (steps.compared) steps.compared(id, entry.crc, crc);
            if (entry.crc == crc) continue;
            entry.crc = crc;
            report.edited.append(id);
            if (steps.edited) steps.edited(id);
        }
    }

    if (steps.sectionStarts) steps.sectionStarts("Add");
    for (qsizetype k = 0; k < current.size(); ++k) {
        const QString& id = current[k];
        // An identifier listed twice was appended at its first occurrence.
        if (known[static_cast<std::size_t>(k)] || first.contains(QStringView(id))) continue;
        const std::uint32_t crc = steps.checksum(id);
        if (steps.admitsNew && !steps.admitsNew(id)) continue;
        list.Append(id, crc);
        first.insert(QStringView(id), static_cast<qsizetype>(entries.size()) - 1);
        next.push_back(-1);
        seen.push_back(true);
        report.added.append(id);
        if (steps.added) steps.added(id);
    }

    if (steps.sectionStarts) steps.sectionStarts("Del");
    // The callbacks may fail; the list is compacted only once they have all run.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (seen[i]) continue;
        if (steps.deleted) steps.deleted(entries[i].id);
        report.deleted.append(entries[i].id);
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (seen[i]) {
            if (kept != i) entries[kept] = std::move(entries[i]);
            ++kept;
        }
    entries.resize(kept);
    return report;
}
