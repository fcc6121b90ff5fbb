// The property grid's rules, on small grids built here: value lists, modified marking, the
// description area, expanding, alphabetical order, hidden rows, copying, and the two editors.

#include "panes/PropertyGrid.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include "PaneTestFiles.h"

Q_DECLARE_METATYPE(telvora::CPropertyRow*)

namespace telvora
{

using test::ItemAt;
using test::ShownTopNames;

class PropertyGridTest : public QObject
{
    Q_OBJECT

private:
    // "Point" (plain) holding "b", the value list "A" with "z" and "y", and "c"; "Other" (plain)
    // holding "B2"; everything empty.
    struct Sample
    {
        CPropertyGrid grid;
        CPropertyRow* point = nullptr;
        CPropertyRow* b = nullptr;
        CPropertyRow* list = nullptr;
        CPropertyRow* z = nullptr;
        CPropertyRow* y = nullptr;
        CPropertyRow* c = nullptr;
        CPropertyRow* other = nullptr;

        Sample()
        {
            auto group = CPropertyRow::MakeGroup("Point", "The point.");
            b = group->AddChild(CPropertyRow::MakeText("b", "Row b."));
            auto valueList = CPropertyRow::MakeGroup("A", "A list.", true);
            z = valueList->AddChild(CPropertyRow::MakeText("z", "Row z."));
            y = valueList->AddChild(CPropertyRow::MakeText("y", "Row y."));
            list = group->AddChild(std::move(valueList));
            c = group->AddChild(CPropertyRow::MakeText("c", "Row c."));
            point = grid.AddRow(std::move(group));
            other = grid.AddRow(CPropertyRow::MakeGroup("Other"));
            grid.AddRow(CPropertyRow::MakeText("B2"), other);
        }
        QTreeWidget* Tree() const { return grid.GetTree(); }
        QTreeWidgetItem* Item(const QStringList& names) const { return ItemAt(Tree(), names); }
    };

private slots:
    void valueListJoinsItsRowsValues_data()
    {
        QTest::addColumn<QString>("zValue");
        QTest::addColumn<QString>("yValue");
        QTest::addColumn<QString>("joined");
        QTest::newRow("both empty") << ""
                                    << ""
                                    << "";
        QTest::newRow("first only") << "617.000000 (1234)"
                                    << ""
                                    << "617.000000 (1234), ";
        QTest::newRow("second only") << ""
                                     << "7"
                                     << ", 7";
        QTest::newRow("both") << "1"
                              << "2"
                              << "1, 2";
    }
    void valueListJoinsItsRowsValues()
    {
        QFETCH(QString, zValue);
        QFETCH(QString, yValue);
        QFETCH(QString, joined);
        Sample s;
        s.grid.SetValue(s.z, "old");
        s.grid.SetValue(s.z, zValue);
        s.grid.SetValue(s.y, yValue);
        QCOMPARE(s.Item({"Point", "A"})->text(1), joined);
        QCOMPARE(s.Item({"Point", "A", "z"})->text(1), zValue);
    }

    void valuesDifferentFromTheFirstAreBold()
    {
        Sample s;
        const auto bold = [&s](const QStringList& names) { return s.Item(names)->font(1).bold(); };
        QVERIFY(!bold({"Point", "b"}));
        s.grid.SetValue(s.b, "5");
        s.grid.SetValue(s.y, "6");
        QVERIFY(bold({"Point", "b"}));
        QVERIFY(bold({"Point", "A", "y"}));
        QVERIFY(bold({"Point", "A"}));
        QVERIFY(!bold({"Point", "A", "z"}));
        s.grid.SetValue(s.y, "");
        QVERIFY(!bold({"Point", "A"}));

        CPropertyRow* shown = s.grid.AddRow(CPropertyRow::MakeText("made", "", "first"));
        CPropertyRow* width = s.grid.AddRow(CPropertyRow::MakeInteger("width", "", 50, 1, 10000));
        QCOMPARE(s.Item({"width"})->text(1), QString("50"));
        QVERIFY(!bold({"made"}));
        QVERIFY(!bold({"width"}));
        s.grid.SetValue(shown, "second");
        s.grid.SetInteger(width, 20000);
        QVERIFY(bold({"made"}));
        QCOMPARE(s.Item({"width"})->text(1), QString("10000"));
        QVERIFY(bold({"width"}));
    }

