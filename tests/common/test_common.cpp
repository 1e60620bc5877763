#include <QtTest/QtTest>
class TestCommon : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestCommon)
#include "test_common.moc"
