#include <vector>

#include <gtest/gtest.h>

#include "terrain/PatchTemplates.h"

namespace
{

const PatchTemplate* const CoarseTemplates[] = {&FullTileTemplate, &MidSouthTemplate, &MidNorthTemplate, &MidWestTemplate, &MidEastTemplate, &HalfNorthTemplate, &HalfSouthTemplate, &HalfWestTemplate, &HalfEastTemplate, &NotchSouthEastTemplate, &NotchNorthEastTemplate, &NotchNorthWestTemplate, &NotchSouthWestTemplate};

struct Box
{
    double x0, x1, y0, y1;
    bool Holds(double x, double y) const { return x > x0 && x < x1 && y > y0 && y < y1; }
    bool OnBorder(double x, double y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1 && !Holds(x, y); }
};

// Whether (x, y) lies strictly inside a triangle of the template's strip.
bool StripCovers(const PatchTemplate& t, double x, double y)
{
    for (int32_t n = 2; n < t.indexCount; ++n)
    {
        double d[3];
        for (int32_t e = 0; e < 3; ++e)
        {
            const double* a = t.positions[t.indices[n - 2 + e]];
            const double* b = t.positions[t.indices[n - 2 + (e + 1) % 3]];
            d[e] = (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
        }
        if ((d[0] > 0 && d[1] > 0 && d[2] > 0) || (d[0] < 0 && d[1] < 0 && d[2] < 0))
            return true;
    }
    return false;
}

// The rule for a unit tile from which the finer level takes the block `finer`: the template
// covers each quarter of the tile exactly when the block does not, it has a vertex wherever
// the block's border (where the finer tiles have corners) meets a covered quarter, and no
// vertex apart from those, the tile's corners and its centre.
bool FitsRule(const PatchTemplate& t, const Box& finer)
{
    for (double qx : {0.25, 0.75})
        for (double qy : {0.25, 0.75})
            if (StripCovers(t, qx - 0.19, qy + 0.07) == finer.Holds(qx, qy)) // off every template edge
                return false;
    for (double x : {0.0, 0.5, 1.0})
        for (double y : {0.0, 0.5, 1.0})
        {
            bool isVertex = false;
            for (int32_t p = 0; p < t.vertexCount; ++p)
                isVertex = isVertex || (t.positions[p][0] == x && t.positions[p][1] == y);
            bool bordersPatch = false;
            for (double qx : {x - 0.25, x + 0.25})
                for (double qy : {y - 0.25, y + 0.25})
                    bordersPatch = bordersPatch || (qx > 0 && qx < 1 && qy > 0 && qy < 1 && !finer.Holds(qx, qy));
            const bool cornerOrCentre = (x == 0.5) == (y == 0.5);
            if (isVertex ? !cornerOrCentre && !finer.OnBorder(x, y) : finer.OnBorder(x, y) && bordersPatch)
                return false;
        }
    return true;
}

} // namespace

TEST(PatchTemplatesTest, TexCoordsAreYAndOneMinusXOfPositions)
{
    std::vector<const PatchTemplate*> all(std::begin(CoarseTemplates), std::end(CoarseTemplates));
    all.push_back(&FineTileTemplate);
    for (const PatchTemplate* t : all)
    {
        for (int32_t p = 0; p < t->vertexCount; ++p)
        {
            EXPECT_EQ(t->texCoords[p][0], t->positions[p][1]);
            EXPECT_EQ(t->texCoords[p][1], 1.0 - t->positions[p][0]);
        }
        for (int32_t n = 0; n < t->indexCount; ++n)
            EXPECT_TRUE(t->indices[n] >= 0 && t->indices[n] < t->vertexCount);
    }
}

// The block follows from the levels themselves: coarse centre c holds the finer centre
// 2c + P, and the finer level reaches three of its half-size tiles either side of that.
TEST(PatchTemplatesTest, TransitionTableFollowsTheCoverageOfTheFinerLevel)
{
    for (int32_t P = 0; P < 2; ++P)
        for (int32_t Q = 0; Q < 2; ++Q)
            for (int32_t i = -3; i <= 3; ++i)
                for (int32_t j = -3; j <= 3; ++j)
                {
                    SCOPED_TRACE(testing::Message() << "offset " << i << "," << j << " P=" << P << " Q=" << Q);
                    const Box finer = {(P - 3) / 2.0 - i, (P + 4) / 2.0 - i, (Q - 3) / 2.0 - j, (Q + 4) / 2.0 - j};
                    const PatchTemplate* entry = TransitionTable[RingClass(i)][RingClass(j)][P][Q];
                    if (finer.x0 <= 0 && finer.x1 >= 1 && finer.y0 <= 0 && finer.y1 >= 1)
                    {
                        EXPECT_EQ(entry, nullptr);
                        continue;
                    }
                    std::vector<const PatchTemplate*> fitting;
                    for (const PatchTemplate* t : CoarseTemplates)
                        if (FitsRule(*t, finer))
                            fitting.push_back(t);
                    ASSERT_EQ(fitting.size(), 1u);
                    EXPECT_EQ(entry, fitting[0]);
                }
}
