#pragma once
// Version records and files for the tests.
#include "versions/VersionFormat.h"

#include <QFile>

#include <functional>
#include <vector>

// A record for address a whose 64 data words are word(k), k = 1..64; its
// stored checksum is made with bank code 0.
inline Vers::Record TestRecord(uint16_t a, const std::function<uint16_t(int)>& word) {
    Vers::Record r{};
    r[0] = uint8_t(a);
    r[1] = uint8_t(a >> 8);
    for (int k = 1; k <= 64; ++k) {
        const uint16_t w = word(k);
        r[size_t(2 * k)] = uint8_t(w);
        r[size_t(2 * k + 1)] = uint8_t(w >> 8);
    }
    Vers::SetSum(r, Vers::BlockSum(r));
    return r;
}
inline Vers::Record TestRecord(uint16_t a) {
    return TestRecord(a, [a](int k) { return uint16_t(a * 7 + k); });
}

inline bool WriteRecords(const QString& path, const std::vector<Vers::Record>& records) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    for (const Vers::Record& r : records)
        f.write(reinterpret_cast<const char*>(r.data()), Vers::kRecordBytes);
    return true;
}
inline bool WriteVersion(const QString& path, const std::vector<uint16_t>& addresses) {
    std::vector<Vers::Record> records;
    for (uint16_t a : addresses)
        records.push_back(TestRecord(a));
    return WriteRecords(path, records);
}
// Block addresses from..to (inclusive) in steps of 0x40.
inline std::vector<uint16_t> Blocks(uint32_t from, uint32_t to) {
    std::vector<uint16_t> v;
    for (uint32_t a = from; a <= to; a += Vers::kBlockStep)
        v.push_back(uint16_t(a));
    return v;
}
