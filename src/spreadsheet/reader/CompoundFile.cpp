#include "spreadsheet/reader/CompoundFile.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace Sheets {

namespace {

constexpr uint32_t EndOfChain = 0xFFFFFFFE;
constexpr uint32_t FreeSector = 0xFFFFFFFF;
constexpr uint32_t MaxRegularSector = 0xFFFFFFFA;
constexpr char Signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

uint16_t u16(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<uint16_t>(data.data() + at);
}

uint32_t u32(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<uint32_t>(data.data() + at);
}

uint64_t u64(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<uint64_t>(data.data() + at);
}

void appendTable(std::vector<uint32_t>& table, QByteArrayView sector)
{
    for (qsizetype at = 0; at + 4 <= sector.size(); at += 4)
        table.push_back(u32(sector, at));
}

} // namespace

bool CompoundFile::hasSignature(QByteArrayView head)
{
    return head.size() >= 8 && head.first(8) == QByteArrayView(Signature, 8);
}

CompoundFile::CompoundFile(QByteArrayView file) : m_file(file)
{
    m_valid = load();
}

QByteArrayView CompoundFile::sector(uint32_t index) const
{
    // Sector n starts after the header, which takes one sector's room.
    const qint64 offset = (qint64(index) + 1) * m_sectorSize;
    if (index > MaxRegularSector || offset >= m_file.size())
        return {};
    // The last sector of a file may be cut short; the stream size says how
    // much of it counts.
    return m_file.sliced(offset, std::min<qint64>(m_sectorSize, m_file.size() - offset));
}

