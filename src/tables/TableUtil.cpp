#include "tables/TableUtil.h"

#include "platform/Codec.h"
#include "tables/TableImpl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace tables {

namespace {

// Stored Paradox field type codes.
enum PxType {
    kAlpha = 0x01,
    kDate = 0x02,
    kShort = 0x03,
    kLong = 0x04,
    kCurrency = 0x05,
    kNumber = 0x06,
    kLogical = 0x09,
    kMemo = 0x0C,
    kBlob = 0x0D,
    kFmtMemo = 0x0E,
    kOle = 0x0F,
    kGraphic = 0x10,
    kTime = 0x14,
    kTimestamp = 0x15,
    kAutoInc = 0x16,
    kBcd = 0x17,
    kBytes = 0x18
};

constexpr qint64 kMaxDay = 3652059; // 9999-12-31
constexpr qint64 kMsPerDay = 86400000;
constexpr int kMaxFindings = 40;

int U16(const uint8_t* p) {
    return p[0] | p[1] << 8;
}
int S16(const uint8_t* p) {
    return int16_t(uint16_t(p[0] | p[1] << 8));
}
quint32 U32(const uint8_t* p) {
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// Bytes a field takes in a record; 0 for an impossible type or length.
int StoredLength(int type, int len) {
    switch (type) {
    case kAlpha:
    case kBytes:
        return len >= 1 && len <= 255 ? len : 0;
    case kDate:
    case kLong:
    case kTime:
    case kAutoInc:
        return len == 4 ? 4 : 0;
    case kShort:
        return len == 2 ? 2 : 0;
    case kCurrency:
    case kNumber:
    case kTimestamp:
        return len == 8 ? 8 : 0;
    case kLogical:
        return len == 1 ? 1 : 0;
    case kMemo:
    case kBlob:
    case kFmtMemo:
    case kOle:
    case kGraphic:
        return len >= 10 && len <= 250 ? len : 0;
    case kBcd:
        return len <= 32 ? 17 : 0;
    default:
        return 0;
    }
}

bool IsDataFileType(int t) {
    return t == 0 || t == 2;
}
bool IsOtherParadoxFileType(int t) {
    return t == 1 || (t >= 3 && t <= 8);
}

// Reads a Paradox long (big-endian, sign bit flipped).
qint64 PxLong(const uint8_t* p) {
    const quint32 u = quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
    return qint64(int32_t(u ^ 0x80000000u));
}
double PxDouble(const uint8_t* p) {
    uint8_t b[8];
    std::memcpy(b, p, 8);
    if (b[0] & 0x80)
        b[0] &= 0x7F;
    else
        for (uint8_t& c : b)
            c = uint8_t(~c);
    quint64 u = 0;
    for (uint8_t c : b)
        u = u << 8 | c;
    double d = 0;
    std::memcpy(&d, &u, 8);
    return d;
}

// Why a field value cannot be what its type stores; empty when it can.
QString BadValue(int type, const uint8_t* p, int len) {
    bool blank = true;
    for (int i = 0; i < len && blank; ++i)
        blank = p[i] == 0;
    if (blank) return {};
    switch (type) {
    case kAlpha: {
        int i = 0;
        while (i < len && p[i] != 0)
            ++i;
        for (; i < len; ++i)
            if (p[i] != 0) return QStringLiteral("bytes after the end of the text");
        return {};
    }
    case kDate: {
        const qint64 d = PxLong(p);
        return d >= 1 && d <= kMaxDay ? QString() : QStringLiteral("date out of range");
    }
    case kTime: {
        const qint64 t = PxLong(p);
        return t >= 0 && t < kMsPerDay ? QString() : QStringLiteral("time out of range");
    }
    case kCurrency:
    case kNumber:
        return std::isfinite(PxDouble(p)) ? QString() : QStringLiteral("not a number");
    case kTimestamp: {
        const double v = PxDouble(p);
        return std::isfinite(v) && v >= 0 && v < double(kMaxDay + 1) * kMsPerDay
                   ? QString()
                   : QStringLiteral("timestamp out of range");
    }
    case kLogical:
        return p[0] == 0x80 || p[0] == 0x81 ? QString() : QStringLiteral("not a logical value");
    default:
        return {};
    }
}

// The header as read from the file, with whatever of it makes sense.
struct Header {
    qint64 fileSize = 0;
    int recSize = 0;
    int headSize = 0;
    int fileType = 0;
    int blockKb = 0;
    qint64 numRecords = 0;
    int fileBlocks = 0;
    int firstBlock = 0;
    int lastBlock = 0;
    int firstFree = 0;
    int version = 0;
    int keyFields = 0;
    int codePage = 0;
    int auxPasswords = 0;
    int changeCount = 0;
    bool encrypted = false;
    bool structureOk = false;
    QString structureWhy;
    TableDesc desc;
};

bool ReadAt(QFile& f, qint64 pos, void* buf, qint64 n, bool* ioError) {
    if (!f.seek(pos)) {
        *ioError = true;
        return false;
    }
    const qint64 r = f.read(static_cast<char*>(buf), n);
    if (r < 0) *ioError = true;
    return r == n;
}

bool ParseNames(const QByteArray& h, int at, int n, QList<TableDesc::Field>& fields) {
    for (int i = 0; i < n; ++i) {
        const int end = h.indexOf('\0', at);
        if (end < 0 || end == at || end - at > 255) return false;
        for (int k = at; k < end; ++k)
            if (uint8_t(h[k]) < 0x20) return false;
        fields[i].name = Codec::FromCp1251(h.constData() + at, end - at);
        at = end + 1;
    }
    return true;
}

void ParseHeader(QFile& f, Header& hd, bool* ioError) {
    hd.fileSize = f.size();
    const qint64 want = std::min<qint64>(hd.fileSize, 0x10000);
    QByteArray h(int(want), 0);
    if (want > 0 && !ReadAt(f, 0, h.data(), want, ioError)) {
        hd.structureWhy = QStringLiteral("header cannot be read");
        return;
    }
    if (h.size() < 0x58) {
        hd.structureWhy = QStringLiteral("file too short for a header (%1 bytes)").arg(h.size());
        return;
    }
    const auto* p = reinterpret_cast<const uint8_t*>(h.constData());
    hd.recSize = U16(p);
    hd.headSize = U16(p + 2);
    hd.fileType = p[4];
    hd.blockKb = p[5];
    hd.numRecords = U32(p + 6);
    hd.fileBlocks = U16(p + 0x0C);
    hd.firstBlock = U16(p + 0x0E);
    hd.lastBlock = U16(p + 0x10);
    hd.firstFree = U16(p + 0x4D);
    hd.version = p[0x39];
    hd.auxPasswords = p[0x3D];
    hd.changeCount = p[0x2D];
    hd.keyFields = U16(p + 0x23);
    const quint32 enc1 = U32(p + 0x25);
    const bool dataHeader = hd.version >= 5 && h.size() >= 0x78;
    const quint32 enc2 = dataHeader ? U32(p + 0x5C) : 0;
    const bool encrypted = (enc1 != 0 && enc1 != 0xFF00FF00u) || enc2 != 0;
    if (dataHeader) hd.codePage = U16(p + 0x6A);

    const int n = U16(p + 0x21);
    if (n < 1 || n > 255) {
        hd.structureWhy = QStringLiteral("damaged header (%1 fields)").arg(n);
        return;
    }
    const int infoAt = hd.version >= 5 ? 0x78 : 0x58;
    if (infoAt + 2 * n > h.size()) {
        hd.structureWhy = QStringLiteral("damaged header (field list cut off)");
        return;
    }
    QList<TableDesc::Field> fields(n);
    int sum = 0;
    for (int i = 0; i < n; ++i) {
        const int type = p[infoAt + 2 * i];
        const int len = p[infoAt + 2 * i + 1];
        const int stored = StoredLength(type, len);
        if (!stored) {
            hd.structureWhy = QStringLiteral("damaged header (field %1 of type %2, length %3)")
                                  .arg(i + 1)
                                  .arg(type)
                                  .arg(len);
            return;
        }
        fields[i].type = type;
        fields[i].length = len;
        sum += stored;
    }
    if (sum != hd.recSize) {
        hd.structureWhy = QStringLiteral("damaged header (record size %1, fields take %2)")
                              .arg(hd.recSize)
                              .arg(sum);
        return;
    }
    // Field names follow the type list, the table name pointer, one pointer
    // per field and the table name (79 bytes, 261 from level 7 on).
    const int namesAt = infoAt + 2 * n + 4 + 4 * n;
    bool named = false;
    for (int tableNameLen : {hd.version >= 12 ? 261 : 79, hd.version >= 12 ? 79 : 261})
        if (!named) named = ParseNames(h, namesAt + tableNameLen, n, fields);
    if (!named) {
        hd.structureWhy = QStringLiteral("damaged header (field names)");
        return;
    }
    hd.desc.fields = fields;
    // A key count past the fields is settled by the primary index (KeysOf).
    hd.desc.keyFields = hd.keyFields <= n ? hd.keyFields : 0;
    hd.structureOk = true;
    // Only a coherent header is believed to say "encrypted".
    hd.encrypted = encrypted;
}

// Opens the table at path and reads its header; the cause when it cannot be opened.
std::optional<QString> ReadHeader(const QString& path, Header& hd, bool* ioError) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return f.errorString();
    ParseHeader(f, hd, ioError);
    return std::nullopt;
}

bool ValidBlockKb(int kb) {
    return kb == 1 || kb == 2 || kb == 3 || kb == 4 || kb == 8 || kb == 16 || kb == 32;
}

struct Block {
    bool sound = false;
    int next = 0;
    int prev = 0;
    int count = 0; // rows the block header claims
    int avail = 0; // rows wholly in the file
    qint64 at = 0;
};

// Everything a verify or rebuild learns from the blocks.
struct Scan {
    std::vector<QByteArray> rows;     // the table's rows, in block-chain order
    std::vector<QByteArray> problems; // rows set aside
    int lost = 0;
    int chainBlocks = 0; // blocks of the chain holding rows
    QStringList findings;
    bool ioError = false;
    void Find(const QString& s) {
        if (findings.size() < kMaxFindings)
            findings << s;
        else if (findings.size() == kMaxFindings)
            findings << QStringLiteral("... further findings left out");
    }
};

// The primary index beside a table: an existing one in any case, else
// ".PX" for a table named ".DB" and ".px" for ".db" (as the store names it).
QString IndexPathOf(const QString& path) {
    const QFileInfo fi(path);
    const QString found =
        FindFileNoCase(fi.absolutePath(), fi.completeBaseName() + QStringLiteral(".PX"));
    if (QFileInfo::exists(found)) return found;
    const bool upper = fi.suffix() == fi.suffix().toUpper();
    return fi.absolutePath() + QLatin1Char('/') + fi.completeBaseName() +
           (upper ? QStringLiteral(".PX") : QStringLiteral(".px"));
}

// Reads every block of a table of the given record layout.
void ScanBlocks(QFile& f, const Header& hd, const TableDesc& desc, int headSize, int blockKb,
                Scan& s, const std::function<void(int)>& progress) {
    const int rec = desc.RecordSize();
    const qint64 blockSize = qint64(blockKb) * 1024;
    const qint64 body = hd.fileSize - headSize;
    const int full = body > 0 ? int(std::min<qint64>(body / blockSize, 65535)) : 0;
    const qint64 tail = body > 0 ? body % blockSize : 0;
    const int nBlocks = full + (tail >= 6 && full < 65535 ? 1 : 0);
    std::vector<Block> blocks(size_t(nBlocks) + 1);
    for (int b = 1; b <= nBlocks; ++b) {
        Block& k = blocks[size_t(b)];
        k.at = headSize + qint64(b - 1) * blockSize;
        uint8_t h[6];
        if (!ReadAt(f, k.at, h, 6, &s.ioError)) continue;
        k.next = U16(h);
        k.prev = U16(h + 2);
        const int add = S16(h + 4);
        k.sound = add >= -rec && add <= blockSize - 6 - rec && (add + rec) % rec == 0;
        k.count = k.sound ? (add + rec) / rec : 0;
        const qint64 bytes = std::min<qint64>(blockSize, hd.fileSize - k.at) - 6;
        k.avail = int(std::min<qint64>(k.count, bytes / rec));
    }
    if (hd.fileBlocks > nBlocks)
        s.Find(QStringLiteral("file shorter than its %1 blocks: %2 present (truncated)")
                   .arg(hd.fileBlocks)
                   .arg(nBlocks));
    else if (hd.fileBlocks < nBlocks)
        s.Find(QStringLiteral("file holds %1 blocks, the header counts %2")
                   .arg(nBlocks)
                   .arg(hd.fileBlocks));
    else if (tail > 0)
        s.Find(QStringLiteral("%1 stray bytes after the last block").arg(tail));

    // The chain from the first block, and from the last one backwards when
    // it breaks.
    std::vector<char> inTable(size_t(nBlocks) + 1, 0);
    std::vector<int> order;
    bool broken = false;
    int prev = 0;
    int b = hd.firstBlock;
    if (b == 0 && nBlocks > 0 && hd.fileBlocks > 0) {
        s.Find(QStringLiteral("the header names no first block"));
        broken = true;
    }
    while (b != 0 && !broken) {
        if (b > nBlocks) {
            s.Find(QStringLiteral("block %1 links to block %2, which is not in the file")
                       .arg(prev)
                       .arg(b));
            broken = true;
        } else if (inTable[size_t(b)]) {
            s.Find(QStringLiteral("block %1 links back to block %2 (a loop)").arg(prev).arg(b));
            broken = true;
        } else if (!blocks[size_t(b)].sound) {
            s.Find(QStringLiteral("block %1: damaged block header").arg(b));
            broken = true;
        } else {
            if (blocks[size_t(b)].prev != prev)
                s.Find(QStringLiteral("block %1 links back to block %2 instead of %3")
                           .arg(b)
                           .arg(blocks[size_t(b)].prev)
                           .arg(prev));
            inTable[size_t(b)] = 1;
            order.push_back(b);
            prev = b;
            b = blocks[size_t(b)].next;
        }
    }
    if (!broken && prev != hd.lastBlock) {
        s.Find(QStringLiteral("the header names block %1 as the last, the chain ends at %2")
                   .arg(hd.lastBlock)
                   .arg(prev));
        broken = true;
    }
    if (broken) {
        std::vector<int> back;
        for (int k = hd.lastBlock;
             k > 0 && k <= nBlocks && !inTable[size_t(k)] && blocks[size_t(k)].sound;
             k = blocks[size_t(k)].prev) {
            inTable[size_t(k)] = 1;
            back.push_back(k);
        }
        order.insert(order.end(), back.rbegin(), back.rend());
    }
    std::vector<char> isFree(size_t(nBlocks) + 1, 0);
    for (int k = hd.firstFree; k > 0 && k <= nBlocks && !inTable[size_t(k)] && !isFree[size_t(k)];
         k = blocks[size_t(k)].next)
        isFree[size_t(k)] = 1;
    std::vector<int> strays;
    for (int k = 1; k <= nBlocks; ++k) {
        if (inTable[size_t(k)] || isFree[size_t(k)]) continue;
        if (blocks[size_t(k)].sound && broken) {
            s.Find(QStringLiteral("block %1 is cut off the block chain").arg(k));
            order.push_back(k);
        } else {
            strays.push_back(k);
        }
    }

    // A header count the file's blocks could hold is believed: rows it
    // counts beyond the blocks' own counts are looked for in the unused
    // slots of the chain's blocks (a damaged count hides them there).
    const qint64 perBlock = (blockSize - 6) / rec;
    const bool countBelievable =
        hd.numRecords <= qint64(std::max(nBlocks, hd.fileBlocks)) * perBlock;
    qint64 counted = 0;
    for (int k : order)
        counted += blocks[size_t(k)].count;
    qint64 hidden = countBelievable ? std::max<qint64>(0, hd.numRecords - counted) : 0;

    const int total = std::max(1, nBlocks);
    int done = 0;
    auto readHidden = [&](int k) {
        const Block& bl = blocks[size_t(k)];
        const int room = int(std::min<qint64>(
            perBlock, (std::min<qint64>(blockSize, hd.fileSize - bl.at) - 6) / rec));
        if (!bl.sound || room <= bl.count) return;
        QByteArray data((room - bl.count) * rec, 0);
        if (!ReadAt(f, bl.at + 6 + qint64(bl.count) * rec, data.data(), data.size(), &s.ioError))
            return;
        int found = 0;
        for (int i = 0; i < room - bl.count && hidden > 0; ++i) {
            QByteArray row = data.mid(i * rec, rec);
            if (std::all_of(row.cbegin(), row.cend(), [](char c) { return c == 0; })) break;
            bool bad = false;
            int off = 0;
            for (const TableDesc::Field& fd : desc.fields) {
                const int len = StoredLength(fd.type, fd.length);
                bad = bad || !BadValue(fd.type,
                                       reinterpret_cast<const uint8_t*>(row.constData()) + off, len)
                                  .isEmpty();
                off += len;
            }
            (bad ? s.problems : s.rows).push_back(std::move(row));
            --hidden;
            ++found;
        }
        if (found)
            s.Find(QStringLiteral("block %1 holds %2 rows past its row count %3")
                       .arg(k)
                       .arg(found)
                       .arg(bl.count));
    };
    auto readRows = [&](int k, bool toTable) {
        const Block& bl = blocks[size_t(k)];
        const int nSlots =
            bl.sound ? bl.avail : int((std::min<qint64>(blockSize, hd.fileSize - bl.at) - 6) / rec);
        if (nSlots <= 0) return;
        QByteArray data(nSlots * rec, 0);
        if (!ReadAt(f, bl.at + 6, data.data(), data.size(), &s.ioError)) return;
        for (int i = 0; i < nSlots; ++i) {
            QByteArray row = data.mid(i * rec, rec);
            const auto* p = reinterpret_cast<const uint8_t*>(row.constData());
            if (!bl.sound) {
                if (std::all_of(row.cbegin(), row.cend(), [](char c) { return c == 0; })) continue;
                s.problems.push_back(std::move(row));
                continue;
            }
            QString bad;
            int off = 0;
            for (const TableDesc::Field& fd : desc.fields) {
                const int len = StoredLength(fd.type, fd.length);
                bad = BadValue(fd.type, p + off, len);
                if (!bad.isEmpty()) {
                    bad = fd.name + QStringLiteral(": ") + bad;
                    break;
                }
                off += len;
            }
            if (!bad.isEmpty() || !toTable) {
                if (!bad.isEmpty())
                    s.Find(QStringLiteral("block %1 row %2: %3").arg(k).arg(i + 1).arg(bad));
                s.problems.push_back(std::move(row));
            } else {
                s.rows.push_back(std::move(row));
            }
        }
        if (bl.sound && bl.avail < bl.count) {
            s.Find(QStringLiteral("file ends inside block %1: %2 rows cut off")
                       .arg(k)
                       .arg(bl.count - bl.avail));
            s.lost += bl.count - bl.avail;
        }
    };
    for (int k : order) {
        readRows(k, true);
        if (hidden > 0) readHidden(k);
        if (blocks[size_t(k)].count > 0) ++s.chainBlocks;
        progress(++done * 100 / total);
    }
    for (int k : strays) {
        s.Find(blocks[size_t(k)].sound
                   ? QStringLiteral("block %1 is neither in the table nor free").arg(k)
                   : QStringLiteral("block %1: damaged block header").arg(k));
        readRows(k, false);
        progress(++done * 100 / total);
    }
    if (qint64(s.rows.size()) + s.lost != hd.numRecords ||
        (broken && hd.numRecords != qint64(s.rows.size())))
        s.Find(QStringLiteral("the header counts %1 rows, the blocks hold %2")
                   .arg(hd.numRecords)
                   .arg(s.rows.size()));
    // Rows the header counts that no block yields are reported lost.
    if (countBelievable && hd.numRecords > qint64(s.rows.size() + s.problems.size()))
        s.lost = int(
            std::max<qint64>(s.lost, hd.numRecords - qint64(s.rows.size() + s.problems.size())));
    progress(100);
}

int KeyLength(const TableDesc& d) {
    int n = 0;
    for (int i = 0; i < d.keyFields && i < d.fields.size(); ++i)
        n += StoredLength(d.fields[i].type, d.fields[i].length);
    return n;
}

std::vector<PxFieldSpec> PxFields(const TableDesc& d) {
    std::vector<PxFieldSpec> out;
    for (const auto& f : d.fields)
        out.push_back({Codec::ToCp1251(f.name), f.type, f.length});
    return out;
}

// Header and block sizes the store would give a new table of this structure.
bool TemplateGeometry(const TableDesc& d, int& headSize, int& blockKb, QString* error) {
    QTemporaryDir tmp;
    if (!tmp.isValid()) {
        if (error) *error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString file = tmp.filePath(QStringLiteral("t.db"));
    if (!BuildParadoxFile(file, "t.db", PxFields(d), d.keyFields, {},
                          tmp.filePath(QStringLiteral("t.px")), error))
        return false;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray h = f.read(6);
    if (h.size() < 6) return false;
    headSize = U16(reinterpret_cast<const uint8_t*>(h.constData()) + 2);
    blockKb = uint8_t(h[5]);
    return true;
}

// The key field count: the primary index's when the header's disagrees with
// it (a damaged count would build an index the table does not match);
// nullopt when neither can be believed.
std::optional<int> KeysOf(const QString& path, const Header& hd, QString* finding) {
    const int n = int(hd.desc.fields.size());
    const int h = hd.keyFields;
    // The file type says whether the table is keyed; an index beside an
    // unkeyed table is not its own.
    if (hd.fileType == 2) {
        if (h != 0)
            *finding = QStringLiteral("damaged header (%1 key fields in an unkeyed table)").arg(h);
        return 0;
    }
    QFile pf(IndexPathOf(path));
    uint8_t ph[0x24] = {};
    if (pf.open(QIODevice::ReadOnly) && pf.read(reinterpret_cast<char*>(ph), 0x24) == 0x24 &&
        ph[4] == 1) {
        const int ik = U16(ph + 0x21);
        if (ik >= 1 && ik <= n) {
            if (ik != h)
                *finding =
                    QStringLiteral("damaged header (%1 key fields, the primary index has %2)")
                        .arg(h)
                        .arg(ik);
            return ik;
        }
    }
    if (h <= n) return h;
    return std::nullopt;
}

// How well a record layout and block geometry explain the blocks of a file:
// the blocks a consistent chain walks through (forwards from the first
// block, backwards from the last), the blocks with a sound header, and
// whether the file is whole blocks of that size as many as the header counts.
// A layout explains the blocks unless most blocks that claim several rows
// claim a number of bytes that is no whole number of its records.
struct Fit {
    int chain = -1; // -1: the layout cannot be the file's
    int sound = 0;
    int blocks = 0;
    bool aligned = false;
    int several = 0; // blocks whose header claims several rows in the block
    bool Explains() const { return chain >= 0 && sound * 2 >= several; }
    bool Better(const Fit& o) const {
        if (chain != o.chain) return chain > o.chain;
        if (sound != o.sound) return sound > o.sound;
        return aligned && !o.aligned;
    }
};

Fit Measure(QFile& f, const Header& hd, int rec, int headSize, int blockKb) {
    Fit fit;
    const qint64 blockSize = qint64(blockKb) * 1024;
    if (!ValidBlockKb(blockKb) || headSize < 0x58 || headSize > hd.fileSize || rec <= 0 ||
        rec > blockSize - 6)
        return fit;
    const qint64 body = hd.fileSize - headSize;
    const int full = int(std::min<qint64>(body / blockSize, 65535));
    const int n = full + (body % blockSize >= 6 && full < 65535 ? 1 : 0);
    struct H {
        int next, prev;
        bool sound;
    };
    std::vector<H> b(size_t(n) + 1, H{0, 0, false});
    bool io = false;
    for (int k = 1; k <= n; ++k) {
        uint8_t h[6];
        if (!ReadAt(f, headSize + qint64(k - 1) * blockSize, h, 6, &io)) continue;
        const int add = S16(h + 4);
        b[size_t(k)] = {U16(h), U16(h + 2),
                        add >= -rec && add <= blockSize - 6 - rec && (add + rec) % rec == 0 &&
                            U16(h) <= n && U16(h + 2) <= n};
        // A count of one (zero bytes) is what any stretch of rows reads as;
        // only a block of several rows speaks for the layout.
        fit.sound += b[size_t(k)].sound && add > 0 ? 1 : 0;
        fit.several += add > 0 && add < blockSize ? 1 : 0;
    }
    fit.blocks = n;
    fit.chain = 0;
    std::vector<char> seen(size_t(n) + 1, 0);
    for (int k = hd.firstBlock, prev = 0;
         k > 0 && k <= n && !seen[size_t(k)] && b[size_t(k)].sound && b[size_t(k)].prev == prev;
         prev = k, k = b[size_t(k)].next) {
        seen[size_t(k)] = 1;
        ++fit.chain;
    }
    for (int k = hd.lastBlock, next = 0;
         k > 0 && k <= n && !seen[size_t(k)] && b[size_t(k)].sound && b[size_t(k)].next == next;
         next = k, k = b[size_t(k)].prev) {
        seen[size_t(k)] = 1;
        ++fit.chain;
    }
    fit.aligned = body % blockSize == 0 && n == hd.fileBlocks;
    return fit;
}

// The header size and block size that explain the blocks best for this
// record layout: the header's own, unless the layout a new table of it gets
// (or a mix of the two) explains them better.
Fit ChooseGeometry(QFile& f, const Header& hd, const TableDesc& desc, int& headSize, int& blockKb) {
    headSize = hd.headSize;
    blockKb = hd.blockKb;
    const int rec = desc.RecordSize();
    Fit best = Measure(f, hd, rec, headSize, blockKb);
    int th = 0, tk = 0;
    if (!TemplateGeometry(desc, th, tk, nullptr)) return best;
    for (auto [h, k] : {std::pair{th, tk}, std::pair{hd.headSize, tk}, std::pair{th, hd.blockKb}}) {
        const Fit fit = Measure(f, hd, rec, h, k);
        if (fit.Better(best)) {
            best = fit;
            headSize = h;
            blockKb = k;
        }
    }
    return best;
}

// The whole examination of a table file.
struct Examination {
    Header head;
    Scan scan;
    TableDesc desc; // the structure the rows were read with
    Fit fit;
    bool headerOk = false; // the header's own structure is used
    int result = TTableUtil::NoErrors;
};

using PhaseReport = std::function<void(UtilPhase, int)>;

// Examines the file: its header and, with a structure (the given one, else
// the header's), every block. False when the file cannot be examined at all.
bool Examine(const QString& path, const TableDesc* given, Examination& ex,
             const PhaseReport& report, QString* error) {
    if (path.endsWith(QStringLiteral(".dbf"), Qt::CaseInsensitive)) {
        *error = QStringLiteral("only Paradox tables are verified and rebuilt");
        return false;
    }
    QFile f(path);
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("no such table");
        return false;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        *error = f.errorString();
        return false;
    }
    Header& hd = ex.head;
    Scan& s = ex.scan;
    report(UtilPhase::Header, 0);
    ParseHeader(f, hd, &s.ioError);
    report(UtilPhase::Header, 100);
    if (!given) {
        if (hd.encrypted || (hd.structureOk && IsOtherParadoxFileType(hd.fileType))) {
            s.Find(hd.encrypted
                       ? QStringLiteral("encrypted table")
                       : QStringLiteral("not a data table (file type %1)").arg(hd.fileType));
            ex.result = TTableUtil::CannotRebuild;
            return true;
        }
        if (!hd.structureOk) {
            s.Find(hd.structureWhy);
            ex.result = s.ioError ? TTableUtil::NotCompleted : TTableUtil::RebuildManually;
            return true;
        }
    }
    TableDesc desc = given ? *given : hd.desc;
    if (!given) {
        QString keyNote;
        const auto keys = KeysOf(path, hd, &keyNote);
        if (!keys) {
            s.Find(QStringLiteral("damaged header (%1 key fields)").arg(hd.keyFields));
            ex.result = TTableUtil::RebuildManually;
            return true;
        }
        desc.keyFields = *keys;
        if (!keyNote.isEmpty()) s.Find(keyNote);
    }
    ex.desc = desc;
    ex.headerOk = hd.structureOk && hd.desc.RecordSize() == desc.RecordSize();
    if (!ex.headerOk && !hd.structureWhy.isEmpty()) s.Find(hd.structureWhy);
    if (desc.RecordSize() <= 0 || desc.RecordSize() > 32 * 1024 - 6) {
        *error = QStringLiteral("record of %1 bytes does not fit a block").arg(desc.RecordSize());
        return false;
    }
    // The header's layout words are believed only where they explain the
    // blocks: a damaged header or block size would read every row from the
    // wrong place.
    int headSize = 0;
    int blockKb = 0;
    ex.fit = ChooseGeometry(f, hd, desc, headSize, blockKb);
    if (ex.fit.chain < 0 || !ValidBlockKb(blockKb)) {
        if (!TemplateGeometry(desc, headSize, blockKb, error)) return false;
    }
    if (headSize != hd.headSize)
        s.Find(QStringLiteral("damaged header (header size %1, the blocks start at %2)")
                   .arg(hd.headSize)
                   .arg(headSize));
    if (blockKb != hd.blockKb)
        s.Find(QStringLiteral("damaged header (block size %1 KB, the blocks are %2 KB)")
                   .arg(hd.blockKb)
                   .arg(blockKb));
    if (!given && !ex.fit.Explains()) {
        s.Find(QStringLiteral("the header's field list (record size %1) does not fit the blocks")
                   .arg(desc.RecordSize()));
        ex.result = TTableUtil::RebuildManually;
        return true;
    }
    if (ex.headerOk && !IsDataFileType(hd.fileType))
        s.Find(QStringLiteral("damaged header (file type %1)").arg(hd.fileType));
    if (desc.RecordSize() > blockKb * 1024 - 6) {
        *error = QStringLiteral("record of %1 bytes does not fit a block").arg(desc.RecordSize());
        return false;
    }
    ScanBlocks(f, hd, desc, headSize, blockKb, s, [&](int pct) { report(UtilPhase::Data, pct); });

    report(UtilPhase::Indexes, 0);
    if (desc.keyFields > 0) {
        const int keyLen = KeyLength(desc);
        for (size_t i = 1; i < s.rows.size(); ++i)
            if (std::memcmp(s.rows[i - 1].constData(), s.rows[i].constData(), size_t(keyLen)) >=
                0) {
                s.Find(QStringLiteral("row %1: key out of order or repeated").arg(i + 1));
                break;
            }
        const QString px = IndexPathOf(path);
        QFile pf(px);
        uint8_t ph[16] = {};
        if (!pf.open(QIODevice::ReadOnly))
            s.Find(QStringLiteral("primary index %1 is missing").arg(QFileInfo(px).fileName()));
        else if (pf.read(reinterpret_cast<char*>(ph), 16) != 16 || ph[4] != 1)
            s.Find(QStringLiteral("primary index %1 is damaged").arg(QFileInfo(px).fileName()));
        else if (qint64(U32(ph + 6)) != s.chainBlocks)
            s.Find(QStringLiteral("primary index %1 counts %2 blocks, the table has %3")
                       .arg(QFileInfo(px).fileName())
                       .arg(U32(ph + 6))
                       .arg(s.chainBlocks));
    }
    report(UtilPhase::Indexes, 100);
    if (s.ioError)
        ex.result = TTableUtil::NotCompleted;
    else if (!given && !s.findings.isEmpty())
        ex.result = TTableUtil::Completed;
    return true;
}

// The work files of a rebuild of `table`, each named after the table (so a
// rebuild of another table in the folder has none of them).
QString SideTemp(const QString& table, const QString& side) {
    return table + QLatin1Char('.') + side + QStringLiteral(".rebuild~");
}
QStringList RebuildTemps(const QString& table) {
    const QFileInfo fi(table);
    const QString base = fi.absolutePath() + QLatin1Char('/') + fi.completeBaseName();
    return {table + QStringLiteral(".rebuild~"), base + QStringLiteral(".PX.rebuild~"),
            base + QStringLiteral(".px.rebuild~"), SideTemp(table, TTableUtil::kKeyViol),
            SideTemp(table, TTableUtil::kProblem)};
}

// Moves an existing side table of another structure out of the way:
// "PROBLEM.DB" becomes "PROBLEM1.DB" (the first free number).
bool MoveAside(const QString& dir, const QString& existing, QString* error) {
    const QFileInfo fi(existing);
    for (int n = 1; n < 1000; ++n) {
        const QString name =
            fi.completeBaseName() + QString::number(n) + QLatin1Char('.') + fi.suffix();
        if (QFileInfo::exists(FindFileNoCase(dir, name))) continue;
        return ReplaceFile(existing, dir + QLatin1Char('/') + name, error);
    }
    if (error) *error = QStringLiteral("no free name for %1").arg(fi.fileName());
    return false;
}

// Writes the rejected rows into a new file for the side table `name` (after
// the rows it already holds when it has the same structure).
bool BuildSideTable(const QString& table, const QString& dir, const QString& name,
                    const TableDesc& desc, std::vector<QByteArray> rows, QString& temp,
                    QString* error) {
    const QString existing = FindFileNoCase(dir, name);
    if (QFileInfo::exists(existing)) {
        Examination old;
        QString e;
        TableDesc plain = desc;
        plain.keyFields = 0;
        if (Examine(
                existing, nullptr, old, [](UtilPhase, int) {}, &e) &&
            old.head.structureOk && old.head.desc.fields == plain.fields &&
            old.result != TTableUtil::NotCompleted) {
            // Its rows were rejected before: damaged values are kept as they are.
            rows.insert(rows.begin(), old.scan.problems.begin(), old.scan.problems.end());
            rows.insert(rows.begin(), old.scan.rows.begin(), old.scan.rows.end());
        } else if (!MoveAside(dir, existing, error)) {
            return false;
        }
    }
    temp = SideTemp(table, name);
    TableDesc plain = desc;
    plain.keyFields = 0; // rejected rows may repeat keys
    return BuildParadoxFile(temp, Codec::ToCp1251(name), PxFields(plain), 0, rows, QString(),
                            error);
}

} // namespace

