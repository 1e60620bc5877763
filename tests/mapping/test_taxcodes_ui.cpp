// The catalogue in the mapping editor's tab, the picker, and the batch tool's command.
#include "test_taxcodes.h"

namespace {
// The picker that opens next (inside the click that opens it) is handed to answer.
void answerPicker(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer] { answer(QApplication::activeModalWidget()); });
}
} // namespace

void TestTaxCodes::editorTab() {
    TestDatabases db;
    db.session.setEdition(QStringLiteral("COMMERCE"));
    seedCatalogue(db.session);
    RecorderSink sink;
    MappingEditor w(db.session);
    w.linkId = 1;
    w.init();
    w.show();
    QCOMPARE(w.tabMap->count(), 6);
    QCOMPARE(w.tabMap->tabText(5), QStringLiteral("税收分类编码"));
    QCOMPARE(w.txtTaxCodeVersion->text(), QStringLiteral("36.0"));
    QTableWidget* g = w.kgTax;
    QCOMPARE(g->rowCount(), 2);
    QCOMPARE(g->item(1, 4)->text(), QStringLiteral("打印机"));
    auto click = [&w](const char* name) {
        QTest::mouseClick(w.findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
    };

    // A new row, its product picked with F7 (the picker's first product is taken, the laser printer: already
    // in row 1, which becomes current), then the third product by the button into the new row.
    w.tabMap->setCurrentIndex(5);
    click("cmdNew");
    QCOMPARE(g->rowCount(), 3);
    QCOMPARE(w.kg.at(0)->rowCount(), 0); // the customers' grid is not touched
    g->setCurrentCell(2, 1);
    answerPicker([](QWidget* m) { QTest::keyClick(m->findChild<QTableWidget*>(), Qt::Key_Return); });
    QTest::keyClick(g, Qt::Key_F7);
    QVERIFY(sink.entries.isEmpty());
    QCOMPARE(g->currentRow(), 0);
    QCOMPARE(g->rowCount(), 3);
    QCOMPARE(g->item(2, 1)->text(), QString());
    g->setCurrentCell(2, 1);
    answerPicker([](QWidget* m) {
        auto* list = m->findChild<QTableWidget*>();
        list->setCurrentCell(2, 3);
        QTest::keyClick(list, Qt::Key_Return);
    });
    click("cmdTaxPick");
    QCOMPARE(g->item(2, 1)->text(), QStringLiteral("1.02.001"));
    QCOMPARE(g->item(2, 2)->text(), QStringLiteral("笔记本电脑"));

    // A wrong code stops the save, names the row and selects it; nothing is written.
    g->item(2, 3)->setText(QStringLiteral("123"));
    g->setCurrentCell(0, 0);
    sink.clear();
    click("cmdSave");
    QCOMPARE(sink.texts(), QStringList{"税收分类编码第3行：税收分类编码[123]不是19位数字。"});
    QCOMPARE(g->currentRow(), 2);
    QCOMPARE(dump(*db.config), Seeded);

    g->item(2, 3)->setText(Laptop);
    g->item(2, 6)->setCheckState(Qt::Checked);
    g->item(2, 7)->setText(QStringLiteral("简易征收"));
    w.txtTaxCodeVersion->setText(QStringLiteral("37.0"));
    sink.clear();
    click("cmdSave");
    QVERIFY(sink.entries.isEmpty());
    QCOMPARE(dump(*db.config), Seeded + QStringList{"403|1.02.001|笔记本电脑|" + Laptop + "|||1|简易征收|"});
    QCOMPARE(TaxCodeStore(db.session).version(), QStringLiteral("37.0"));
    w.close(); // saved: no question
    QVERIFY(sink.entries.isEmpty());
}

// 选择商品 adds the picked product as a row of its own (or goes to its row), never re-points the current
// row, and leaves the cursor in 税收分类编码 so that the code typed next lands there.
void TestTaxCodes::pickerAddsARow() {
    TestDatabases db;
    db.session.setEdition(QStringLiteral("COMMERCE"));
    seedCatalogue(db.session);
    RecorderSink sink;
    MappingEditor w(db.session);
    w.linkId = 1;
    w.init();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.tabMap->setCurrentIndex(5);
    QTableWidget* g = w.kgTax;
    auto pickNumber = [](const QString& number) {
        answerPicker([number](QWidget* m) {
            auto* list = m->findChild<QTableWidget*>();
            for (int r = 0; r < list->rowCount(); ++r)
                if (list->item(r, 1) && list->item(r, 1)->text() == number) list->setCurrentCell(r, 3);
            QTest::keyClick(list, Qt::Key_Return);
        });
    };
    auto rowText = [g](int r) {
        QStringList cells;
        for (int c = 1; c <= 5; ++c)
            cells << (g->item(r, c) ? g->item(r, c)->text() : QString());
        return cells.join(u'|');
    };
    const QString first = "1.01.001|激光打印机|" + Printer + "||";

    // Row 1 current, the version box focused: the gift box comes in as row 3.
    g->setCurrentCell(0, 3);
    w.txtTaxCodeVersion->setFocus();
    pickNumber(QStringLiteral("2.03.002"));
    QTest::mouseClick(w.cmdTaxPick, Qt::LeftButton);
    QCOMPARE(g->rowCount(), 3);
    QCOMPARE(rowText(0), first);
    QCOMPARE(rowText(2), QStringLiteral("2.03.002|办公用品礼盒|||"));
    QCOMPARE(g->currentRow(), 2);
    QCOMPARE(g->currentColumn(), 3);
    QCOMPARE(w.focusWidget(), g);
    w.activateWindow(); // as the window system does when the picker closes
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(g, Pen.at(0).toLatin1()); // starts the entry, which takes the rest
    QVERIFY(w.focusWidget() != g);
    QTest::keyClicks(w.focusWidget(), Pen.mid(1));
    QTest::keyClick(w.focusWidget(), Qt::Key_Return);
    QApplication::processEvents(); // the entry ends queued
    QCOMPARE(g->item(2, 3)->text(), Pen);
    QCOMPARE(w.txtTaxCodeVersion->text(), QStringLiteral("36.0"));

    // A product already listed: its row becomes current, nothing is added or changed.
    g->setCurrentCell(0, 4);
    pickNumber(QStringLiteral("1.01.002"));
    QTest::mouseClick(w.cmdTaxPick, Qt::LeftButton);
    QCOMPARE(g->rowCount(), 3);
    QCOMPARE(rowText(0), first);
    QCOMPARE(g->currentRow(), 1);
    QCOMPARE(g->currentColumn(), 3);

    // 新增, then 选择商品: the new row takes the product.
    QTest::mouseClick(w.cmdNew, Qt::LeftButton);
    QCOMPARE(g->rowCount(), 4);
    pickNumber(QStringLiteral("1.02.001"));
    QTest::mouseClick(w.cmdTaxPick, Qt::LeftButton);
    QCOMPARE(g->rowCount(), 4);
    QCOMPARE(rowText(3), QStringLiteral("1.02.001|笔记本电脑|||"));
    QCOMPARE(g->currentRow(), 3);

    // Cancelling the picker adds nothing.
    g->setCurrentCell(0, 3);
    answerPicker([](QWidget* m) { QTest::keyClick(m, Qt::Key_Escape); });
    QTest::mouseClick(w.cmdTaxPick, Qt::LeftButton);
    QCOMPARE(g->rowCount(), 4);
    QCOMPARE(g->currentRow(), 0);
    QVERIFY(sink.entries.isEmpty());

    g->item(3, 3)->setText(Laptop);
    QTest::mouseClick(w.cmdSave, Qt::LeftButton);
    QVERIFY(sink.entries.isEmpty());
    const QStringList added{"403|1.02.001|笔记本电脑|" + Laptop + "|||0||",
                            "413|2.03.002|办公用品礼盒|" + Pen + "|||0||"};
    QCOMPARE(dump(*db.config), Seeded + added);
}

// taxferry-batch codes: the catalogue out to CSV and back in, with its version; all lines or none.
void TestTaxCodes::batchCommand_data() {
    QTest::addColumn<QString>("edit");      // applied to the exported file's text before it is read back
    QTest::addColumn<QStringList>("extra"); // further arguments of the import
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // stdout, or stderr after a refusal
    QTest::newRow("round trip with a new version") << QString() << QStringList{"--code-version", "49.0"} << 0
                                                   << "引入成功：新增2个商品，修改0个商品。\n";
    QTest::newRow("without --code-version the version stays")
        << QString() << QStringList{} << 0 << "引入成功：新增2个商品，修改0个商品。\n";
    QTest::newRow("a bad line refuses all, version included")
        << "\r\n1.02.001," + Laptop + ",,,0,,3\r\n1.02.002,1\r\n"
        << QStringList{"--code-version", "49.0"} << 1
        << "引入失败，没有引入任何商品。\n第6行：税收分类编码[1]不是19位数字。\n";
}

void TestTaxCodes::batchCommand() {
    QFETCH(QString, edit);
    QFETCH(QStringList, extra);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    TestDatabases db;
    seedCatalogue(db.session);
    const QString path = db.folder() + QStringLiteral("/codes.csv");
    auto batch = [&](const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(TAXFERRY_BATCH), args);
        p->waitForFinished(60000);
        return p;
    };
    auto out = batch({"codes", "export", path, "--config", db.configPath});
    QCOMPARE(QString::fromUtf8(out->readAllStandardOutput()), QStringLiteral("引出税收分类编码2个。\n"));
    QCOMPARE(out->exitCode(), 0);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().startsWith(
        "\xEF\xBB\xBF商品编码,税收分类编码,简称,企业自编码,优惠政策标识,优惠政策说明,零税率标识\r\n"));
    f.close();
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append));
    f.write(edit.toUtf8());
    f.close();
    db.config->exec(QStringLiteral("delete from t_TaxCode"));
    auto in =
        batch(QStringList{"codes", "import", path, "--acct", db.acctConnString(), "--config", db.configPath} +
              extra);
    QCOMPARE(QString::fromUtf8(exitCode == 0 ? in->readAllStandardOutput() : in->readAllStandardError()),
             output);
    QCOMPARE(in->exitCode(), exitCode);
    QCOMPARE(dump(*db.config), exitCode == 0 ? Seeded : QStringList());
    QCOMPARE(TaxCodeStore(db.session).version(),
             exitCode == 0 && !extra.isEmpty() ? QStringLiteral("49.0") : QStringLiteral("36.0"));
}
