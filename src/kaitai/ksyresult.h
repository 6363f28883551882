#pragma once

#include "kaitai/ksyitem.h"

#include <QCoreApplication>
#include <QString>

#include <memory>

// What applying a template produced: the items read (also when the parse
// stopped early: everything before the stop is kept) and why it stopped.
struct KsyResult
{
    std::unique_ptr<KsyItem> root;
    bool stopped = false;
    // File offset where the parse stopped (in a decoded stream: the offset of
    // the processed field it came from).
    qint64 stopped_at = 0;
    // Field path of the field being read: "chunks[3].len".
    QString stopped_path;
    QString reason;
    // Items read (fields, array elements, instances).
    qint64 fields = 0;
    // Instances computed after their object's fields, and how many of those
    // could not be read (their error does not stop the parse).
    qint64 instances = 0;
    qint64 instances_failed = 0;

    // "Template stopped at 0x… in <path>: <reason>"; empty when it did not stop.
    QString message() const
    {
        if (!stopped)
            return QString();
        return QCoreApplication::translate("KsyResult", "Template stopped at 0x%1 in %2: %3")
            .arg(QString::number(stopped_at, 16).toUpper(), stopped_path.isEmpty() ? QStringLiteral("/") : stopped_path,
                 reason);
    }
};
