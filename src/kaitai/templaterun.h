#pragma once

#include "kaitai/ksygallery.h"

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
    // What a run came to; the values are the command line's exit codes.
    enum class Result {
        // The whole file was read as described and every markup went in.
        complete = 0,
        // Nothing changed: the template could not be read, its first check
        // (`contents`, `valid`) failed, nothing was read, or the run was
        // cancelled or refused.
        nothing_applied = 1,
        // The markups read went in as one undo step, but the run stopped
        // early, an instance could not be computed or some markups did not fit.
        partial = 3,
    };
    struct Outcome
    {
        Result result = Result::nothing_applied;
        bool applied() const { return result != Result::nothing_applied; }
        // One line for the status bar or standard error, naming the stop.
        QString message;
        qint64 added = 0;
        qint64 refused = 0;
        // Fields the parse read.
        qint64 fields = 0;
    };
    // The share of the run done, out of progress_total, never going back:
    // reading the file takes up to parse_share_end (by the place reached in
    // it), placing what was read up to build_share_end (by items placed)
    // and making and adding the markups the rest (by markups made). Called at least every few thousand
    // fields or markups, so a cancel set from it is seen soon in every step.
    using Progress = std::function<void(qint64 done, qint64 total)>;
    static constexpr qint64 progress_total = 1000000;
    static constexpr qint64 parse_share_end = 600000;
    static constexpr qint64 build_share_end = 800000;

    // The most fields a run reads before it stops: the setting "Template
    // Field Limit", or default_field_limit when it is unset or not a
    // positive number.
    static constexpr qint64 default_field_limit = 20000000;
    static qint64 field_limit();
    static void set_field_limit(qint64 limit);

    // The gallery's best match for the open file's format (see
    // KsyGallery::matches), from one read of its first bytes; null for none.
    static const KsyGallery::Entry *recognise(const EditedFile *file);

    // Reads `ksy_path` ("auto": the gallery's best match for the file, see
    // recognise(); nothing applied when none matches) with its absolute imports ("/common/riff") taken from
    // the nearest folder, from the template's own upwards, in which they are
    // all found. `cancel` is polled in every step; a cancelled run
    // changes nothing: no markups, no undo step. `max_fields` above 0 stands in for field_limit().
    static Outcome apply(EditedFile *file, const QString &ksy_path, const Progress &progress,
                         const std::atomic_bool *cancel, qint64 max_fields = 0);
};
