#pragma once

// Small sample files for the gallery templates, built byte by byte so every
// run (and the oracle script) sees the same bytes without binaries in the
// repository.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtEndian>

#include <zlib.h>

namespace ksy_samples {

struct Writer
{
    QByteArray b;
    bool little = true;
    Writer &u1(int v) { b.append(char(v)); return *this; }
    Writer &u2(quint16 v) { char d[2]; little ? qToLittleEndian(v, d) : qToBigEndian(v, d); b.append(d, 2); return *this; }
    Writer &u4(quint32 v) { char d[4]; little ? qToLittleEndian(v, d) : qToBigEndian(v, d); b.append(d, 4); return *this; }
    Writer &u8(quint64 v) { char d[8]; little ? qToLittleEndian(v, d) : qToBigEndian(v, d); b.append(d, 8); return *this; }
    Writer &raw(const QByteArray &v) { b.append(v); return *this; }
    Writer &zeros(int n) { b.append(QByteArray(n, '\0')); return *this; }
};

inline quint32 crc(const QByteArray &d)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef *>(d.constData()), uInt(d.size())));
}

// zlib format (window bits 15) or raw deflate (-15).
inline QByteArray deflate_bytes(const QByteArray &in, int window_bits)
{
    z_stream z {};
    deflateInit2(&z, 9, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(in.size()))) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.truncate(int(z.total_out));
    deflateEnd(&z);
    return out;
}

inline QByteArray png()
{
    Writer w;
    w.little = false;
    const auto chunk = [&w](const char *type, const QByteArray &body) {
        w.u4(quint32(body.size()));
        const QByteArray typed = QByteArray(type) + body;
        w.raw(typed).u4(crc(typed));
    };
    w.raw(QByteArray::fromHex("89504e470d0a1a0a"));
    Writer ihdr;
    ihdr.little = false;
    ihdr.u4(4).u4(2).u1(8).u1(2).u1(0).u1(0).u1(0);
    chunk("IHDR", ihdr.b);
    chunk("tEXt", QByteArray("Title\0sample", 12));
    chunk("zTXt", QByteArray("Comment\0\0", 9) + deflate_bytes("made for the template tests", 15));
    chunk("gAMA", QByteArray::fromHex("0000b18f"));
    QByteArray pixels;
    for (int row = 0; row < 2; ++row) {
        pixels.append('\0');
        for (int i = 0; i < 12; ++i)
            pixels.append(char(row * 40 + i * 7));
    }
    chunk("IDAT", deflate_bytes(pixels, 15));
    chunk("IEND", QByteArray());
    return w.b;
}

inline QByteArray gif()
{
    Writer w;
    w.raw("GIF89a").u2(2).u2(2).u1(0x80).u1(0).u1(0);
    w.raw(QByteArray::fromHex("000000ffffff"));
    // Graphic control extension, then one image with two data sub-blocks.
    w.raw(QByteArray::fromHex("21f904000a000000"));
    w.u1(0x2c).u2(0).u2(0).u2(2).u2(2).u1(0);
    w.u1(2).u1(2).raw(QByteArray::fromHex("4c01")).u1(1).u1(0).u1(0);
    w.u1(0x3b);
    return w.b;
}

inline QByteArray bmp()
{
    Writer w;
    const int pixels = 2 * (2 * 3 + 2);
    w.raw("BM").u4(14 + 40 + pixels).u2(0).u2(0).u4(14 + 40);
    w.u4(40).u4(2).u4(2).u2(1).u2(24).u4(0).u4(pixels).u4(2835).u4(2835).u4(0).u4(0);
    for (int i = 0; i < pixels; ++i)
        w.u1(i * 9);
    return w.b;
}

inline QByteArray wav()
{
    Writer fmt;
    fmt.u2(1).u2(1).u4(8000).u4(16000).u2(2).u2(16);
    Writer w;
    w.raw("RIFF").u4(4 + 8 + 16 + 8 + 8).raw("WAVE");
    w.raw("fmt ").u4(16).raw(fmt.b);
    w.raw("data").u4(8).raw(QByteArray::fromHex("0001ff7f0080fffe"));
    return w.b;
}

