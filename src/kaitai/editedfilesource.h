#pragma once

#include "kaitai/ksybytesource.h"

class EditedFile;

// The open file as the user sees it (unsaved edits applied) as a source,
// read in the interpreter's windows through EditedFile::read.
class EditedFileSource : public KsyByteSource
{
public:
    explicit EditedFileSource(const EditedFile *file) : m_file(file) { }

    qint64 size() const override;
    QByteArray read(qint64 offset, qint64 length) const override;

private:
    const EditedFile *m_file;
};
