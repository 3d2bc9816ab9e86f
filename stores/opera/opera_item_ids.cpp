#include "stores/opera/opera_item_ids.h"

#include <algorithm>

#include "common/item_id.h"

namespace {

// The "ID=" value when it is a plain decimal number.
QString IdNumber(const AdrDocument& doc, int block)
{
    const QString id = doc.Value(block, QStringLiteral("ID"));
    if (id.isEmpty() || id.size() > kItemIdUnits) return {};
    for (const QChar c : id)
        if (!c.isDigit() || c.unicode() > 0x7F) return {};
    return id;
}

QString WithNumber(const QString& padded, const QString& number)
{
    return padded.left(kItemIdUnits - number.size()) + number;
}

}  // namespace

QString OperaItemIds::Padded(QStringView value)
{
    if (value.size() >= kItemIdUnits) return value.first(kItemIdUnits).toString();
    QString padded(kItemIdUnits, Qt::Uninitialized);
    QChar* out = std::copy(value.cbegin(), value.cend(), padded.data());
    std::fill(out, padded.data() + kItemIdUnits, QLatin1Char('0'));
    return padded;
}

void OperaItemIds::Clear()
{
    blockOf_.clear();
    // Given back, not kept for the next session: a large hotlist's table would otherwise stay
    // with the agent for as long as it runs.
    std::vector<QString>().swap(idOf_);
}

void OperaItemIds::Set(int block, const QString& id)
{
    const auto at = static_cast<std::size_t>(block);
    if (at >= idOf_.size()) idOf_.resize(at + 1);
    blockOf_.insert(id, block);
    idOf_[at] = id;
}

void OperaItemIds::Forget(int block)
{
    const auto at = static_cast<std::size_t>(block);
    if (at >= idOf_.size() || idOf_[at].isNull()) return;
    blockOf_.remove(idOf_[at]);
    idOf_[at] = QString();
}

void OperaItemIds::Assign(const AdrDocument& doc, const std::vector<int>& visibleItems,
                          const QString& identifyingKey)
{
    Clear();
    const auto count = static_cast<qsizetype>(visibleItems.size());
    blockOf_.reserve(count);
    if (!visibleItems.empty())
        idOf_.resize(static_cast<std::size_t>(*std::max_element(visibleItems.begin(), visibleItems.end())) +
                     1);
    std::vector<QString> padded;
    padded.reserve(visibleItems.size());
    QHash<QString, int> sharing;
    sharing.reserve(count);
    for (int block : visibleItems) {
        padded.push_back(Padded(doc.ValueView(block, identifyingKey)));
        ++sharing[padded.back()];
    }
    // Items with a value of their own and sharing items with an "ID=" number first, so that the
    // running numbers given last avoid every identifier taken before them.
    std::vector<std::size_t> needNumber;
    for (std::size_t i = 0; i < visibleItems.size(); ++i) {
        QString id = padded[i];
        if (sharing.value(padded[i]) > 1) {
            const QString number = IdNumber(doc, visibleItems[i]);
            id = number.isEmpty() ? QString() : WithNumber(padded[i], number);
        }
        if (id.isEmpty()) {
            needNumber.push_back(i);
            continue;
        }
        // One lookup for both the test and the insertion: every item of a listing passes here.
        const qsizetype before = blockOf_.size();
        int& block = blockOf_[id];
        if (blockOf_.size() == before) {
            needNumber.push_back(i);
            continue;
        }
        block = visibleItems[i];
        idOf_[static_cast<std::size_t>(visibleItems[i])] = std::move(id);
    }
    for (std::size_t i : needNumber) {
        for (qint64 n = 1;; ++n) {
            const QString id = WithNumber(padded[i], QString::number(n));
            if (!blockOf_.contains(id)) {
                Set(visibleItems[i], id);
                break;
            }
        }
    }
}
