// Throughput of the checksum and the item codec on the sizes a contact with a photo reaches.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QString>
#include <array>
#include <chrono>
#include <cstdint>

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

// The byte-at-a-time table the agent computed CRC-32 with before it used zlib's: the yardstick
// zlib must beat at least four times over.
constexpr std::array<std::uint32_t, 256> MakeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

std::uint32_t ByteTableCrc32(const QByteArray& data)
{
    static constexpr auto kTable = MakeCrcTable();
    std::uint32_t c = ~0u;
    for (const char byte : data) c = kTable[(c ^ static_cast<std::uint8_t>(byte)) & 0xFF] ^ (c >> 8);
    return ~c;
}

void BM_Crc32_1MiB(benchmark::State& state)
{
    const QByteArray data = Pattern(kMiB);
    for (auto _ : state) benchmark::DoNotOptimize(Crc32(data));
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_Crc32_1MiB);

void BM_Crc32_1MiB_ByteTable(benchmark::State& state)
{
    const QByteArray data = Pattern(kMiB);
    for (auto _ : state) benchmark::DoNotOptimize(ByteTableCrc32(data));
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_Crc32_1MiB_ByteTable);

// Both in one run, so that the machine's load weighs on each alike: table_to_zlib is how many
// times longer the byte table takes (at least 4), equal_values that both give the same checksum.
void BM_Crc32_1MiB_ZlibVsByteTable(benchmark::State& state)
{
    const QByteArray data = Pattern(kMiB);
    double zlibSeconds = 0, tableSeconds = 0;
    bool equal = true;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const std::uint32_t fast = Crc32(data);
        const auto t1 = std::chrono::steady_clock::now();
        const std::uint32_t slow = ByteTableCrc32(data);
        const auto t2 = std::chrono::steady_clock::now();
        equal = equal && fast == slow;
        zlibSeconds += std::chrono::duration<double>(t1 - t0).count();
        tableSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["table_to_zlib"] = zlibSeconds > 0 ? tableSeconds / zlibSeconds : 0;
    state.counters["equal_values"] = equal ? 1 : 0;
}
BENCHMARK(BM_Crc32_1MiB_ZlibVsByteTable)->Iterations(50);

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
