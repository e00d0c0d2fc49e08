#include "spreadsheet/reader/CompoundFile.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>

#include <QtEndian>
#include <algorithm>
#include <memory>

namespace Sheets {

namespace {

constexpr char Signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
// Below this size the library keeps a stream in the mini stream, which FreeXL
// cannot read.
constexpr qsizetype MiniStreamCutoff = 4096;

// libgsf objects are reference counted GObjects.
template <typename T> struct Unref
{
    void operator()(T* object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <typename T> using GsfPtr = std::unique_ptr<T, Unref<T>>;

// The library reports damaged files through glib's log as well as through
// its results; an operator importing a broken file must not find the console
// or the journal full of library warnings.
void quietenLibrary()
{
    static const bool done = [] {
        // Its checks of damaged files are glib "critical" assertions.
        g_log_set_handler(
            "libgsf:msole", GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
            [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
        return true;
    }();
    Q_UNUSED(done);
}

// The header fields the library takes on trust: the byte order mark and the
// sector sizes that go with each version.
bool headerIsSound(QByteArrayView file)
{
    if (file.size() < 512)
        return false;
    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<uint16_t>(file.data() + at); };
    const uint16_t major = u16(0x1A);
    const uint16_t sectorShift = u16(0x1E);
    return u16(0x1C) == 0xFFFE && ((major == 3 && sectorShift == 9) || (major == 4 && sectorShift == 12)) &&
           u16(0x20) == 6;
}

} // namespace

bool CompoundFile::hasSignature(QByteArrayView head)
{
    return head.size() >= 8 && head.first(8) == QByteArrayView(Signature, 8);
}

CompoundFile::CompoundFile(QByteArrayView file) : m_file(file)
{
    if (!hasSignature(file) || !headerIsSound(file))
        return;
    quietenLibrary();
    m_source = gsf_input_memory_new(reinterpret_cast<const guint8*>(file.data()), file.size(), FALSE);
    if (!m_source)
        return;
    GError* error = nullptr;
    m_storage = gsf_infile_msole_new(m_source, &error);
    if (error)
        g_error_free(error);
}

CompoundFile::~CompoundFile()
{
    if (m_storage)
        g_object_unref(m_storage);
    if (m_source)
        g_object_unref(m_source);
}

QStringList CompoundFile::streamNames() const
{
    QStringList names;
    if (!m_storage)
        return names;
    const int count = gsf_infile_num_children(m_storage);
    for (int i = 0; i < count; ++i) {
        GsfPtr<GsfInput> child(gsf_infile_child_by_index(m_storage, i));
        // A storage is an infile with children of its own (perhaps none); a
        // stream answers -1.
        if (!child || (GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0))
            continue;
        names.append(QString::fromUtf8(gsf_infile_name_by_index(m_storage, i)));
    }
    return names;
}

int CompoundFile::streamIndex(const QString& name) const
{
    if (!m_storage)
        return -1;
    const int count = gsf_infile_num_children(m_storage);
    for (int i = 0; i < count; ++i) {
        const char* entry = gsf_infile_name_by_index(m_storage, i);
        if (entry && QString::fromUtf8(entry).compare(name, Qt::CaseInsensitive) == 0) {
            GsfPtr<GsfInput> child(gsf_infile_child_by_index(m_storage, i));
            if (child &&
                !(GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0))
                return i;
        }
    }
    return -1;
}

bool CompoundFile::hasStream(const QString& name) const
{
    return streamIndex(name) >= 0;
}

std::optional<QByteArray> CompoundFile::readStream(const QString& name) const
{
    const int index = streamIndex(name);
    if (index < 0)
        return std::nullopt;
    GsfPtr<GsfInput> stream(gsf_infile_child_by_index(m_storage, index));
    if (!stream)
        return std::nullopt;
    // A stream cannot hold more than the file it is in; a larger size is a
    // lie that would only exhaust memory.
    const gsf_off_t size = gsf_input_size(stream.get());
    if (size < 0 || size > m_file.size())
        return std::nullopt;
    QByteArray data(qsizetype(size), Qt::Uninitialized);
    constexpr gsf_off_t Piece = 64 * 1024;
    for (gsf_off_t at = 0; at < size;) {
        const gsf_off_t n = std::min(Piece, size - at);
        if (!gsf_input_read(stream.get(), size_t(n), reinterpret_cast<guint8*>(data.data() + at)))
            return std::nullopt;
        at += n;
    }
    return data;
}

std::optional<QByteArray> CompoundFile::withSingleStream(const QString& name, QByteArray data)
{
    if (data.size() < MiniStreamCutoff)
        data.append(QByteArray(MiniStreamCutoff - data.size(), '\0'));
    GsfPtr<GsfOutput> sink(gsf_output_memory_new());
    GsfPtr<GsfOutfile> storage(gsf_outfile_msole_new(sink.get()));
    if (!storage)
        return std::nullopt;
    GsfPtr<GsfOutput> stream(gsf_outfile_new_child(storage.get(), name.toUtf8().constData(), FALSE));
    if (!stream)
        return std::nullopt;
    const bool written = gsf_output_write(stream.get(), size_t(data.size()),
                                          reinterpret_cast<const guint8*>(data.constData())) &&
                         gsf_output_close(stream.get());
    if (!gsf_output_close(GSF_OUTPUT(storage.get())) || !written)
        return std::nullopt;
    const gsf_off_t size = gsf_output_size(sink.get());
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    if (!bytes || size <= 0)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(size));
}

} // namespace Sheets