TableDesc TableDesc::FromFields(const FieldList& fields, int keyFields) {
    TableDesc d;
    d.keyFields = keyFields;
    for (const FieldDef& f : fields) {
        const PxFieldSpec px = PxFieldOf(f);
        Field x;
        x.name = f.name;
        x.type = px.type;
        x.length = px.length;
        d.fields.append(x);
    }
    return d;
}

int TableDesc::RecordSize() const {
    int n = 0;
    for (const Field& f : fields)
        n += StoredLength(f.type, f.length);
    return n;
}

QString TTableUtil::VerifyMessage(int result) {
    switch (result) {
    case 0:
        return QStringLiteral("Verification Successful. Table has no errors.");
    case 1:
        return QStringLiteral("Verification Successful. Verification completed.");
    case 2:
        return QStringLiteral("Verification Successful. Verification could not be completed.");
    case 3:
        return QStringLiteral("Verification Successful. Table must be rebuild manually.");
    case 4:
        return QStringLiteral("Verification Successful. Table cannot be rebuilt.");
    default:
        return QStringLiteral("Verification unsuccessful.");
    }
}

bool TTableUtil::Fail(const QString& path, const QString& cause) {
    m_error = QFileInfo(path).fileName() + QStringLiteral(": ") + cause;
    return false;
}

