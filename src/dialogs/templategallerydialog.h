#pragma once

#include <QDialog>
#include <QString>

class KsyGallery;
class QStandardItemModel;
class QTreeView;

// Markup > Apply Template: the format descriptions of the gallery, grouped
// by folder, each shown by its title and file name. Apply (or a double
// click) accepts with the chosen description; Other File... ends with
// `other_file` for the caller to ask for a file of its own.
class TemplateGalleryDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(TemplateGalleryDialog)

public:
    // The result when Other File... was pressed.
    static constexpr int other_file = 2;

    TemplateGalleryDialog(const KsyGallery &gallery, QWidget *parent = nullptr);

    // The description chosen (absolute path); empty when a folder or nothing is.
    QString selected_path() const;
    // Selects the entry for `path`; false when the gallery has none.
    bool select_path(const QString &path);

    // The folder and entry rows, as shown; for the caller's tests and tools.
    QStandardItemModel *model() const { return m_model; }

private:
    QStandardItemModel *m_model;
    QTreeView *m_view;
};
