#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace Sheets {

// Read-only view of a compound file (the OLE2 container of .xls workbooks):
// its header, sector allocation tables and directory, enough to fetch a stream
// by name. The bytes are not copied: they must outlive the object. Every
// sector number and chain is checked against the file, so damaged or hostile
// files give isValid() == false or an empty optional, never a bad read.
class CompoundFile
{
public:
    explicit CompoundFile(QByteArrayView file);

    bool isValid() const { return m_valid; }
    // Names of the streams (not storages), in directory order.
    QStringList streamNames() const;
    // Stream names compare without regard to letter case, as in the format.
    bool hasStream(const QString& name) const;
    // Contents of the named stream; nothing when it is absent or its sector
    // chain is broken.
    std::optional<QByteArray> readStream(const QString& name) const;

    // Place of the named stream in the directory (0 is the root entry).
    std::optional<int> directoryIndex(const QString& name) const;
    // Directory entries per sector (4 or 32).
    int entriesPerSector() const { return int(m_sectorSize / 128); }
    // Whether the stream is kept in the mini stream (it is small).
    bool isInMiniStream(const QString& name) const;

    static bool hasSignature(QByteArrayView head);

    // A compound file holding one stream, padded with zeros to at least 4096
    // bytes so that it sits in regular sectors, directly after the root
    // entry. Nothing for streams beyond what 109 allocation sectors cover
    // (about 7 MB).
    static std::optional<QByteArray> withSingleStream(const QString& name, QByteArray data);

private:
    struct Entry
    {
        QString name;
        int type = 0; // 1 storage, 2 stream, 5 root
        uint32_t start = 0;
        uint64_t size = 0;
    };

    bool load();
    std::optional<std::vector<uint32_t>> chain(const std::vector<uint32_t>& table, uint32_t start) const;
    std::optional<QByteArray> readChain(uint32_t start, uint64_t size) const;
    std::optional<QByteArray> readMiniChain(uint32_t start, uint64_t size) const;
    const Entry* find(const QString& name) const;
    QByteArrayView sector(uint32_t index) const;

    QByteArrayView m_file;
    bool m_valid = false;
    uint32_t m_sectorSize = 512;
    uint32_t m_miniSectorSize = 64;
    uint32_t m_miniCutoff = 4096;
    std::vector<uint32_t> m_fat;
    std::vector<uint32_t> m_miniFat;
    std::vector<Entry> m_entries;
    QByteArray m_miniStream;
};

} // namespace Sheets
