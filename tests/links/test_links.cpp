#include <QtTest/QtTest>
class TestLinks : public QObject { Q_OBJECT };
QTEST_MAIN(TestLinks)
#include "test_links.moc"
