#include "editedfile/journalformat.h"

#include <QtEndian>

#include <zlib.h>

namespace {

constexpr int frame_overhead = 4 + 1 + 4;

quint32 checksum(const char *data, qint64 size)
{
    return quint32(crc32(0L, reinterpret_cast<const Bytef *>(data), uInt(size)));
}

bool known_type(quint8 type)
{
    return type >= quint8(JournalFormat::Type::header)
           && type <= quint8(JournalFormat::Type::markup_file_snapshot);
}

} // namespace

QByteArray JournalFormat::magic()
{
    return QByteArrayLiteral("PQJ1");
}

QByteArray JournalFormat::frame(Type type, const QByteArray &payload)
{
    QByteArray bytes(frame_overhead + payload.size(), Qt::Uninitialized);
    char *p = bytes.data();
    qToLittleEndian<quint32>(quint32(payload.size()), p);
    p[4] = char(type);
    memcpy(p + 5, payload.constData(), size_t(payload.size()));
    qToLittleEndian<quint32>(checksum(p + 4, 1 + payload.size()), p + 5 + payload.size());
    return bytes;
}

void JournalFormat::close_frame(Type type, QByteArray *bytes, qsizetype head)
{
    const qsizetype length = bytes->size() - head - head_size;
    char *p = bytes->data() + head;
    qToLittleEndian<quint32>(quint32(length), p);
    p[4] = char(type);
    const quint32 sum = checksum(p + 4, 1 + length);
    char tail[4];
    qToLittleEndian<quint32>(sum, tail);
    bytes->append(tail, 4);
}

void JournalFormat::frame_around(Type type, const QByteArray &payload, const QByteArray &suffix,
                                 QByteArray *head, QByteArray *tail)
{
    head->resize(head_size);
    qToLittleEndian<quint32>(quint32(payload.size() + suffix.size()), head->data());
    (*head)[4] = char(type);
    uLong sum = crc32(0L, reinterpret_cast<const Bytef *>(head->constData() + 4), 1);
    sum = crc32(sum, reinterpret_cast<const Bytef *>(payload.constData()), uInt(payload.size()));
    sum = crc32(sum, reinterpret_cast<const Bytef *>(suffix.constData()), uInt(suffix.size()));
    *tail = suffix;
    tail->resize(suffix.size() + 4);
    qToLittleEndian<quint32>(quint32(sum), tail->data() + suffix.size());
}

JournalFormat::Parsed JournalFormat::parse(const QByteArray &bytes)
{
    Parsed parsed;
    if (!bytes.startsWith(magic()))
        return parsed;
    parsed.recognised = true;
    const char *data = bytes.constData();
    const qint64 size = bytes.size();
    qint64 at = magic().size();
    bool damaged = false;
    // Each step moves forward by at least the frame's overhead, so this ends.
    while (at < size) {
        if (size - at < frame_overhead) {
            ++parsed.dropped;
            break;
        }
        const quint32 length = qFromLittleEndian<quint32>(data + at);
        if (length > max_payload || qint64(length) > size - at - frame_overhead) {
            ++parsed.dropped;
            break;
        }
        const quint8 type = quint8(data[at + 4]);
        const quint32 stored = qFromLittleEndian<quint32>(data + at + 5 + length);
        const bool good = known_type(type) && stored == checksum(data + at + 4, 1 + qint64(length));
        if (!good)
            damaged = true;
        if (damaged) {
            ++parsed.dropped;
        } else {
            parsed.records.append({Type(type), bytes.mid(at + 5, length)});
            parsed.valid_length = at + frame_overhead + length;
        }
        at += frame_overhead + length;
    }
    if (parsed.records.isEmpty())
        parsed.valid_length = magic().size();
    return parsed;
}
