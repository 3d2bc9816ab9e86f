// Throughput of the checksum and the item codec on the sizes a contact with a photo reaches.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QString>

#include "common/crc32.h"
#include "common/item_id.h"
#include "dispatch/item_record_codec.h"

namespace {

constexpr int kMiB = 1 << 20;

QByteArray Pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) ^ (i >> 8));
    return bytes;
}

ItemRecord ContactWithPicture()
{
    ItemRecord record;
    record.Add(QStringLiteral("FirstName"), QStringLiteral("Annemarie"));
    record.Add(QStringLiteral("LastName"), QString::fromUtf8("Müller-Lüdenscheidt"));
    record.Add(QStringLiteral("Email1Address"), QStringLiteral("annemarie@example.org"));
    record.Add(QStringLiteral("BusinessTelephoneNumber"), QStringLiteral("+49 30 1234567"));
    record.Add(QStringLiteral("Body"), QString(2000, QLatin1Char('n')));
    record.Add(QStringLiteral("Gender"), 1);
    record.Add(QStringLiteral("Sensitivity"), 0);
    record.Add(QStringLiteral("Picture"), QStringLiteral("Picture"));
    record.SetPicture(Pattern(kMiB));
    return record;
}

void BM_Crc32_1MiB(benchmark::State& state)
{
    const QByteArray data = Pattern(kMiB);
    for (auto _ : state) benchmark::DoNotOptimize(Crc32(data));
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_Crc32_1MiB);

void BM_EncodeItemRecord_1MiBPicture(benchmark::State& state)
{
    const ItemRecord record = ContactWithPicture();
    const QString id = NewItemId();
    qsizetype size = 0;
    for (auto _ : state) {
        ItemRecord copy = record;  // shares the picture; the encoder may drop fields from its record
        QByteArray blob = EncodeItemRecord(id, copy);
        size = blob.size();
        benchmark::DoNotOptimize(blob.constData());
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_EncodeItemRecord_1MiBPicture);

void BM_DecodeItemRecord_1MiBPicture(benchmark::State& state)
{
    ItemRecord record = ContactWithPicture();
    const QByteArray blob = EncodeItemRecord(NewItemId(), record);
    for (auto _ : state) {
        ItemRecord decoded;
        QString id;
        DecodeItemRecord(AsBytes(blob), true, decoded, &id);
        benchmark::DoNotOptimize(decoded.pictureBytes.constData());
    }
    state.SetBytesProcessed(state.iterations() * blob.size());
}
BENCHMARK(BM_DecodeItemRecord_1MiBPicture);

}  // namespace