bool CompoundFile::load()
{
    if (m_file.size() < 512 || !hasSignature(m_file))
        return false;
    const uint16_t major = u16(m_file, 0x1A);
    const uint16_t sectorShift = u16(m_file, 0x1E);
    const uint16_t miniShift = u16(m_file, 0x20);
    if (u16(m_file, 0x1C) != 0xFFFE)
        return false;
    if (!((major == 3 && sectorShift == 9) || (major == 4 && sectorShift == 12)) || miniShift != 6)
        return false;
    m_sectorSize = 1u << sectorShift;
    m_miniSectorSize = 1u << miniShift;
    m_miniCutoff = u32(m_file, 0x38);
    const uint32_t fatCount = u32(m_file, 0x2C);
    const uint32_t firstDirectory = u32(m_file, 0x30);
    const uint32_t firstMiniFat = u32(m_file, 0x3C);
    uint32_t difatSector = u32(m_file, 0x44);
    const uint32_t difatCount = u32(m_file, 0x48);

    // No file can hold more allocation sectors than sectors.
    const uint64_t sectorsInFile = uint64_t(m_file.size()) / m_sectorSize + 1;
    if (fatCount > sectorsInFile || difatCount > sectorsInFile)
        return false;

    // The allocation table's own sectors: 109 listed in the header, the rest
    // in a chain of list sectors whose last entry points to the next one.
    std::vector<uint32_t> fatSectors;
    for (uint32_t i = 0; i < 109 && fatSectors.size() < fatCount; ++i)
        fatSectors.push_back(u32(m_file, 0x4C + 4 * i));
    const uint32_t perDifat = m_sectorSize / 4 - 1;
    for (uint32_t n = 0; fatSectors.size() < fatCount; ++n) {
        if (n >= difatCount || difatSector == EndOfChain)
            return false;
        const QByteArrayView list = sector(difatSector);
        if (list.size() != qsizetype(m_sectorSize))
            return false;
        for (uint32_t i = 0; i < perDifat && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(u32(list, 4 * i));
        difatSector = u32(list, 4 * perDifat);
    }
    m_fat.reserve(size_t(fatCount) * (m_sectorSize / 4));
    for (uint32_t s : fatSectors) {
        const QByteArrayView data = sector(s);
        if (data.size() != qsizetype(m_sectorSize))
            return false;
        appendTable(m_fat, data);
    }

    const auto directory = chain(m_fat, firstDirectory);
    if (!directory || directory->empty())
        return false;
    for (uint32_t s : *directory) {
        const QByteArrayView data = sector(s);
        for (qsizetype at = 0; at + 128 <= data.size(); at += 128) {
            Entry entry;
            const int nameBytes = std::min<int>(u16(data, at + 0x40), 64);
            entry.type = static_cast<uint8_t>(data[at + 0x42]);
            for (int i = 0; i + 1 < nameBytes - 1; i += 2)
                entry.name.append(QChar(u16(data, at + i)));
            entry.start = u32(data, at + 0x74);
            entry.size = major == 3 ? u32(data, at + 0x78) : u64(data, at + 0x78);
            m_entries.push_back(entry);
        }
    }
    if (m_entries.empty() || m_entries.front().type != 5)
        return false;

    // Small streams live in the mini stream (the root entry's data), in
    // 64-byte sectors allocated by the mini table.
    if (firstMiniFat != EndOfChain && firstMiniFat != FreeSector) {
        const auto miniFatSectors = chain(m_fat, firstMiniFat);
        if (!miniFatSectors)
            return false;
        for (uint32_t s : *miniFatSectors)
            appendTable(m_miniFat, sector(s));
    }
    const Entry& root = m_entries.front();
    if (root.size > 0) {
        auto mini = readChain(root.start, root.size);
        if (!mini)
            return false;
        m_miniStream = std::move(*mini);
    }
    return true;
}

std::optional<std::vector<uint32_t>> CompoundFile::chain(const std::vector<uint32_t>& table,
                                                         uint32_t start) const
{
    std::vector<uint32_t> sectors;
    uint32_t s = start;
    while (s != EndOfChain) {
        // A chain longer than its table loops.
        if (s >= table.size() || sectors.size() >= table.size())
            return std::nullopt;
        sectors.push_back(s);
        s = table[s];
    }
    return sectors;
}

std::optional<QByteArray> CompoundFile::readChain(uint32_t start, uint64_t size) const
{
    if (size > uint64_t(m_file.size()))
        return std::nullopt;
    QByteArray out;
    out.reserve(qsizetype(size));
    uint32_t s = start;
    for (size_t steps = 0; uint64_t(out.size()) < size; ++steps) {
        if (s >= m_fat.size() || steps >= m_fat.size())
            return std::nullopt;
        const QByteArrayView data = sector(s);
        if (data.isEmpty())
            return std::nullopt;
        out.append(data.first(std::min<qint64>(data.size(), qint64(size) - out.size())));
        s = m_fat[s];
    }
    return out;
}

std::optional<QByteArray> CompoundFile::readMiniChain(uint32_t start, uint64_t size) const
{
    QByteArray out;
    out.reserve(qsizetype(size));
    uint32_t s = start;
    for (size_t steps = 0; uint64_t(out.size()) < size; ++steps) {
        if (s >= m_miniFat.size() || steps >= m_miniFat.size())
            return std::nullopt;
        const qint64 offset = qint64(s) * m_miniSectorSize;
        if (offset + m_miniSectorSize > m_miniStream.size())
            return std::nullopt;
        out.append(m_miniStream.constData() + offset,
                   std::min<qint64>(m_miniSectorSize, qint64(size) - out.size()));
        s = m_miniFat[s];
    }
    return out;
}

const CompoundFile::Entry* CompoundFile::find(const QString& name) const
{
    for (const Entry& entry : m_entries)
        if (entry.type == 2 && entry.name.compare(name, Qt::CaseInsensitive) == 0)
            return &entry;
    return nullptr;
}

QStringList CompoundFile::streamNames() const
{
    QStringList names;
    for (const Entry& entry : m_entries)
        if (entry.type == 2)
            names << entry.name;
    return names;
}

bool CompoundFile::hasStream(const QString& name) const
{
    return m_valid && find(name) != nullptr;
}

std::optional<int> CompoundFile::directoryIndex(const QString& name) const
{
    const Entry* entry = m_valid ? find(name) : nullptr;
    if (!entry)
        return std::nullopt;
    return int(entry - m_entries.data());
}

bool CompoundFile::isInMiniStream(const QString& name) const
{
    const Entry* entry = m_valid ? find(name) : nullptr;
    return entry && entry->size < m_miniCutoff;
}

std::optional<QByteArray> CompoundFile::withSingleStream(const QString& name, QByteArray data)
{
    constexpr uint32_t SectorSize = 512;
    constexpr uint32_t PerFatSector = SectorSize / 4;
    constexpr uint32_t FatMarker = 0xFFFFFFFD;
    if (name.size() > 31)
        return std::nullopt;
    const qsizetype padded =
        std::max<qsizetype>(4096, (data.size() + SectorSize - 1) / SectorSize * SectorSize);
    data.append(QByteArray(padded - data.size(), '\0'));
    const uint32_t dataSectors = uint32_t(padded / SectorSize);
    const uint32_t directorySector = dataSectors;
    uint32_t fatSectors = 1;
    while (dataSectors + 1 + fatSectors > fatSectors * PerFatSector)
        ++fatSectors;
    if (fatSectors > 109)
        return std::nullopt;

    QByteArray out(qsizetype(SectorSize) * (1 + dataSectors + 1 + fatSectors), '\0');
    char* base = out.data();
    auto put16 = [](char* at, uint16_t v) { qToLittleEndian(v, at); };
    auto put32 = [](char* at, uint32_t v) { qToLittleEndian(v, at); };

    // Header.
    memcpy(base, Signature, 8);
    put16(base + 0x18, 0x3E);
    put16(base + 0x1A, 3);
    put16(base + 0x1C, 0xFFFE);
    put16(base + 0x1E, 9);
    put16(base + 0x20, 6);
    put32(base + 0x2C, fatSectors);
    put32(base + 0x30, directorySector);
    put32(base + 0x38, 4096);
    put32(base + 0x3C, EndOfChain);
    put32(base + 0x44, EndOfChain);
    for (uint32_t i = 0; i < 109; ++i)
        put32(base + 0x4C + 4 * i, i < fatSectors ? directorySector + 1 + i : FreeSector);

    // The stream's sectors.
    memcpy(base + SectorSize, data.constData(), size_t(padded));

    // Directory: the root entry (no mini stream), the stream as its child,
    // two unused entries.
    char* directory = base + qsizetype(SectorSize) * (1 + directorySector);
    auto entry = [&](char* at, const QString& entryName, uint8_t type, uint32_t child, uint32_t start,
                     uint32_t size) {
        for (qsizetype i = 0; i < entryName.size(); ++i)
            put16(at + 2 * i, entryName[i].unicode());
        put16(at + 0x40, uint16_t(2 * (entryName.size() + 1)));
        at[0x42] = char(type);
        at[0x43] = 1; // black
        put32(at + 0x44, FreeSector);
        put32(at + 0x48, FreeSector);
        put32(at + 0x4C, child);
        put32(at + 0x74, start);
        put32(at + 0x78, size);
    };
    entry(directory, QStringLiteral("Root Entry"), 5, 1, EndOfChain, 0);
    entry(directory + 128, name, 2, FreeSector, 0, uint32_t(padded));
    for (char* unused = directory + 256; unused < directory + SectorSize; unused += 128) {
        put32(unused + 0x44, FreeSector);
        put32(unused + 0x48, FreeSector);
        put32(unused + 0x4C, FreeSector);
    }

    // Allocation table.
    char* fat = directory + SectorSize;
    for (uint32_t i = 0; i < fatSectors * PerFatSector; ++i) {
        uint32_t next = FreeSector;
        if (i + 1 < dataSectors)
            next = i + 1;
        else if (i + 1 == dataSectors || i == directorySector)
            next = EndOfChain;
        else if (i > directorySector && i <= directorySector + fatSectors)
            next = FatMarker;
        put32(fat + 4 * i, next);
    }
    return out;
}

std::optional<QByteArray> CompoundFile::readStream(const QString& name) const
{
    const Entry* entry = m_valid ? find(name) : nullptr;
    if (!entry)
        return std::nullopt;
    if (entry->size < m_miniCutoff)
        return readMiniChain(entry->start, entry->size);
    return readChain(entry->start, entry->size);
}

} // namespace Sheets
