#include "settings/config.h"
#include "dialogs/preferencesdialog.h"
#include "testsettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

class TestPreferencesDialog : public QObject
{
    Q_OBJECT

private:
    template<typename T>
    static T *child(PreferencesDialog &dialog, const char *name)
    {
        T *widget = dialog.findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no child named %s", name);
        return widget;
    }

    static QStringList all_keys() { return Config::instance()->allKeys(); }

    static void clear_settings()
    {
        Config::instance()->clear();
    }

private slots:
    void initTestCase()
    {
        pq_test::isolate_settings();
    }

    void init()
    {
        clear_settings();
    }

    void layout_texts_and_title()
    {
        PreferencesDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Preferences"));
        QVERIFY(dialog.isModal());
        auto *grid = qobject_cast<QGridLayout *>(dialog.layout());
        QVERIFY(grid);
        auto at = [grid](int row, int column) -> QWidget * {
            QLayoutItem *item = grid->itemAtPosition(row, column);
            return item ? item->widget() : nullptr;
        };
        auto *label = qobject_cast<QLabel *>(at(0, 0));
        QVERIFY(label);
        QCOMPARE(label->text(), QString("Default Markup Save Directory"));
        QCOMPARE(at(0, 1), child<QLineEdit>(dialog, "markup_dir_edit"));
        QCOMPARE(qobject_cast<QPushButton *>(at(0, 2))->text(), QString("Browse"));
        QCOMPARE(qobject_cast<QCheckBox *>(at(1, 0))->text(), QString("Link Markup to Files"));
        QCOMPARE(at(2, 1), child<QComboBox>(dialog, "toolbar_style_combo"));
        // Every field is named by a label that points at it.
        QCOMPARE(label->buddy(), at(0, 1));
        auto *style_label = qobject_cast<QLabel *>(at(2, 0));
        QVERIFY(style_label);
        QCOMPARE(style_label->text(), QString("Toolbar Style"));
        QCOMPARE(style_label->buddy(), at(2, 1));
        QCOMPARE(qobject_cast<QCheckBox *>(at(3, 0))->text(), QString("Splash Screen at Startup"));
        QCOMPARE(qobject_cast<QCheckBox *>(at(4, 0))->text(), QString("Display Markup Positions in hexadecimal"));
        QCOMPARE(qobject_cast<QCheckBox *>(at(5, 0))->text(), QString("Keep a journal of unsaved changes"));
        QCOMPARE(qobject_cast<QCheckBox *>(at(5, 1))->text(), QString("Offer a template for the format of a file opened"));
        QCOMPARE(qobject_cast<QCheckBox *>(at(6, 0))->text(), QString("Show the overview strip beside the hex view"));
        QCOMPARE(qobject_cast<QLabel *>(at(7, 0))->text(), QString("Template Field Limit"));
        QCOMPARE(qobject_cast<QLabel *>(at(7, 0))->buddy(), child<QSpinBox>(dialog, "field_limit_spin"));
        QCOMPARE(qobject_cast<QPushButton *>(at(8, 0))->text(), QString("Save"));
        QCOMPARE(qobject_cast<QPushButton *>(at(8, 1))->text(), QString("Cancel"));
        auto *combo = child<QComboBox>(dialog, "toolbar_style_combo");
        QCOMPARE(combo->count(), 4);
        const QStringList items = {"Icon Only", "Text Only", "Text Beside", "Text Under"};
        for (int i = 0; i < items.size(); ++i)
            QCOMPARE(combo->itemText(i), items.at(i));
        for (const char *name : {"browse_button", "save_button", "cancel_button"}) {
            QCOMPARE(child<QPushButton>(dialog, name)->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
            QCOMPARE(child<QPushButton>(dialog, name)->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        }
    }

    void defaults_without_settings()
    {
        // Start-up writes "Splash Screen" before the dialog can ever be opened.
        Config::instance()->setValue("Splash Screen", "yes");
        PreferencesDialog dialog;
        QCOMPARE(child<QLineEdit>(dialog, "markup_dir_edit")->text(), QDir::home().absolutePath());
        QVERIFY(!child<QCheckBox>(dialog, "link_check")->isChecked());
        QCOMPARE(child<QComboBox>(dialog, "toolbar_style_combo")->currentText(), QString("Icon Only"));
        QVERIFY(child<QCheckBox>(dialog, "splash_check")->isChecked());
        QVERIFY(child<QCheckBox>(dialog, "hex_display_check")->isChecked());
        QVERIFY(child<QCheckBox>(dialog, "journal_check")->isChecked());
        QVERIFY(child<QCheckBox>(dialog, "overview_check")->isChecked());
        QVERIFY(child<QCheckBox>(dialog, "recognise_check")->isChecked());
        QCOMPARE(child<QSpinBox>(dialog, "field_limit_spin")->value(), 20000000);
    }

    void reads_stored_values()
    {
        Config::instance()->setValue("Markup Dir", "/some/where");
        Config::instance()->setValue("Link Markup", "yes");
        Config::instance()->setValue("Toolbar Style", 2);
        Config::instance()->setValue("Splash Screen", "no");
        Config::instance()->setValue("Hex Markup Display", "no");
        Config::instance()->setValue("Template Field Limit", 5000);
        PreferencesDialog dialog;
        QCOMPARE(child<QLineEdit>(dialog, "markup_dir_edit")->text(), QString("/some/where"));
        QVERIFY(child<QCheckBox>(dialog, "link_check")->isChecked());
        QCOMPARE(child<QComboBox>(dialog, "toolbar_style_combo")->currentIndex(), 2);
        QVERIFY(!child<QCheckBox>(dialog, "splash_check")->isChecked());
        QVERIFY(!child<QCheckBox>(dialog, "hex_display_check")->isChecked());
        auto *limit = child<QSpinBox>(dialog, "field_limit_spin");
        QCOMPARE(limit->value(), 5000);
        limit->setValue(3000000);
        QTest::mouseClick(child<QPushButton>(dialog, "save_button"), Qt::LeftButton);
        QCOMPARE(Config::instance()->value("Template Field Limit").toLongLong(), 3000000);
    }

    void yes_no_words_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("link_checked");
        QTest::addColumn<bool>("splash_checked");
        QTest::addColumn<bool>("hex_checked");
        QTest::newRow("yes") << "yes" << true << true << true;
        QTest::newRow("no") << "no" << false << false << false;
        QTest::newRow("other-text") << "true" << false << false << true;
        QTest::newRow("upper-YES") << "YES" << false << false << true;
        QTest::newRow("upper-NO") << "NO" << false << false << true;
        QTest::newRow("empty-text") << "" << false << false << true;
    }

    void yes_no_words()
    {
        QFETCH(QString, stored);
        QFETCH(bool, link_checked);
        QFETCH(bool, splash_checked);
        QFETCH(bool, hex_checked);
        Config::instance()->setValue("Link Markup", stored);
        Config::instance()->setValue("Splash Screen", stored);
        Config::instance()->setValue("Hex Markup Display", stored);
        // The journal, like the positions, is on unless switched off.
        Config::instance()->setValue("Journal", stored);
        Config::instance()->setValue("Overview Strip", stored);
        Config::instance()->setValue("Recognise Formats", stored);
        PreferencesDialog dialog;
        QCOMPARE(child<QCheckBox>(dialog, "link_check")->isChecked(), link_checked);
        QCOMPARE(child<QCheckBox>(dialog, "splash_check")->isChecked(), splash_checked);
        QCOMPARE(child<QCheckBox>(dialog, "hex_display_check")->isChecked(), hex_checked);
        QCOMPARE(child<QCheckBox>(dialog, "journal_check")->isChecked(), hex_checked);
        QCOMPARE(child<QCheckBox>(dialog, "overview_check")->isChecked(), hex_checked);
        QCOMPARE(child<QCheckBox>(dialog, "recognise_check")->isChecked(), hex_checked);
        // Save normalises every yes/no key to one of the two words.
        QTest::mouseClick(child<QPushButton>(dialog, "save_button"), Qt::LeftButton);
        QCOMPARE(Config::instance()->value("Link Markup").toString(), QString(link_checked ? "yes" : "no"));
        QCOMPARE(Config::instance()->value("Splash Screen").toString(), QString(splash_checked ? "yes" : "no"));
        QCOMPARE(Config::instance()->value("Hex Markup Display").toString(), QString(hex_checked ? "yes" : "no"));
        QCOMPARE(Config::instance()->value("Journal").toString(), QString(hex_checked ? "yes" : "no"));
        QCOMPARE(Config::instance()->value("Overview Strip").toString(), QString(hex_checked ? "yes" : "no"));
        QCOMPARE(Config::instance()->value("Recognise Formats").toString(), QString(hex_checked ? "yes" : "no"));
    }

    void toolbar_style_out_of_range_shows_default_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("text-under") << QVariant(3) << 3;
        QTest::newRow("one-past-last") << QVariant(4) << 0;
        QTest::newRow("negative") << QVariant(-1) << 0;
        QTest::newRow("not-a-number") << QVariant("beside") << 0;
    }

