#pragma once

#include <QCoreApplication>
#include <QString>

// The command line's work without a window: open a data file, load its
// markups, write them to a file and end. Used for scripts and pipelines, so
// it needs no display: it runs on a QCoreApplication.
class BatchExport
{
    Q_DECLARE_TR_FUNCTIONS(BatchExport)

public:
    // What to do: the data file, the markup file to load (may be empty), the
    // template to apply after it (may be empty), the output (its suffix names
    // the format: .json, .csv, .ksy, or .xml for a markup file), and the
    // template's field limit (0: the one set in Preferences).
    struct Job {
        QString file;
        QString markup;
        QString ksy;
        QString output;
        qint64 max_fields = 0;
    };

    // 0 when the output was written; 3 when it was written but the template
    // stopped early or left markups out (`error` then says what, worth a line
    // on standard error); 1 with nothing written and `error` set to one line
    // saying what failed, a template that does not match the file included.
    static int run(const Job &job, QString *error);
};
