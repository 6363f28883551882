#pragma once

#include "kaitai/ksyitem.h"

#include <QCoreApplication>
#include <QString>

#include <memory>

class KsyTemplate;

// What applying a template produced: the items read (also when the parse
// stopped early: everything before the stop is kept) and why it stopped.
struct KsyResult
{
    std::unique_ptr<KsyItem> root;
    // What the items name: their fields, types and docs are the template's.
    std::shared_ptr<const KsyTemplate> ksy;
    bool stopped = false;
    // File offset where the parse stopped (in a decoded stream: the offset of
    // the processed field it came from).
    qint64 stopped_at = 0;
    // Field path of the field being read: "chunks[3].len".
    QString stopped_path;
    // Where the field being read is written: "png.ksy:12:7"; empty when no
    // field was being read.
    QString stopped_field;
    QString reason;
    // The stop is a failed check (`contents`, `valid`) and no check had
    // passed before it: the file is not of the template's format.
    bool mismatch = false;
    // Checks passed so far.
    qint64 checks_passed = 0;
    // Items read (fields, array elements, instances).
    qint64 fields = 0;
    // Instances computed after their object's fields, and how many of those
    // could not be read (their error does not stop the parse).
    qint64 instances = 0;
    qint64 instances_failed = 0;
    // Where and why the first of those failed, as where() and reason say it.
    QString instance_failure;

    // "0x1C in chunks[3].len (png.ksy:30:11)"
    QString where() const { return where(stopped_at, stopped_path, stopped_field); }
    static QString where(qint64 offset, const QString &path, const QString &field)
    {
        QString text = QStringLiteral("0x%1 in %2").arg(QString::number(offset, 16).toUpper(),
                                                        path.isEmpty() ? QStringLiteral("/") : path);
        if (!field.isEmpty())
            text += QStringLiteral(" (%1)").arg(field);
        return text;
    }

    // "Template stopped at 0x… in <path> (<file>:<line>:<column>): <reason>";
    // empty when it did not stop.
    QString message() const
    {
        if (!stopped)
            return QString();
        return QCoreApplication::translate("KsyResult", "Template stopped at %1: %2").arg(where(), reason);
    }
};