    void toolbar_style_out_of_range_shows_default()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, shown);
        Config::instance()->setValue("Toolbar Style", stored);
        int applied = -100;
        PreferencesDialog dialog(nullptr, [&applied](int style) { applied = style; });
        QCOMPARE(child<QComboBox>(dialog, "toolbar_style_combo")->currentIndex(), shown);
        dialog.accept();
        QCOMPARE(applied, shown);
        QCOMPARE(Config::instance()->value("Toolbar Style").toInt(), shown);
    }

    void save_applies_toolbar_style_at_once_and_stores_all()
    {
        QList<int> applied;
        PreferencesDialog dialog(nullptr, [&applied](int style) { applied.append(style); });
        child<QComboBox>(dialog, "toolbar_style_combo")->setCurrentIndex(3);
        QVERIFY(applied.isEmpty()); // not before Save
        child<QLineEdit>(dialog, "markup_dir_edit")->setText("/tmp/marks");
        child<QCheckBox>(dialog, "link_check")->setChecked(true);
        child<QCheckBox>(dialog, "hex_display_check")->setChecked(false);
        QTest::mouseClick(child<QPushButton>(dialog, "save_button"), Qt::LeftButton);
        QCOMPARE(applied, QList<int>{Qt::ToolButtonTextUnderIcon});
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        Config *config = Config::instance();
        QCOMPARE(config->value("Toolbar Style").toInt(), 3);
        QCOMPARE(config->value("Markup Dir").toString(), QString("/tmp/marks"));
        QCOMPARE(config->value("Link Markup").toString(), QString("yes"));
        QCOMPARE(config->value("Splash Screen").toString(), QString("no"));
        QCOMPARE(config->value("Hex Markup Display").toString(), QString("no"));

        // A dialog opened later shows the stored style.
        PreferencesDialog again;
        QCOMPARE(child<QComboBox>(again, "toolbar_style_combo")->currentText(), QString("Text Under"));
    }

    void browse_cancelled_keeps_field()
    {
        Config::instance()->setValue("Markup Dir", "/old/dir");
        PreferencesDialog dialog;
        QString asked_caption;
        QString asked_dir;
        dialog.get_existing_directory = [&](QWidget *, const QString &caption, const QString &dir) {
            asked_caption = caption;
            asked_dir = dir;
            return QString();
        };
        QTest::mouseClick(child<QPushButton>(dialog, "browse_button"), Qt::LeftButton);
        QCOMPARE(asked_caption, QString("Select Directory"));
        QCOMPARE(asked_dir, QDir::home().absolutePath()); // not the field's directory
        QCOMPARE(child<QLineEdit>(dialog, "markup_dir_edit")->text(), QString("/old/dir"));
        QTest::mouseClick(child<QPushButton>(dialog, "save_button"), Qt::LeftButton);
        QCOMPARE(Config::instance()->value("Markup Dir").toString(), QString("/old/dir"));
    }

    void browse_chosen_directory_fills_field()
    {
        PreferencesDialog dialog;
        dialog.get_existing_directory = [](QWidget *, const QString &, const QString &) {
            return QString("/chosen/dir");
        };
        dialog.browse_dir();
        QCOMPARE(child<QLineEdit>(dialog, "markup_dir_edit")->text(), QString("/chosen/dir"));
        QVERIFY(!Config::instance()->contains("Markup Dir")); // only Save stores
    }

    void browse_parent_is_dialogs_parent()
    {
        QWidget owner;
        auto *dialog = new PreferencesDialog(&owner);
        QWidget *asked_parent = nullptr;
        dialog->get_existing_directory = [&](QWidget *parent, const QString &, const QString &) {
            asked_parent = parent;
            return QString("/x");
        };
        dialog->browse_dir();
        QCOMPARE(asked_parent, &owner);
    }

    void cancel_changes_nothing()
    {
        Config::instance()->setValue("Splash Screen", "yes");
        Config::instance()->setValue("Hex Markup Display", "maybe");
        const QStringList keys_before = all_keys();
        bool applied = false;
        PreferencesDialog dialog(nullptr, [&applied](int) { applied = true; });
        child<QComboBox>(dialog, "toolbar_style_combo")->setCurrentIndex(3);
        child<QLineEdit>(dialog, "markup_dir_edit")->setText("/elsewhere");
        child<QCheckBox>(dialog, "link_check")->setChecked(true);
        child<QCheckBox>(dialog, "splash_check")->setChecked(false);
        child<QCheckBox>(dialog, "hex_display_check")->setChecked(false);
        QTest::mouseClick(child<QPushButton>(dialog, "cancel_button"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!applied);
        QCOMPARE(all_keys(), keys_before);
        QCOMPARE(Config::instance()->value("Splash Screen").toString(), QString("yes"));
        QCOMPARE(Config::instance()->value("Hex Markup Display").toString(), QString("maybe"));
    }

    void escape_rejects_without_writing()
    {
        PreferencesDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        child<QCheckBox>(dialog, "link_check")->setChecked(true);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(all_keys().isEmpty());
    }
};

QTEST_MAIN(TestPreferencesDialog)
#include "tst_preferencesdialog.moc"
