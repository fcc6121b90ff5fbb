// The classes pane: its rows for given counts, the buttons and the return choice, each read off
// the filter the pane emits.

#include "panes/ClassesPane.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <vector>

namespace telvora
{

class ClassesPaneTest : public QObject
{
    Q_OBJECT

private:
    // Codes 2, 5 and 40 with 1234567, 3 and 18446744073709551615 points.
    static std::array<std::uint64_t, 256> Counts()
    {
        std::array<std::uint64_t, 256> counts{};
        counts[2] = 1234567;
        counts[5] = 3;
        counts[40] = 18446744073709551615u;
        return counts;
    }

    static std::vector<int> Hidden(const PointFilter& filter)
    {
        std::vector<int> codes;
        for (int code = 0; code < 256; ++code)
        {
            if (filter.hiddenClasses.test(static_cast<std::size_t>(code)))
            {
                codes.push_back(code);
            }
        }
        return codes;
    }

private slots:
    void rowsNameAndCountEachPresentClass()
    {
        CClassesWnd pane;
        pane.SetCounts(Counts());
        const QTreeWidget& rows = *pane.Rows();
        QCOMPARE(rows.topLevelItemCount(), 3);
        const QStringList expected[] = {
            {"Ground", "1234567"}, {"High Vegetation", "3"}, {"Class 40", "18446744073709551615"}};
        for (int i = 0; i < 3; ++i)
        {
            QCOMPARE(rows.topLevelItem(i)->text(0), expected[i][0]);
            QCOMPARE(rows.topLevelItem(i)->text(1), expected[i][1]);
            QCOMPARE(rows.topLevelItem(i)->checkState(0), Qt::Checked);
        }
        pane.Clear();
        QCOMPARE(rows.topLevelItemCount(), 0);
    }

    void buttonsChecksAndReturnsGiveTheEmittedFilter()
    {
        CClassesWnd pane;
        pane.SetCounts(Counts());
        std::vector<PointFilter> emitted;
        connect(&pane, &CClassesWnd::filterChanged, this,
                [&](const PointFilter& filter) { emitted.push_back(filter); });
        QTreeWidget& rows = *pane.Rows();

        pane.HideAllButton()->click();
        QCOMPARE(Hidden(emitted.back()), (std::vector<int>{2, 5, 40}));
        QCOMPARE(rows.topLevelItem(1)->checkState(0), Qt::Unchecked);
        pane.ShowAllButton()->click();
        QCOMPARE(Hidden(emitted.back()), std::vector<int>{});
        rows.setCurrentItem(rows.topLevelItem(1));
        pane.OnlyThisButton()->click();
        QCOMPARE(Hidden(emitted.back()), (std::vector<int>{2, 40}));
        // The user's own check box.
        rows.topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        QCOMPARE(Hidden(emitted.back()), (std::vector<int>{2, 5, 40}));
        rows.topLevelItem(0)->setCheckState(0, Qt::Checked);
        QCOMPARE(Hidden(emitted.back()), (std::vector<int>{5, 40}));
        QCOMPARE(emitted.size(), std::size_t{5});

        // New counts keep the state of codes still there and forget the others.
        std::array<std::uint64_t, 256> next{};
        next[5] = 1;
        next[7] = 1;
        pane.SetCounts(next);
        QCOMPARE(Hidden(pane.Filter()), std::vector<int>{5});
        QCOMPARE(rows.topLevelItem(0)->checkState(0), Qt::Unchecked);
        QCOMPARE(rows.topLevelItem(1)->checkState(0), Qt::Checked);

        const std::pair<const char*, ReturnFilter> choices[] = {
            {"Intermediate returns", ReturnFilter::Intermediate},
            {"First returns", ReturnFilter::First},
            {"Last returns", ReturnFilter::Last},
            {"Single returns", ReturnFilter::Single},
            {"All returns", ReturnFilter::All}};
        QComboBox& returns = *pane.Returns();
        for (const auto& [text, expected] : choices)
        {
            const int index = returns.findText(text);
            QVERIFY2(index >= 0, text);
            returns.setCurrentIndex(index);
            emit returns.activated(index);
            QVERIFY2(emitted.back().returns == expected, text);
            QCOMPARE(Hidden(emitted.back()), std::vector<int>{5});
        }
    }
};

} // namespace telvora

QTEST_MAIN(telvora::ClassesPaneTest)
#include "ClassesPaneTest.moc"
