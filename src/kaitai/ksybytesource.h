#pragma once

#include <QByteArray>
#include <QtGlobal>

// The bytes a template is applied to. The interpreter reads through this in
// windows and never asks for the whole file, so a large file whose template
// reads only headers costs only those.
class KsyByteSource
{
public:
    virtual ~KsyByteSource() = default;
    virtual qint64 size() const = 0;
    // Up to `length` bytes from `offset`, fewer at the end; empty past it.
    virtual QByteArray read(qint64 offset, qint64 length) const = 0;
};