void TTableUtil::Report(UtilPhase phase, int percent) {
    if (m_progress) m_progress(phase, percent);
}

bool TTableUtil::FillCurProps(const QString& path, TableProps& props) {
    m_error.clear();
    if (path.endsWith(QStringLiteral(".dbf"), Qt::CaseInsensitive))
        return Fail(path, QStringLiteral("only Paradox tables are verified and rebuilt"));
    Header h;
    bool io = false;
    if (auto why = ReadHeader(path, h, &io)) return Fail(path, *why);
    if (!h.structureOk) return Fail(path, h.structureWhy);
    props = TableProps();
    props.fields = h.desc.fields.size();
    props.recordSize = h.recSize;
    props.indexes = h.keyFields > 0 ? 1 : 0;
    props.restructureVersion = h.changeCount;
    props.auxPasswords = h.auxPasswords;
    props.codePage = h.codePage;
    props.blockSize = h.blockKb;
    switch (h.version) {
    case 3:
    case 4:
        props.tableLevel = 3;
        break;
    case 10:
    case 11:
        props.tableLevel = 5;
        break;
    case 12:
        props.tableLevel = 7;
        break;
    default:
        props.tableLevel = h.version >= 5 && h.version <= 9 ? 4 : 0;
    }
    return true;
}