inline QByteArray zip()
{
    const QByteArray name = "a.txt";
    const QByteArray data = "hello, template";
    Writer w;
    w.raw("PK\x03\x04").u2(10).u2(0).u2(0).u2(0x6000).u2(0x5a21).u4(crc(data)).u4(quint32(data.size()))
        .u4(quint32(data.size())).u2(quint16(name.size())).u2(0).raw(name).raw(data);
    const quint32 central = quint32(w.b.size());
    w.raw("PK\x01\x02").u2(20).u2(10).u2(0).u2(0).u2(0x6000).u2(0x5a21).u4(crc(data))
        .u4(quint32(data.size())).u4(quint32(data.size())).u2(quint16(name.size())).u2(0).u2(0).u2(0).u2(0)
        .u4(0).u4(0).raw(name);
    const quint32 central_size = quint32(w.b.size()) - central;
    w.raw("PK\x05\x06").u2(0).u2(0).u2(1).u2(1).u4(central_size).u4(central).u2(0);
    return w.b;
}

inline QByteArray gzip()
{
    const QByteArray data = "gzip sample for the template tests\n";
    Writer w;
    w.u1(0x1f).u1(0x8b).u1(8).u1(0x08).u4(1700000000).u1(2).u1(3).raw(QByteArray("a.txt", 6));
    w.raw(deflate_bytes(data, -15)).u4(crc(data)).u4(quint32(data.size()));
    return w.b;
}

inline QByteArray elf()
{
    const QByteArray names("\0.shstrtab\0.text\0", 17);
    Writer w;
    w.raw(QByteArray::fromHex("7f454c46020101000000000000000000"));
    w.u2(2).u2(0x3e).u4(1).u8(0x401000).u8(64).u8(160).u4(0).u2(64).u2(56).u2(1).u2(64).u2(3).u2(1);
    w.u4(1).u4(5).u8(0).u8(0x400000).u8(0x400000).u8(160).u8(160).u8(0x1000);
    w.raw(names).zeros(136 - 120 - names.size());
    w.raw(QByteArray::fromHex("b83c0000000f05c3")).zeros(160 - 144);
    w.zeros(64);
    w.u4(1).u4(3).u8(0).u8(0).u8(120).u8(quint64(names.size())).u4(0).u4(0).u8(1).u8(0);
    w.u4(11).u4(1).u8(6).u8(0x401000).u8(136).u8(8).u4(0).u4(0).u8(16).u8(0);
    return w.b;
}

inline QByteArray dos_mz()
{
    Writer w;
    // Two pages' worth: 64-byte header with one relocation, 16-byte body.
    w.raw("MZ").u2(96).u2(1).u2(1).u2(4).u2(0).u2(0xffff).u2(0).u2(0xb8).u2(0).u2(0).u2(0).u2(0x40).u2(0);
    w.zeros(0x40 - w.b.size());
    w.u2(3).u2(0).zeros(60);
    w.raw(QByteArray::fromHex("b8004c cd21 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 00"));
    w.b.truncate(96);
    return w.b;
}

inline QByteArray cpio_old_le()
{
    Writer w;
    const auto entry = [&w](const QByteArray &name, const QByteArray &data) {
        w.u2(0x71c7).u2(1).u2(2).u2(0100644).u2(1000).u2(1000).u2(1).u2(0).u2(0x6555).u2(0x1234);
        w.u2(quint16(name.size() + 1)).u2(0).u2(quint16(data.size()));
        w.raw(name).u1(0);
        if ((name.size() + 1) % 2 == 1)
            w.u1(0);
        w.raw(data);
        if (data.size() % 2 == 1)
            w.u1(0);
    };
    entry("hello.txt", "hi there!");
    entry("TRAILER!!!", QByteArray());
    w.zeros(6);
    return w.b;
}

