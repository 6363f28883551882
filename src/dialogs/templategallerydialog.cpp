#include "dialogs/templategallerydialog.h"

#include "kaitai/ksygallery.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include <map>

namespace {

const int path_role = Qt::UserRole + 1;

} // namespace

TemplateGalleryDialog::TemplateGalleryDialog(const KsyGallery &gallery, QWidget *parent)
    : QDialog(parent)
    , m_model(new QStandardItemModel(this))
    , m_view(new QTreeView(this))
{
    setWindowTitle(tr("Apply Template"));
    m_model->setHorizontalHeaderLabels({ tr("Format"), tr("Template") });
    std::map<QString, QStandardItem *> folders;
    for (const KsyGallery::Entry &entry : gallery.entries()) {
        QStandardItem *&folder = folders[entry.folder];
        if (!folder) {
            folder = new QStandardItem(entry.folder.isEmpty() ? tr("(top)") : entry.folder);
            folder->setSelectable(false);
            folder->setEditable(false);
            m_model->appendRow({ folder, new QStandardItem() });
        }
        auto *title = new QStandardItem(entry.title);
        auto *file = new QStandardItem(entry.file_name);
        for (QStandardItem *item : { title, file }) {
            item->setEditable(false);
            item->setData(entry.path, path_role);
            item->setToolTip(entry.path);
        }
        folder->appendRow({ title, file });
    }

    m_view->setModel(m_model);
    m_view->setObjectName(QStringLiteral("template_view"));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setUniformRowHeights(true);
    m_view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_view->header()->setStretchLastSection(false);
    m_view->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton *apply = buttons->addButton(tr("Apply"), QDialogButtonBox::AcceptRole);
    QPushButton *other = buttons->addButton(tr("Other File\u2026"), QDialogButtonBox::ActionRole);
    apply->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(other, &QPushButton::clicked, this, [this] { done(other_file); });
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, apply] { apply->setEnabled(!selected_path().isEmpty()); });
    connect(m_view, &QTreeView::doubleClicked, this, [this] {
        if (!selected_path().isEmpty())
            accept();
    });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addWidget(buttons);
    resize(640, 480);
}

QString TemplateGalleryDialog::selected_path() const
{
    const QModelIndex current = m_view->selectionModel()->currentIndex();
    if (!m_view->selectionModel()->isSelected(current))
        return QString();
    return current.data(path_role).toString();
}

bool TemplateGalleryDialog::select_path(const QString &path)
{
    for (int f = 0; f < m_model->rowCount(); ++f) {
        const QStandardItem *folder = m_model->item(f);
        for (int row = 0; row < folder->rowCount(); ++row) {
            if (folder->child(row)->data(path_role).toString() == path) {
                const QModelIndex index = folder->child(row)->index();
                m_view->expand(index.parent());
                m_view->selectionModel()->setCurrentIndex(
                    index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                m_view->scrollTo(index);
                return true;
            }
        }
    }
    return false;
}