bool TTableUtil::VerifyTable(const QString& path, int& result) {
    m_error.clear();
    m_findings.clear();
    Examination ex;
    QString e;
    if (!Examine(
            path, nullptr, ex, [this](UtilPhase p, int pct) { Report(p, pct); }, &e))
        return Fail(path, e);
    m_findings = ex.scan.findings;
    result = ex.result;
    return true;
}

bool TTableUtil::GetTblDescCount(const QString& path, TableDescCounts& counts) {
    m_error.clear();
    Header h;
    bool io = false;
    if (auto why = ReadHeader(path, h, &io)) return Fail(path, *why);
    if (io) return Fail(path, QStringLiteral("read error"));
    counts = TableDescCounts();
    counts.fields = h.desc.fields.size();
    counts.indexes = h.keyFields > 0 ? 1 : 0;
    return true;
}

bool TTableUtil::FillTblDesc(const QString& path, TableDesc& desc) {
    m_error.clear();
    Header h;
    bool io = false;
    if (auto why = ReadHeader(path, h, &io)) return Fail(path, *why);
    if (!h.structureOk) return Fail(path, h.structureWhy);
    // A field list that parses is still the wrong one when it does not fit
    // the blocks, and a key count is the index's.
    Examination ex;
    QString e;
    if (!Examine(
            path, nullptr, ex, [](UtilPhase, int) {}, &e))
        return Fail(path, e);
    if (ex.result == RebuildManually)
        return Fail(path, ex.scan.findings.isEmpty() ? QStringLiteral("damaged header")
                                                     : ex.scan.findings.last());
    desc = ex.desc;
    return true;
}