inline QByteArray bson()
{
    Writer e;
    e.u1(0x10).raw(QByteArray("n\0", 2)).u4(42);
    e.u1(0x02).raw(QByteArray("s\0", 2)).u4(3).raw(QByteArray("hi\0", 3));
    e.u1(0x08).raw(QByteArray("b\0", 2)).u1(1);
    Writer w;
    w.u4(quint32(4 + e.b.size() + 1)).raw(e.b).u1(0);
    return w.b;
}

inline QByteArray ico()
{
    const QByteArray image = png();
    Writer w;
    w.u1(0).u1(0).u1(1).u1(0).u2(1);
    w.u1(4).u1(2).u1(0).u1(0).u2(1).u2(32).u4(quint32(image.size())).u4(22);
    w.raw(image);
    return w.b;
}

inline QByteArray tga()
{
    Writer w;
    w.u1(0).u1(0).u1(2).u2(0).u2(0).u1(0).u2(0).u2(0).u2(2).u2(2).u1(24).u1(0);
    for (int i = 0; i < 12; ++i)
        w.u1(i * 20);
    w.u4(0).u4(0).raw(QByteArray("TRUEVISION-XFILE.\0", 18));
    return w.b;
}

inline QByteArray exif()
{
    Writer w;
    w.raw("II").u2(42).u4(8);
    w.u2(2);
    w.u2(0x0100).u2(3).u4(1).u4(640);
    w.u2(0x010f).u2(2).u4(6).u4(38);
    w.u4(0);
    w.raw(QByteArray("Maker\0", 6));
    return w.b;
}

inline QByteArray icc_4()
{
    Writer w;
    w.little = false;
    const QByteArray desc = QByteArray("desc") + QByteArray(4, '\0');
    w.u4(128 + 4 + 12 + 12).raw("none").raw(QByteArray::fromHex("04300000")).raw("mntr").raw("RGB ").raw("XYZ ");
    w.u2(2024).u2(1).u2(2).u2(3).u2(4).u2(5);
    w.raw("acsp").raw("APPL").u4(0).raw("none").u4(0).u8(0).u4(0);
    w.u4(0xf6d6).u4(0x10000).u4(0xd32d);
    w.raw("none").zeros(16).zeros(28);
    w.u4(1).raw("cprt").u4(144).u4(12);
    w.raw("text").u4(0).raw("abcd");
    return w.b;
}

inline QByteArray dos_datetime()
{
    Writer w;
    // 13:45:30 on 2021-07-04.
    w.u2(quint16((13 << 11) | (45 << 5) | 15)).u2(quint16(((2021 - 1980) << 9) | (7 << 5) | 4));
    return w.b;
}

struct Sample
{
    QString ksy; // path below the template root, without ".ksy"
    QString name;
    QByteArray (*make)();
};

inline QList<Sample> all()
{
    return {
        { QStringLiteral("image/png"), QStringLiteral("png"), png },
        { QStringLiteral("image/gif"), QStringLiteral("gif"), gif },
        { QStringLiteral("image/bmp"), QStringLiteral("bmp"), bmp },
        { QStringLiteral("media/wav"), QStringLiteral("wav"), wav },
        { QStringLiteral("common/riff"), QStringLiteral("riff"), wav },
        { QStringLiteral("archive/zip"), QStringLiteral("zip"), zip },
        { QStringLiteral("archive/gzip"), QStringLiteral("gzip"), gzip },
        { QStringLiteral("executable/elf"), QStringLiteral("elf"), elf },
        { QStringLiteral("executable/dos_mz"), QStringLiteral("dos_mz"), dos_mz },
        { QStringLiteral("archive/cpio_old_le"), QStringLiteral("cpio_old_le"), cpio_old_le },
        { QStringLiteral("serialization/bson"), QStringLiteral("bson"), bson },
        { QStringLiteral("image/ico"), QStringLiteral("ico"), ico },
        { QStringLiteral("image/tga"), QStringLiteral("tga"), tga },
        { QStringLiteral("image/exif"), QStringLiteral("exif"), exif },
        { QStringLiteral("image/icc_4"), QStringLiteral("icc_4"), icc_4 },
        { QStringLiteral("common/dos_datetime"), QStringLiteral("dos_datetime"), dos_datetime },
    };
}

} // namespace ksy_samples