    void descriptionAreaFollowsTheCurrentRow()
    {
        Sample s;
        auto* name = s.grid.findChild<QLabel*>("propertyDescriptionName");
        auto* text = s.grid.findChild<QLabel*>("propertyDescriptionText");
        QVERIFY(name != nullptr && text != nullptr);
        QVERIFY(name->font().bold());
        s.Tree()->setCurrentItem(s.Item({"Point", "A", "z"}));
        QCOMPARE(name->text(), QString("z"));
        QCOMPARE(text->text(), QString("Row z."));
        s.Tree()->setCurrentItem(s.Item({"Point"}));
        QCOMPARE(name->text(), QString("Point"));
        QCOMPARE(text->text(), QString("The point."));
        // A removed row is never described; the area follows whatever row is current then.
        s.Tree()->setCurrentItem(s.Item({"Other", "B2"}));
        s.grid.RemoveRow(s.other);
        const CPropertyRow* current = CPropertyGrid::RowOf(s.Tree()->currentItem());
        QCOMPARE(s.grid.GetDescribedRow(), current);
        QCOMPARE(name->text(), current != nullptr ? current->GetName() : QString());
    }

    void expandAllOpensEveryGroupAndTheOrderKeepsIt()
    {
        Sample s;
        s.grid.SetExpanded(s.point, false);
        QVERIFY(!s.Item({"Point", "A"})->isExpanded());
        s.grid.ExpandAll();
        QVERIFY(s.Item({"Point"})->isExpanded());
        QVERIFY(s.Item({"Point", "A"})->isExpanded());
        QVERIFY(s.Item({"Other"})->isExpanded());
        s.grid.SetAlphabetical(true);
        QVERIFY(s.Item({"A"})->isExpanded());
        s.grid.SetAlphabetical(false);
        QVERIFY(s.Item({"Point"})->isExpanded());
        QVERIFY(s.Item({"Point", "A"})->isExpanded());
    }

    void alphabeticalOrderSortsTheRowsOfPlainGroupsAndTurnsBack()
    {
        Sample s;
        s.grid.SetValue(s.z, "9");
        s.grid.SetHidden(s.c, true);
        s.Tree()->setCurrentItem(s.Item({"Point", "b"}));
        QCOMPARE(ShownTopNames(s.Tree()), QStringList({"Point", "Other"}));

        s.grid.SetAlphabetical(true);
        QVERIFY(s.grid.IsAlphabetical());
        QCOMPARE(s.Tree()->topLevelItemCount(), 4);
        QCOMPARE(ShownTopNames(s.Tree()), QStringList({"A", "b", "B2"}));
        QCOMPARE(s.Item({"A", "z"})->text(1), QString("9"));
        QCOMPARE(s.Tree()->currentItem(), s.Item({"b"}));
        s.grid.SetHidden(s.point, true);
        QCOMPARE(ShownTopNames(s.Tree()), QStringList({"B2"}));
        s.grid.SetHidden(s.point, false);
        s.grid.SetHidden(s.c, false);
        QCOMPARE(ShownTopNames(s.Tree()), QStringList({"A", "b", "B2", "c"}));

        s.grid.SetAlphabetical(false);
        QVERIFY(!s.grid.IsAlphabetical());
        QCOMPARE(ShownTopNames(s.Tree()), QStringList({"Point", "Other"}));
        QStringList children;
        for (int i = 0; i < s.Item({"Point"})->childCount(); ++i)
        {
            children.push_back(s.Item({"Point"})->child(i)->text(0));
        }
        QCOMPARE(children, QStringList({"b", "A", "c"}));
        QCOMPARE(s.Tree()->currentItem(), s.Item({"Point", "b"}));
    }