bool TTableUtil::RebuildTable(const QString& path, const TableDesc& desc) {
    m_error.clear();
    m_findings.clear();
    m_stats = RebuildStats();
    const QFileInfo fi(path);
    const QString dir = fi.absolutePath();
    if (path.endsWith(QStringLiteral(".dbf"), Qt::CaseInsensitive))
        return Fail(path, QStringLiteral("only Paradox tables are verified and rebuilt"));
    if (!fi.isFile()) return Fail(path, QStringLiteral("no such table"));
    if (desc.fields.isEmpty() || desc.fields.size() > 255 || desc.keyFields < 0 ||
        desc.keyFields > desc.fields.size())
        return Fail(path, QStringLiteral("no usable table structure"));
    for (const auto& f : desc.fields)
        if (!StoredLength(f.type, f.length) || f.name.isEmpty())
            return Fail(path, QStringLiteral("no usable table structure"));
    ExclusiveHold hold;
    QString e;
    if (!hold.Acquire(path, &e)) return Fail(path, e);
    if (!fi.isWritable()) return Fail(path, QStringLiteral("table is read-only"));
    {
        QFile probe(dir + QStringLiteral("/rebuild.probe~"));
        if (!probe.open(QIODevice::WriteOnly))
            return Fail(path, QStringLiteral("cannot write in folder %1: %2")
                                  .arg(QDir::toNativeSeparators(dir), probe.errorString()));
        probe.close();
        probe.remove();
    }
    // Rows a cut-short commit was writing go in first; the work files of a
    // rebuild that was cut short go.
    if (!RecoverJournal(dir, &e)) return Fail(path, e);
    RemoveRebuildLeftovers(path);

    Examination ex;
    if (!Examine(
            path, &desc, ex, [this](UtilPhase p, int pct) { Report(p, pct); }, &e))
        return Fail(path, e);
    m_findings = ex.scan.findings;
    if (ex.head.encrypted) return Fail(path, QStringLiteral("encrypted table"));
    std::vector<QByteArray> rows = std::move(ex.scan.rows);
    std::vector<QByteArray> keyViol;
    if (desc.keyFields > 0) {
        const size_t keyLen = size_t(KeyLength(desc));
        auto less = [keyLen](const QByteArray& a, const QByteArray& b) {
            return std::memcmp(a.constData(), b.constData(), keyLen) < 0;
        };
        std::stable_sort(rows.begin(), rows.end(), less);
        std::vector<QByteArray> unique;
        for (QByteArray& r : rows) {
            if (!unique.empty() && !less(unique.back(), r))
                keyViol.push_back(std::move(r));
            else
                unique.push_back(std::move(r));
        }
        rows = std::move(unique);
    }

    Report(UtilPhase::Rebuild, 0);
    const QString indexPath = IndexPathOf(path);
    const QString temp = path + QStringLiteral(".rebuild~");
    const QString tempIndex = indexPath + QStringLiteral(".rebuild~");
    QStringList temps{temp, tempIndex};
    auto cleanUp = [&] {
        for (const QString& t : temps)
            QFile::remove(t);
    };
    const size_t total = std::max<size_t>(1, rows.size());
    if (!BuildParadoxFile(temp, Codec::ToCp1251(fi.fileName()), PxFields(desc), desc.keyFields,
                          rows, tempIndex, &e,
                          [&](size_t n) { Report(UtilPhase::Rebuild, int(n * 90 / total)); })) {
        cleanUp();
        return Fail(path, e);
    }
    QList<std::pair<QString, QString>> sides; // temp -> final
    for (auto [name, side] :
         {std::pair{kProblem, &ex.scan.problems}, std::pair{kKeyViol, &keyViol}}) {
        if (side->empty()) continue;
        QString t;
        if (!BuildSideTable(path, dir, name, desc, *side, t, &e)) {
            cleanUp();
            return Fail(path, e);
        }
        temps << t;
        sides.append({t, FindFileNoCase(dir, name)});
    }
    // The old file is kept first; the new one replaces it in one step.
    if (!CopyFileOver(path, FindFileNoCase(dir, kBackup), &e) ||
        (desc.keyFields > 0 && QFileInfo::exists(indexPath) &&
         !CopyFileOver(indexPath, FindFileNoCase(dir, QStringLiteral("Backup.PX")), &e))) {
        cleanUp();
        return Fail(path, e);
    }
    for (const auto& [t, final] : sides)
        if (!ReplaceFile(t, final, &e)) {
            cleanUp();
            return Fail(path, e);
        }
    if (!ReplaceFile(temp, path, &e) ||
        (desc.keyFields > 0 && !ReplaceFile(tempIndex, indexPath, &e))) {
        cleanUp();
        return Fail(path, e);
    }
    m_stats.kept = int(rows.size());
    m_stats.keyViolations = int(keyViol.size());
    m_stats.problems = int(ex.scan.problems.size());
    m_stats.lost = ex.scan.lost;
    Report(UtilPhase::Rebuild, 100);
    return true;
}

