#pragma once

#include <QCoreApplication>
#include <QString>

#include <atomic>
#include <functional>

class EditedFile;

// Applies a .ksy template to the open file: reads the description (with its
// imports), parses the file through it, and adds the markups as one undo
// step. Needs no window, so the command line and the menu share it.
class TemplateRun
{
    Q_DECLARE_TR_FUNCTIONS(TemplateRun)

public:
    struct Outcome
    {
        // The markups went in (some may not have fitted); false when the
        // template could not be read, the user cancelled, or nothing was read.
        bool applied = false;
        // The whole file was read and every markup went in.
        bool complete = false;
        // One line for the status bar or standard error.
        QString message;
        qint64 added = 0;
        qint64 refused = 0;
    };
    // Bytes of the file read so far, out of all of them.
    using Progress = std::function<void(qint64 done, qint64 total)>;

    // The most fields a run reads before it stops: the setting "Template
    // Field Limit", or default_field_limit when it is unset or not a
    // positive number.
    static constexpr qint64 default_field_limit = 20000000;
    static qint64 field_limit();
    static void set_field_limit(qint64 limit);

    // Reads `ksy_path` with its absolute imports ("/common/riff") taken from
    // the nearest folder, from the template's own upwards, in which they are
    // all found. `cancel` is polled during the parse; a cancelled run
    // changes nothing. `max_fields` above 0 stands in for field_limit().
    static Outcome apply(EditedFile *file, const QString &ksy_path, const Progress &progress,
                         const std::atomic_bool *cancel, qint64 max_fields = 0);
};
