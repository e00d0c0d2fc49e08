#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>

// libgsf's types, as its own headers declare them.
using GsfInput = struct _GsfInput;
using GsfInfile = struct _GsfInfile;

namespace Sheets {

// Read-only view of a compound file (the OLE2 container of .xls workbooks)
// through libgsf: enough to fetch a top-level stream by name. The bytes are
// not copied: they must outlive the object. A damaged or hostile file gives
// isValid() == false or an empty optional, never a bad read.
class CompoundFile
{
public:
    explicit CompoundFile(QByteArrayView file);
    ~CompoundFile();
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    bool isValid() const { return m_storage != nullptr; }
    // Names of the top-level streams (not storages), in directory order.
    QStringList streamNames() const;
    // Stream names compare without regard to letter case, as in the format.
    bool hasStream(const QString& name) const;
    // Contents of the named stream; nothing when it is absent, its sector
    // chain is broken or it claims more bytes than the whole file holds.
    std::optional<QByteArray> readStream(const QString& name) const;

    static bool hasSignature(QByteArrayView head);

    // A compound file holding one stream, padded with zeros to at least 4096
    // bytes so that it sits in regular sectors rather than in the mini
    // stream. Nothing when the library cannot write it.
    static std::optional<QByteArray> withSingleStream(const QString& name, QByteArray data);

private:
    // The index of the top-level stream called name, or -1.
    int streamIndex(const QString& name) const;

    QByteArrayView m_file;
    GsfInput* m_source = nullptr;
    GsfInfile* m_storage = nullptr;
};

} // namespace Sheets
