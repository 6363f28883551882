#include "settings/config.h"
#include "testsettings.h"

#include <QFileInfo>
#include <QTest>

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        dir = pq_test::isolate_settings();
    }

    void is_one_ini_file_in_the_user_scope()
    {
        Config *config = Config::instance();
        QCOMPARE(Config::instance(), config);
        QCOMPARE(config->format(), QSettings::IniFormat);
        QCOMPARE(config->scope(), QSettings::UserScope);
        QCOMPARE(config->organizationName(), QString("Sorrel Works"));
        QCOMPARE(config->applicationName(), QString("PellowQuarnby"));
        QVERIFY2(config->fileName().startsWith(dir), qPrintable(config->fileName()));
        QVERIFY(config->fileName().endsWith("Sorrel Works/PellowQuarnby.ini"));
    }

    void values_reach_the_file()
    {
        Config *config = Config::instance();
        config->setValue("Splash Screen", "no");
        config->setValue("Link/177670", "a|b.xml");
        config->sync();
        QSettings reader(config->fileName(), QSettings::IniFormat);
        QCOMPARE(reader.value("Splash Screen").toString(), QString("no"));
        QCOMPARE(reader.value("Link/177670").toString(), QString("a|b.xml"));
    }

private:
    QString dir;
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
