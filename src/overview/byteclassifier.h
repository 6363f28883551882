#pragma once

#include <QtGlobal>

#include <array>

// What the bytes of one slice of a file are, told from how often each of the
// 256 values occurs: one value repeated (zeros, padding), printable text,
// binary of low entropy (code, tables), or high entropy (compressed or
// encrypted data). `unknown` until a slice has been looked at.
enum class ByteClass : quint8 { unknown, repeated, text, binary, random };

// Counts byte values and turns the counts into Shannon entropy (bits per
// byte, 0..8) and a ByteClass. Plain counting: add() costs one increment per
// byte, which is what an exact overview of a large file spends its time on;
// a block of one value repeated costs a comparison instead.
class ByteClassifier
{
public:
    // At and above this entropy the bytes count as compressed or encrypted.
    static constexpr double random_entropy = 7.2;
    // Text: at least this share of the bytes are printable ASCII, tab, CR or LF.
    static constexpr double text_share = 0.95;

    void add(const char *data, qint64 length);
    // `count` more bytes of value `value`, as a hole in a sparse file gives.
    void add_repeated(quint8 value, qint64 count);
    void clear();

    qint64 total() const { return m_total; }
    qint64 count(quint8 value) const { return m_counts[value]; }
    // 0 for no bytes and for one value repeated; 8 when all 256 values occur
    // equally often.
    double entropy() const;
    // unknown for no bytes.
    ByteClass byte_class() const { return byte_class(entropy()); }
    // The same from entropy() computed already: a caller that needs both
    // pays for the 256 logarithms once.
    ByteClass byte_class(double bits) const;

private:
    std::array<qint64, 256> m_counts {};
    qint64 m_total = 0;
};
