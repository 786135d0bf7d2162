#include "SealRecords.h"

#include "CheckAnswer.h"

#include <cstring>

namespace {
constexpr int kHeadSize = 1 + 2 * sizeof(quint32);
}  // namespace

QByteArray encodeRecord(const SealRecord& record)
{
    const quint32 lengths[] = {quint32(record.name.size()), quint32(record.data.size())};
    return QByteArray(1, record.kind) + QByteArray(reinterpret_cast<const char*>(lengths), sizeof lengths) +
           record.name + record.data;
}

std::vector<SealRecord> decodeRecords(const QByteArray& bytes)
{
    std::vector<SealRecord> records;
    for (qint64 at = 0; at < bytes.size();) {
        quint32 lengths[2];
        if (bytes.size() - at < kHeadSize)
            throw CannotRun("the profile came over cut short; try again");
        std::memcpy(lengths, bytes.constData() + at + 1, sizeof lengths);
        const qint64 end = at + kHeadSize + qint64(lengths[0]) + qint64(lengths[1]);
        if (end > bytes.size())
            throw CannotRun("the profile came over cut short; try again");
        records.push_back({bytes[int(at)], bytes.mid(int(at + kHeadSize), int(lengths[0])),
                           bytes.mid(int(at + kHeadSize + lengths[0]), int(lengths[1]))});
        at = end;
    }
    return records;
}
