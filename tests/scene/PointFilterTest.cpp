#include "scene/PointFilter.h"

#include <gtest/gtest.h>

namespace telvora
{
namespace
{

// Return number, number of returns, its kind, and whether each filter (all, first, last, single,
// intermediate) shows it.
TEST(PointFilter, ReturnsArePlacedAndFilteredByTheirNumberAndCount)
{
    struct Case
    {
        unsigned number, count;
        ReturnKind kind;
        bool all, first, last, single, intermediate;
    };
    const Case cases[] = {
        {1, 1, ReturnKind::Single, true, true, true, true, false},
        {1, 3, ReturnKind::First, true, true, false, false, false},
        {2, 3, ReturnKind::Intermediate, true, false, false, false, true},
        {3, 3, ReturnKind::Last, true, false, true, false, false},
        {15, 15, ReturnKind::Last, true, false, true, false, false},
        // Records that cannot be placed count as single returns.
        {0, 2, ReturnKind::Single, true, true, true, true, false},
        {4, 3, ReturnKind::Single, true, true, true, true, false},
        {1, 0, ReturnKind::Single, true, true, true, true, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.number << " of " << c.count);
        EXPECT_EQ(ReturnKindOf(c.number, c.count), c.kind);
        EXPECT_EQ(ReturnShown(ReturnFilter::All, c.kind), c.all);
        EXPECT_EQ(ReturnShown(ReturnFilter::First, c.kind), c.first);
        EXPECT_EQ(ReturnShown(ReturnFilter::Last, c.kind), c.last);
        EXPECT_EQ(ReturnShown(ReturnFilter::Single, c.kind), c.single);
        EXPECT_EQ(ReturnShown(ReturnFilter::Intermediate, c.kind), c.intermediate);
    }
}

TEST(PointFilter, FlagBitsDoNotSplitAClassBelowFormatSix)
{
    // 0xA2: class 2 with the synthetic and withheld bits.
    EXPECT_EQ(ClassCodeOf(0xA2, 1), 2);
    EXPECT_EQ(ClassCodeOf(0xA2, 5), 2);
    EXPECT_EQ(ClassCodeOf(0xA2, 6), 0xA2);

    PointFilter filter;
    EXPECT_TRUE(filter.ShowsAll());
    filter.hiddenClasses.set(2);
    filter.returns = ReturnFilter::Last;
    EXPECT_FALSE(filter.Shows(MakePointKey(2, ReturnKind::Last)));
    EXPECT_FALSE(filter.Shows(MakePointKey(5, ReturnKind::First)));
    EXPECT_TRUE(filter.Shows(MakePointKey(5, ReturnKind::Single)));
}

} // namespace
} // namespace telvora