void RemoveRebuildLeftovers(const QString& path) {
    QStringList names = RebuildTemps(path);
    // Earlier rebuilds named the side tables' work files after them alone.
    const QString dir = QFileInfo(path).absolutePath() + QLatin1Char('/');
    for (const QString& side : {TTableUtil::kKeyViol, TTableUtil::kProblem})
        names << dir + side + QStringLiteral(".rebuild~");
    for (const QString& n : names)
        if (QFileInfo(n).isFile()) QFile::remove(n);
}

UtilRun RunVerify(TTableUtil& util, const QString& path) {
    UtilRun r;
    int result = -1;
    if (!util.VerifyTable(path, result)) {
        r.error = util.LastError();
        return r;
    }
    r.outcome = UtilRun::Done;
    r.result = result;
    r.message = TTableUtil::VerifyMessage(result);
    return r;
}

UtilRun RunRebuild(TTableUtil& util, const QString& path, const TableDesc* fallback,
                   StructureUse use) {
    UtilRun r;
    int result = -1;
    if (!util.VerifyTable(path, result)) {
        r.error = util.LastError();
        return r;
    }
    r.result = result;
    const QStringList found = util.Findings();
    TableDescCounts counts;
    if (!util.GetTblDescCount(path, counts)) {
        r.outcome = UtilRun::NoCounts;
        r.error = util.LastError();
        return r;
    }
    TableDesc desc;
    if (use == StructureUse::Always && fallback)
        desc = *fallback;
    else if (!util.FillTblDesc(path, desc)) {
        if (!fallback) {
            r.outcome = UtilRun::FillFailed;
            r.error = kFillFailed;
            return r;
        }
        desc = *fallback;
    }
    if (!util.RebuildTable(path, desc)) {
        r.outcome = UtilRun::NotDone;
        r.message = kRebuildFailed;
        r.error = util.LastError();
        return r;
    }
    r.outcome = UtilRun::Done;
    r.message = kRebuildDone;
    return r;
}

} // namespace tables