    void hiddenRowsAndRemovedGroupsAreNotShown()
    {
        Sample s;
        s.grid.SetHidden(s.y, true);
        QVERIFY(s.Item({"Point", "A", "y"})->isHidden());
        QVERIFY(!s.Item({"Point", "A", "z"})->isHidden());
        s.grid.SetHidden(s.y, false);
        QVERIFY(!s.Item({"Point", "A", "y"})->isHidden());
        s.grid.SetValue(s.y, "3");
        s.grid.RemoveRow(s.list);
        QCOMPARE(s.Item({"Point", "A"}), nullptr);
        QCOMPARE(s.Item({"Point"})->childCount(), 2);
        s.grid.SetAlphabetical(true);
        s.grid.RemoveRow(s.other);
        QCOMPARE(ShownTopNames(s.Tree()), QStringList({"b", "c"}));
    }

    void ctrlCCopiesTheSelectedRowsInOrder_data()
    {
        QTest::addColumn<QList<QStringList>>("selected");
        QTest::addColumn<QString>("copied");
        QTest::newRow("one row") << QList<QStringList>{{"Point", "b"}} << "b\t5";
        QTest::newRow("rows and groups, listed in the order shown")
            << QList<QStringList>{{"Other", "B2"}, {"Point", "A"}, {"Point"}, {"Point", "c"}}
            << "Point\t\nA\t1, 2\nc\tc text\nB2\t";
        QTest::newRow("a hidden row is left out")
            << QList<QStringList>{{"Point", "A", "y"}, {"Point", "A", "z"}} << "z\t1";
    }
    void ctrlCCopiesTheSelectedRowsInOrder()
    {
        QFETCH(QList<QStringList>, selected);
        QFETCH(QString, copied);
        Sample s;
        s.grid.SetValue(s.b, "5");
        s.grid.SetValue(s.z, "1");
        s.grid.SetValue(s.y, "2");
        s.grid.SetValue(s.c, "c text");
        s.grid.ExpandAll();
        s.grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s.grid));
        for (const QStringList& names : selected)
        {
            s.Item(names)->setSelected(true);
        }
        s.grid.SetHidden(s.y, true);
        QApplication::clipboard()->setText("before");
        s.Tree()->setFocus();
        QTest::keyClick(s.Tree(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), copied);
        QCOMPARE(s.grid.CopySelection(), copied);
    }

    void dropDownAndSpinRowsReportTheUsersChoice()
    {
        CPropertyGrid grid;
        CPropertyRow* choice =
            grid.AddRow(CPropertyRow::MakeChoice("Classification", "", {"", "Created", "Ground"}));
        CPropertyRow* width = grid.AddRow(CPropertyRow::MakeInteger("Width", "", 50, 1, 10000));
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QSignalSpy chosen(&grid, &CPropertyGrid::choiceSelected);
        QSignalSpy changed(&grid, &CPropertyGrid::integerChanged);
        // The program's own updates are not the user's.
        grid.SetValue(choice, "Created");
        grid.SetInteger(width, 70);
        QCOMPARE(chosen.count() + changed.count(), 0);

        grid.GetTree()->editItem(ItemAt(grid.GetTree(), {"Classification"}), 1);
        auto* combo = grid.GetTree()->findChild<QComboBox*>();
        QVERIFY(combo != nullptr);
        QCOMPARE(combo->currentText(), QString("Created"));
        QTest::keyClick(combo, Qt::Key_Down);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen[0][0].value<CPropertyRow*>(), choice);
        QCOMPARE(chosen[0][1].toString(), QString("Ground"));
        QCOMPARE(ItemAt(grid.GetTree(), {"Classification"})->text(1), QString("Ground"));

        grid.GetTree()->editItem(ItemAt(grid.GetTree(), {"Width"}), 1);
        auto* spin = grid.GetTree()->findChild<QSpinBox*>();
        QVERIFY(spin != nullptr);
        QCOMPARE(spin->value(), 70);
        QCOMPARE(spin->maximum(), 10000);
        spin->selectAll();
        QTest::keyClicks(spin, "120");
        QTest::keyClick(spin, Qt::Key_Return);
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(changed[0][0].value<CPropertyRow*>(), width);
        QCOMPARE(changed[0][1].toInt(), 120);
        QCOMPARE(ItemAt(grid.GetTree(), {"Width"})->text(1), QString("120"));
        QCOMPARE(chosen.count(), 1);
    }
};

} // namespace telvora

QTEST_MAIN(telvora::PropertyGridTest)

#include "PropertyGridTest.moc"
