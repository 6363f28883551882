#pragma once

#include <QByteArray>
#include <QString>

class MarkupNode;
class QIODevice;

// Writes a markup tree in formats other programs read: JSON for scripts, CSV
// for spreadsheets and a Kaitai Struct (.ksy) skeleton for parser generators.
// Only reads the tree. Every function takes the root (whose own values are the
// column titles and are not written) and walks it without recursion, so a
// tree nested many thousands deep exports like a flat one.
class MarkupExporter
{
public:
    enum class Format { json, csv, ksy, unknown };

    // The file dialog's filter: one entry per format, JSON first.
    static QString file_filter();
    // The format a file name's suffix names (case-insensitive), or unknown.
    static Format format_of(const QString &file_name);

    // An array of the top-level markups; each markup an object with
    // "description", "start", "end", "length", "repeat", "foreground" and
    // "background" ("#rrggbb"), "type" for a markup made for a value (as the
    // markup file spells it) and "children", an array of the same objects.
    // Offsets are written as exact 64-bit integers (Qt 6's JSON classes keep
    // integers apart from doubles, in both directions).
    static QByteArray to_json(const MarkupNode *root);
    // The same text written to `device` a megabyte at a time, so a large
    // export never holds all of it; false when a write fails.
    static bool write_json(const MarkupNode *root, QIODevice *device);

    // UTF-8 text, CRLF line ends, a header row, then one row per markup in
    // tree order (parents before children): depth (1 for a top-level markup),
    // path (the descriptions from the top level down, joined by "/"), start,
    // end, length, repeat, description, foreground, background. Fields holding
    // a comma, a quote, CR or LF are quoted, quotes doubled. A path or
    // description beginning with =, +, -, @, a tab or CR gets a leading '
    // (a spreadsheet would run it as a formula), unless it is a plain
    // number such as -12 or +3.5.
    static QByteArray to_csv(const MarkupNode *root);

    // A YAML skeleton: meta id from the data file's name, little-endian; for
    // each level a seq in offset order, unmarked bytes as gap_<offset> fields,
    // markups made for a value as that value's type (s4le, f8be, u1, str),
    // markups with children as user types (all under the top-level types),
    // repeat markups repeated as often as their record fits before the next
    // sibling or the parent's end. data_size is the data file's length, or -1
    // when unknown: the top level then ends with the last markup, and a
    // top-level repeat without a next sibling is written once. Ids and type
    // names are identifier()s that are neither a YAML 1.1 boolean or null
    // nor a keyword of a target language ("_field", "_type" added), unique
    // within their seq and among the types ("_2", "_3"...).
    static QByteArray to_ksy(const MarkupNode *root, const QString &data_file_name,
                             qint64 data_size);

    static QByteArray write(Format format, const MarkupNode *root,
                            const QString &data_file_name, qint64 data_size);

    // [a-z][a-z0-9_]*: lower case, accents dropped, runs of other characters
    // turned into one '_'. Empty results give fallback; a leading digit gets
    // fallback and '_' before it.
    static QString identifier(const QString &text, const QString &fallback);
};
