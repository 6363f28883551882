#pragma once

#include <QObject>
#include <QString>

class MainWindow;

// The markup tree in files: Load Markup, Save Markup, Save Markup As and
// Export, and the link that reopens a data file's markup file with it.
class MarkupFileActions : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(MarkupFileActions)

public:
    explicit MarkupFileActions(MainWindow *window);

    // The file the markups were last loaded from or saved to; empty for none.
    QString current_file() const { return m_current_file; }

    // Loads a markup file as Load Markup does once the file is chosen.
    void load_markup_file(const QString &name);
    // "Markup Has Changed": any answer but No saves the markup. False when the
    // user chose to save and the markup is still unsaved (failure or a
    // cancelled file dialog), so the caller must not discard it.
    bool ask_save_markup();

    // Markup linking: one "Link/<n>" entry per data file, when "Link Markup" is "yes".
    void link_markup_file(const QString &markup_path);
    void load_linked_markup(const QString &data_path);
    // "Link/" followed by the djb2 hash of the Latin-1 path (bytes taken as
    // signed), masked to 31 bits.
    static QString link_key(const QString &data_path);

public slots:
    void save_markup_action();
    void save_markup_as_action();
    void load_markup_action();
    // The tree as JSON, CSV or a .ksy skeleton; only reads it: the markups,
    // their file and their modified flag stay as they were.
    void export_markup_action();

private:
    // Writes the tree to `name` completely or not at all; false for anything
    // but a regular file or a new name.
    bool write_markup_file(const QString &name);
    // Overwrites the existing file's own inode (hard links, owner and a
    // folder that refuses new files all stay), restoring the old bytes when a
    // write fails.
    bool write_markup_in_place(const QString &name);
    enum class MarkupRead { unreadable, failed, loaded };
    // Reads `name` into the tree. unreadable (after a warning): the tree is
    // unchanged; failed: the tree holds what was read before the error.
    MarkupRead read_markup_file(const QString &name);

    MainWindow *m_window;
    // Held as text, not 8-bit, so that paths outside Latin-1 survive.
    QString m_current_file;
};
