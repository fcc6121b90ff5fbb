#include "telvora-lasgen/Landscape.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "telvora-lasgen/Random.h"

namespace telvora::lasgen
{

namespace
{

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kCellSize = 8.0;
constexpr double kRoadHalfWidth = 3.0;
// Houses keep this far from the block edges, clear of the roads along them and their verges.
constexpr double kVillageInset = 7.0;
constexpr double kPlotSize = 27.0;
constexpr double kLaneOffset = 1.6;
// Banks rise from the water's edge (normalised distance 1) to the open terrain (2), gently
// enough even where the lake lies on a slope.
constexpr double kBankEnd = 2.0;

enum Salt : std::uint64_t
{
    kTerrainSalt = 11,
    kLayoutSalt,
    kBlockSalt,
    kObjectSalt,
    kRoadSalt,
    kCarSalt,
    kFieldSalt
};

struct Material
{
    Rgb8 colour;
    float reflectance;
};

constexpr Material kCrops[] = {
    {{96, 132, 62}, 1500.0f},  // pasture
    {{196, 176, 98}, 1750.0f}, // ripe cereal
    {{122, 96, 70}, 1050.0f},  // ploughed soil
    {{70, 120, 50}, 1350.0f},  // maize
    {{206, 196, 70}, 1650.0f}, // rapeseed in flower
};
constexpr std::uint64_t kCropCount = sizeof kCrops / sizeof kCrops[0];
constexpr Material kLawn{{88, 126, 60}, 1450.0f};
constexpr Material kForestFloor{{74, 80, 48}, 1100.0f};
constexpr Material kRoad{{126, 126, 130}, 1900.0f};
constexpr Material kWater{{34, 54, 62}, 60.0f};

constexpr Material kPitchedRoofs[] = {
    {{158, 70, 52}, 1850.0f},   // clay tiles
    {{72, 64, 66}, 1550.0f},    // slate
    {{150, 156, 162}, 2800.0f}, // sheet metal
};
constexpr Material kFlatRoof{{118, 116, 108}, 2150.0f}; // gravel or membrane

constexpr Rgb8 kCarColours[] = {
    {236, 236, 234}, {24, 24, 28}, {168, 172, 178}, {92, 94, 98}, {170, 28, 30}, {30, 62, 140},
};

double SmoothStep(double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

std::uint8_t Channel(Rng& rng, int lo, int hi)
{
    return static_cast<std::uint8_t>(
        lo + static_cast<int>(rng.Below(static_cast<std::uint32_t>(hi - lo + 1))));
}

Rgb8 LeafColour(Rng& rng, bool conifer)
{
    if (conifer)
    {
        return {Channel(rng, 32, 48), Channel(rng, 64, 86), Channel(rng, 40, 56)};
    }
    return {Channel(rng, 55, 82), Channel(rng, 94, 126), Channel(rng, 36, 56)};
}

} // namespace

double Landscape::Box::Top(double u, double v) const
{
    switch (shape)
    {
    case Shape::Flat:
        return base + wall;
    case Shape::Gable:
        return base + wall + ridge * (1.0 - std::fabs(v) / hy);
    case Shape::Hip:
        return base + wall + ridge * std::min(1.0 - std::fabs(v) / hy, (hx - std::fabs(u)) / hy);
    case Shape::Vehicle:
        // Bonnet and boot are lower than the cabin.
        return std::fabs(u) < 0.45 * hx ? base + wall : base + 0.62 * wall;
    }
    return base + wall;
}

Landscape::Landscape(std::uint64_t seedValue, double width, double length, double marginX,
                     double marginY, LandCover coverValue)
    : seed(seedValue)
    , landCover(coverValue)
{
    // Blocks the size of a hamlet or a wood; the smallest survey still spans two by two of them.
    blockSize = std::clamp(std::max(width, length) / 2.0, 80.0, 300.0);

    Rng rng(HashOf(seed, 0, 0, kTerrainSalt));
    baseElevation = rng.Uniform(120.0, 420.0);
    // Long swells carry the relief, shorter ones roughen it; a few metres over a hundred.
    constexpr double kWavelengths[] = {1150.0, 610.0, 330.0, 170.0, 85.0};
    constexpr double kAmplitudes[] = {11.0, 5.5, 2.4, 0.9, 0.3};
    for (std::size_t k = 0; k < waves.size(); ++k)
    {
        const double direction = rng.Uniform(0.0, kTwoPi);
        const double number = kTwoPi / kWavelengths[k];
        waves[k] = {number * std::cos(direction), number * std::sin(direction),
                    rng.Uniform(0.0, kTwoPi), kAmplitudes[k] * rng.Uniform(0.7, 1.3)};
    }

    const double x0 = -marginX;
    const double y0 = -marginY;
    const double x1 = width + marginX;
    const double y1 = length + marginY;
    LayOutBlocks(x0, y0, x1, y1);

    // Lakes first: everything else stands on ground that their banks may have reshaped.
    for (std::int64_t j = firstBlockY; j < firstBlockY + blocksY; ++j)
    {
        for (std::int64_t i = firstBlockX; i < firstBlockX + blocksX; ++i)
        {
            if (UseOf(i, j) == LandUse::Lake)
            {
                PlaceLake(i, j);
            }
        }
    }
    for (std::int64_t j = firstBlockY; j < firstBlockY + blocksY; ++j)
    {
        for (std::int64_t i = firstBlockX; i < firstBlockX + blocksX; ++i)
        {
            switch (UseOf(i, j))
            {
            case LandUse::Village:
                PlaceVillage(i, j);
                break;
            case LandUse::Forest:
                PlaceForest(i, j);
                break;
            case LandUse::Meadow:
                PlaceMeadow(i, j);
                break;
            case LandUse::Lake:
                break;
            }
        }
    }
    PlaceRoadsAndCars();
    BuildCells(x0, y0, x1, y1);
}

double Landscape::Terrain(double x, double y) const
{
    double z = baseElevation;
    for (const Wave& wave : waves)
    {
        z += wave.amplitude * std::sin(wave.kx * x + wave.ky * y + wave.phase);
    }
    return z;
}

const Landscape::Block* Landscape::BlockAt(double x, double y, double& fx, double& fy) const
{
    const double i = std::floor(x / blockSize);
    const double j = std::floor(y / blockSize);
    fx = x - i * blockSize;
    fy = y - j * blockSize;
    const auto bi = static_cast<std::int64_t>(i) - firstBlockX;
    const auto bj = static_cast<std::int64_t>(j) - firstBlockY;
    if (bi < 0 || bj < 0 || bi >= blocksX || bj >= blocksY)
    {
        return nullptr;
    }
    return &blocks[static_cast<std::size_t>(bj * blocksX + bi)];
}

Landscape::LandUse Landscape::UseOf(std::int64_t i, std::int64_t j) const
{
    const std::int64_t bi = i - firstBlockX;
    const std::int64_t bj = j - firstBlockY;
    if (bi < 0 || bj < 0 || bi >= blocksX || bj >= blocksY)
    {
        return LandUse::Meadow;
    }
    return blocks[static_cast<std::size_t>(bj * blocksX + bi)].use;
}

double Landscape::LakeDistance(const Lake& lake, double x, double y) const
{
    const double dx = x - lake.cx;
    const double dy = y - lake.cy;
    const double u = (dx * lake.cosA + dy * lake.sinA) / lake.a;
    const double v = (-dx * lake.sinA + dy * lake.cosA) / lake.b;
    return std::sqrt(u * u + v * v);
}

double Landscape::GroundIn(const Block* block, double x, double y, double terrain,
                           bool& water) const
{
    water = false;
    if (block == nullptr || block->lake < 0)
    {
        return terrain;
    }
    const Lake& lake = lakes[static_cast<std::size_t>(block->lake)];
    const double d = LakeDistance(lake, x, y);
    if (d < 1.0)
    {
        water = true;
        return lake.level;
    }
    const double bank = lake.level + 0.35;
    return bank + (terrain - bank) * SmoothStep((d - 1.0) / (kBankEnd - 1.0));
}

double Landscape::Ground(double x, double y) const
{
    double fx = 0.0;
    double fy = 0.0;
    const Block* block = BlockAt(x, y, fx, fy);
    bool water = false;
    return GroundIn(block, x, y, Terrain(x, y), water);
}

bool Landscape::OnRoad(const Block* block, double fx, double fy) const
{
    if (block == nullptr)
    {
        return false;
    }
    const auto index = static_cast<std::int64_t>(block - blocks.data());
    const std::int64_t bi = index % blocksX;
    const std::int64_t bj = index / blocksX;
    const auto northward = [&](std::int64_t edge)
    { return roadsNorthward[static_cast<std::size_t>(bj * (blocksX + 1) + edge)] != 0; };
    const auto eastward = [&](std::int64_t edge)
    { return roadsEastward[static_cast<std::size_t>(edge * blocksX + bi)] != 0; };
    return (fx < kRoadHalfWidth && northward(bi)) ||
           (blockSize - fx < kRoadHalfWidth && northward(bi + 1)) ||
           (fy < kRoadHalfWidth && eastward(bj)) ||
           (blockSize - fy < kRoadHalfWidth && eastward(bj + 1));
}

Spot Landscape::Look(double x, double y) const
{
    Spot spot;
    double fx = 0.0;
    double fy = 0.0;
    const Block* block = BlockAt(x, y, fx, fy);
    bool water = false;
    spot.ground = GroundIn(block, x, y, Terrain(x, y), water);
    spot.surface = spot.ground;

    Material material = kCrops[0];
    if (water)
    {
        spot.cover = Cover::Water;
        material = kWater;
    }
    else if (OnRoad(block, fx, fy))
    {
        spot.cover = Cover::Road;
        material = kRoad;
    }
    else if (block != nullptr)
    {
        switch (block->use)
        {
        case LandUse::Meadow:
        {
            const double across = block->fieldsAlongX ? fx : fy;
            const auto stripe = static_cast<std::int64_t>(across / block->fieldWidth);
            material = kCrops[HashOf(block->key, stripe, 0, kFieldSalt) % kCropCount];
            break;
        }
        case LandUse::Forest:
            material = kForestFloor;
            break;
        case LandUse::Village:
        case LandUse::Lake:
            material = kLawn;
            break;
        }
    }
    spot.reflectance = material.reflectance;
    spot.colour = material.colour;

    const double cx = std::floor((x - cellX0) / kCellSize);
    const double cy = std::floor((y - cellY0) / kCellSize);
    if (cx < 0.0 || cy < 0.0 || cx >= static_cast<double>(cellsX) ||
        cy >= static_cast<double>(cellsY))
    {
        return spot;
    }
    const auto cell = static_cast<std::size_t>(static_cast<std::int64_t>(cy) * cellsX +
                                               static_cast<std::int64_t>(cx));

    for (std::uint32_t k = boxStart[cell]; k < boxStart[cell + 1]; ++k)
    {
        const Box& box = boxes[boxItems[k]];
        const double dx = x - box.cx;
        const double dy = y - box.cy;
        const double u = dx * box.cosA + dy * box.sinA;
        const double v = -dx * box.sinA + dy * box.cosA;
        if (std::fabs(u) >= box.hx || std::fabs(v) >= box.hy)
        {
            continue;
        }
        const double top = box.Top(u, v);
        if (top <= spot.surface)
        {
            continue;
        }
        spot.surface = top;
        spot.cover = box.cover;
        spot.reflectance = box.reflectance;
        spot.colour = box.colour;
        spot.eaveDistance = 1e9;
        if (box.cover == Cover::Roof)
        {
            const double du = box.hx - std::fabs(u);
            const double dv = box.hy - std::fabs(v);
            if (du < dv)
            {
                const double sign = u < 0.0 ? -1.0 : 1.0;
                spot.eaveDistance = du;
                spot.eaveNormalX = sign * box.cosA;
                spot.eaveNormalY = sign * box.sinA;
            }
            else
            {
                const double sign = v < 0.0 ? -1.0 : 1.0;
                spot.eaveDistance = dv;
                spot.eaveNormalX = -sign * box.sinA;
                spot.eaveNormalY = sign * box.cosA;
            }
        }
    }

    const Tree* crown = nullptr;
    for (std::uint32_t k = treeStart[cell]; k < treeStart[cell + 1]; ++k)
    {
        const Tree& tree = trees[treeItems[k]];
        const double dx = x - tree.x;
        const double dy = y - tree.y;
        const double r2 = static_cast<double>(tree.radius) * tree.radius;
        const double d2 = dx * dx + dy * dy;
        if (d2 >= r2)
        {
            continue;
        }
        const double rim = std::sqrt(d2) / tree.radius;
        double top = 0.0;
        double bottom = 0.0;
        if (tree.conifer)
        {
            top = tree.ground + tree.height - (tree.height - tree.base) * rim;
            bottom = tree.ground + tree.base;
        }
        else
        {
            const double centre = tree.ground + 0.5 * (tree.height + tree.base);
            const double half = 0.5 * (tree.height - tree.base) * std::sqrt(1.0 - rim * rim);
            top = centre + half;
            bottom = centre - half;
        }
        if (top > spot.surface && (crown == nullptr || top > spot.crownTop))
        {
            crown = &tree;
            spot.canopy = true;
            spot.crownTop = top;
            spot.crownBase = bottom;
            spot.crownCover = 1.0 - rim;
        }
    }
    if (crown != nullptr)
    {
        spot.colour = crown->colour;
    }
    return spot;
}

void Landscape::LayOutBlocks(double x0, double y0, double x1, double y1)
{
    firstBlockX = static_cast<std::int64_t>(std::floor(x0 / blockSize));
    firstBlockY = static_cast<std::int64_t>(std::floor(y0 / blockSize));
    blocksX = static_cast<std::int64_t>(std::floor(x1 / blockSize)) - firstBlockX + 1;
    blocksY = static_cast<std::int64_t>(std::floor(y1 / blockSize)) - firstBlockY + 1;

    LandUse mix[] = {LandUse::Meadow, LandUse::Forest, LandUse::Village, LandUse::Lake};
    Rng layout(HashOf(seed, 0, 0, kLayoutSalt));
    for (std::uint32_t k = 3; k > 0; --k)
    {
        std::swap(mix[k], mix[layout.Below(k + 1)]);
    }

    blocks.resize(static_cast<std::size_t>(blocksX * blocksY));
    for (std::int64_t bj = 0; bj < blocksY; ++bj)
    {
        for (std::int64_t bi = 0; bi < blocksX; ++bi)
        {
            const std::int64_t i = firstBlockX + bi;
            const std::int64_t j = firstBlockY + bj;
            Block& block = blocks[static_cast<std::size_t>(bj * blocksX + bi)];
            block.key = HashOf(seed, i, j, kBlockSalt);
            Rng rng(block.key);
            const double draw = rng.Uniform();
            if (landCover != LandCover::Mixed)
            {
                block.use = landCover == LandCover::Forest ? LandUse::Forest : LandUse::Meadow;
            }
            else if (i >= 0 && i <= 1 && j >= 0 && j <= 1)
            {
                block.use = mix[j * 2 + i];
            }
            else
            {
                block.use = draw < 0.36   ? LandUse::Meadow
                            : draw < 0.70 ? LandUse::Forest
                            : draw < 0.90 ? LandUse::Village
                                          : LandUse::Lake;
            }
            block.fieldsAlongX = rng.Chance(0.5);
            block.fieldWidth = rng.Uniform(18.0, 45.0);
        }
    }
}

void Landscape::AddTree(double x, double y, double height, double radius, double base, bool conifer,
                        Rgb8 colour)
{
    trees.push_back({static_cast<float>(x), static_cast<float>(y), static_cast<float>(radius),
                     static_cast<float>(Ground(x, y)), static_cast<float>(height),
                     static_cast<float>(base), conifer, colour});
}

void Landscape::PlaceLake(std::int64_t i, std::int64_t j)
{
    Rng rng(HashOf(seed, i, j, kObjectSalt));
    const double b = blockSize;
    Lake lake{};
    // Small enough that the banks stay inside the block, clear of the roads along its edges.
    lake.cx = (static_cast<double>(i) + 0.5 + rng.Uniform(-0.015, 0.015)) * b;
    lake.cy = (static_cast<double>(j) + 0.5 + rng.Uniform(-0.015, 0.015)) * b;
    lake.a = rng.Uniform(0.16, 0.24) * b;
    lake.b = rng.Uniform(0.16, 0.24) * b;
    const double angle = rng.Uniform(0.0, std::numbers::pi);
    lake.cosA = std::cos(angle);
    lake.sinA = std::sin(angle);
    // Level with the lowest point of the shore, so that the water never stands above its banks.
    double lowest = 1e300;
    for (int k = 0; k < 48; ++k)
    {
        const double phi = kTwoPi * k / 48.0;
        const double u = lake.a * std::cos(phi);
        const double v = lake.b * std::sin(phi);
        lowest = std::min(lowest, Terrain(lake.cx + u * lake.cosA - v * lake.sinA,
                                          lake.cy + u * lake.sinA + v * lake.cosA));
    }
    lake.level = lowest - 0.4;
    lakes.push_back(lake);
    blocks[static_cast<std::size_t>((j - firstBlockY) * blocksX + (i - firstBlockX))].lake =
        static_cast<std::int32_t>(lakes.size() - 1);

    // Trees along the shore.
    const double perimeter = kTwoPi * std::sqrt(0.5 * (lake.a * lake.a + lake.b * lake.b));
    const int places = static_cast<int>(perimeter / 5.0);
    for (int k = 0; k < places; ++k)
    {
        if (!rng.Chance(0.55))
        {
            continue;
        }
        const double phi = rng.Uniform(0.0, kTwoPi);
        const double d = rng.Uniform(1.12, 1.4);
        const double u = lake.a * d * std::cos(phi);
        const double v = lake.b * d * std::sin(phi);
        const double height = rng.Uniform(5.0, 16.0);
        AddTree(lake.cx + u * lake.cosA - v * lake.sinA, lake.cy + u * lake.sinA + v * lake.cosA,
                height, std::clamp(0.25 * height * rng.Uniform(0.8, 1.2), 2.0, 5.0),
                height * rng.Uniform(0.25, 0.4), false, LeafColour(rng, false));
    }
}

void Landscape::PlaceVillage(std::int64_t i, std::int64_t j)
{
    Rng rng(HashOf(seed, i, j, kObjectSalt));
    const double ox = static_cast<double>(i) * blockSize;
    const double oy = static_cast<double>(j) * blockSize;
    const double inner = blockSize - 2.0 * kVillageInset;
    const int plots = std::max(1, static_cast<int>(inner / kPlotSize));
    const double plot = inner / plots;
    const double streetAngle = rng.Uniform(-0.05, 0.05);

    for (int a = 0; a < plots; ++a)
    {
        for (int c = 0; c < plots; ++c)
        {
            const double px = ox + kVillageInset + (a + 0.5) * plot;
            const double py = oy + kVillageInset + (c + 0.5) * plot;
            const bool built = rng.Chance(0.88);
            Box house{};
            if (built)
            {
                const double hx = rng.Uniform(4.5, 7.5);
                const double hy = rng.Uniform(3.8, std::min(6.0, hx));
                const double angle = streetAngle +
                                     (rng.Chance(0.5) ? 0.0 : 0.5 * std::numbers::pi) +
                                     rng.Uniform(-0.06, 0.06);
                const double room = std::max(0.0, 0.5 * plot - 2.5 - std::hypot(hx, hy));
                const double cx = px + rng.Uniform(-room, room);
                const double cy = py + rng.Uniform(-room, room);
                const double style = rng.Uniform();
                const Shape shape = style < 0.5   ? Shape::Gable
                                    : style < 0.7 ? Shape::Hip
                                                  : Shape::Flat;
                const bool flat = shape == Shape::Flat;
                const Material roof = flat ? kFlatRoof : kPitchedRoofs[rng.Below(3)];
                house.cx = static_cast<float>(cx);
                house.cy = static_cast<float>(cy);
                house.cosA = static_cast<float>(std::cos(angle));
                house.sinA = static_cast<float>(std::sin(angle));
                house.hx = static_cast<float>(hx);
                house.hy = static_cast<float>(hy);
                // The floor is level with the highest corner; downhill, the walls show more.
                double floor = -1e300;
                for (const double su : {-1.0, 1.0})
                {
                    for (const double sv : {-1.0, 1.0})
                    {
                        floor = std::max(floor,
                                         Ground(cx + su * hx * house.cosA - sv * hy * house.sinA,
                                                cy + su * hx * house.sinA + sv * hy * house.cosA));
                    }
                }
                house.base = static_cast<float>(floor);
                house.wall =
                    static_cast<float>(flat ? rng.Uniform(3.0, 9.0) : rng.Uniform(2.8, 6.2));
                house.ridge = static_cast<float>(flat ? 0.0 : hy * rng.Uniform(0.45, 0.85));
                house.shape = shape;
                house.cover = Cover::Roof;
                house.reflectance = roof.reflectance;
                house.colour = roof.colour;
                boxes.push_back(house);
            }

            // Garden trees and shrubs, clear of the house.
            const std::uint32_t plants = rng.Below(4) + rng.Below(5);
            for (std::uint32_t k = 0; k < plants; ++k)
            {
                const bool shrub = rng.Chance(0.55);
                const double height = shrub ? rng.Uniform(0.8, 2.6) : rng.Uniform(4.0, 14.0);
                const double radius =
                    shrub ? rng.Uniform(0.6, 1.5)
                          : std::clamp(0.25 * height * rng.Uniform(0.8, 1.2), 1.2, 4.5);
                const double reach = 0.5 * plot - 2.0;
                for (int attempt = 0; attempt < 4; ++attempt)
                {
                    const double tx = px + rng.Uniform(-reach, reach);
                    const double ty = py + rng.Uniform(-reach, reach);
                    if (built)
                    {
                        const double dx = tx - house.cx;
                        const double dy = ty - house.cy;
                        const double u = dx * house.cosA + dy * house.sinA;
                        const double v = -dx * house.sinA + dy * house.cosA;
                        if (std::fabs(u) < house.hx + radius + 0.5 &&
                            std::fabs(v) < house.hy + radius + 0.5)
                        {
                            continue;
                        }
                    }
                    AddTree(tx, ty, height, radius,
                            height * (shrub ? 0.1 : rng.Uniform(0.25, 0.45)), false,
                            LeafColour(rng, !shrub && rng.Chance(0.2)));
                    break;
                }
            }
        }
    }
}

void Landscape::PlaceForest(std::int64_t i, std::int64_t j)
{
    Rng rng(HashOf(seed, i, j, kObjectSalt));
    const double ox = static_cast<double>(i) * blockSize;
    const double oy = static_cast<double>(j) * blockSize;
    constexpr double kSpacing = 4.6;
    const int rows = static_cast<int>(blockSize / kSpacing);
    const double conifers = rng.Uniform(0.1, 0.9);
    const double phaseX = rng.Uniform(0.0, kTwoPi);
    const double phaseY = rng.Uniform(0.0, kTwoPi);

    for (int gy = 0; gy < rows; ++gy)
    {
        for (int gx = 0; gx < rows; ++gx)
        {
            const double x = ox + (gx + 0.5 + rng.Uniform(-0.35, 0.35)) * kSpacing;
            const double y = oy + (gy + 0.5 + rng.Uniform(-0.35, 0.35)) * kSpacing;
            const double edge = std::min({x - ox, ox + blockSize - x, y - oy, oy + blockSize - y});
            // A ragged forest edge rather than a ruled one.
            const double ragged =
                4.5 + 4.0 * (0.5 + 0.5 * std::sin(x / 11.0 + phaseX) * std::sin(y / 13.0 + phaseY));
            if (edge < ragged || rng.Chance(0.07))
            {
                continue;
            }
            const bool conifer = rng.Chance(conifers);
            const double height = 11.0 + 16.0 * std::sqrt(rng.Uniform());
            if (conifer)
            {
                AddTree(x, y, height, std::clamp(height * rng.Uniform(0.11, 0.16), 1.2, 3.8),
                        height * rng.Uniform(0.12, 0.3), true, LeafColour(rng, true));
            }
            else
            {
                AddTree(x, y, height, std::clamp(height * rng.Uniform(0.16, 0.24), 1.8, 5.5),
                        height * rng.Uniform(0.35, 0.55), false, LeafColour(rng, false));
            }
            if (rng.Chance(0.22))
            {
                const double shrub = rng.Uniform(1.0, 4.0);
                AddTree(x + rng.Uniform(-2.0, 2.0), y + rng.Uniform(-2.0, 2.0), shrub,
                        rng.Uniform(0.8, 1.8), 0.1 * shrub, false, LeafColour(rng, false));
            }
        }
    }
}

void Landscape::PlaceMeadow(std::int64_t i, std::int64_t j)
{
    Rng rng(HashOf(seed, i, j, kObjectSalt));
    const double ox = static_cast<double>(i) * blockSize;
    const double oy = static_cast<double>(j) * blockSize;

    // Solitary trees in the fields.
    const int solitary = static_cast<int>(blockSize * blockSize / 1600.0 * rng.Uniform(0.5, 1.5));
    for (int k = 0; k < solitary; ++k)
    {
        const double height = rng.Uniform(6.0, 18.0);
        AddTree(ox + rng.Uniform(6.0, blockSize - 6.0), oy + rng.Uniform(6.0, blockSize - 6.0),
                height, std::clamp(0.22 * height * rng.Uniform(0.8, 1.2), 2.0, 6.0),
                height * rng.Uniform(0.3, 0.45), false, LeafColour(rng, false));
    }

    // Hedgerows along some of the block's sides.
    for (int side = 0; side < 4; ++side)
    {
        if (!rng.Chance(0.35))
        {
            continue;
        }
        for (double s = 5.0; s < blockSize - 5.0; s += 2.3)
        {
            if (!rng.Chance(0.82))
            {
                continue;
            }
            const double inset = 5.5 + rng.Uniform(-0.5, 0.5);
            const double x = side == 0 ? ox + inset : side == 1 ? ox + blockSize - inset : ox + s;
            const double y = side == 2 ? oy + inset : side == 3 ? oy + blockSize - inset : oy + s;
            if (rng.Chance(0.25))
            {
                const double height = rng.Uniform(5.0, 9.0);
                AddTree(x, y, height, rng.Uniform(2.0, 3.0), 0.3 * height, false,
                        LeafColour(rng, false));
            }
            else
            {
                const double height = rng.Uniform(1.5, 4.0);
                AddTree(x, y, height, rng.Uniform(1.0, 1.8), 0.15 * height, false,
                        LeafColour(rng, false));
            }
        }
    }
}

void Landscape::PlaceRoadsAndCars()
{
    const auto lineHasRoad = [&](std::int64_t line, std::uint64_t direction)
    { return UnitOf(HashOf(seed, line, static_cast<std::int64_t>(direction), kRoadSalt)) < 0.3; };

    roadsNorthward.assign(static_cast<std::size_t>((blocksX + 1) * blocksY), 0);
    roadsEastward.assign(static_cast<std::size_t>(blocksX * (blocksY + 1)), 0);
    for (std::int64_t bj = 0; bj < blocksY; ++bj)
    {
        for (std::int64_t edge = 0; edge <= blocksX; ++edge)
        {
            const std::int64_t i = firstBlockX + edge;
            const std::int64_t j = firstBlockY + bj;
            roadsNorthward[static_cast<std::size_t>(bj * (blocksX + 1) + edge)] =
                lineHasRoad(i, 0) || UseOf(i - 1, j) == LandUse::Village ||
                UseOf(i, j) == LandUse::Village;
        }
    }
    for (std::int64_t edge = 0; edge <= blocksY; ++edge)
    {
        for (std::int64_t bi = 0; bi < blocksX; ++bi)
        {
            const std::int64_t i = firstBlockX + bi;
            const std::int64_t j = firstBlockY + edge;
            roadsEastward[static_cast<std::size_t>(edge * blocksX + bi)] =
                lineHasRoad(j, 1) || UseOf(i, j - 1) == LandUse::Village ||
                UseOf(i, j) == LandUse::Village;
        }
    }

    // Cars parked or driving in both lanes, clear of the crossings at the block corners.
    const auto park = [&](Rng& rng, double along0, double lineCoord, bool northward)
    {
        for (const double lane : {-kLaneOffset, kLaneOffset})
        {
            for (double s = rng.Uniform(6.0, 30.0); s < blockSize - 6.0;
                 s += rng.Uniform(10.0, 55.0))
            {
                if (!rng.Chance(0.6))
                {
                    continue;
                }
                const double angle =
                    (northward ? 0.5 * std::numbers::pi : 0.0) + rng.Uniform(-0.03, 0.03);
                const double cx = northward ? lineCoord + lane : along0 + s;
                const double cy = northward ? along0 + s : lineCoord + lane;
                const Rgb8 colour = kCarColours[rng.Below(6)];
                const double luma = 0.3 * colour.r + 0.59 * colour.g + 0.11 * colour.b;
                Box car{};
                car.cx = static_cast<float>(cx);
                car.cy = static_cast<float>(cy);
                car.cosA = static_cast<float>(std::cos(angle));
                car.sinA = static_cast<float>(std::sin(angle));
                car.hx = static_cast<float>(rng.Uniform(2.1, 2.5));
                car.hy = static_cast<float>(rng.Uniform(0.85, 0.95));
                car.base = static_cast<float>(Ground(cx, cy));
                car.wall = static_cast<float>(rng.Uniform(1.4, 1.9));
                car.shape = Shape::Vehicle;
                car.cover = Cover::Vehicle;
                car.reflectance = static_cast<float>(500.0 + 9.0 * luma);
                car.colour = colour;
                boxes.push_back(car);
            }
        }
    };
    for (std::int64_t bj = 0; bj < blocksY; ++bj)
    {
        for (std::int64_t edge = 0; edge <= blocksX; ++edge)
        {
            if (roadsNorthward[static_cast<std::size_t>(bj * (blocksX + 1) + edge)] != 0)
            {
                const std::int64_t i = firstBlockX + edge;
                const std::int64_t j = firstBlockY + bj;
                Rng rng(HashOf(seed, i, j, kCarSalt));
                park(rng, static_cast<double>(j) * blockSize, static_cast<double>(i) * blockSize,
                     true);
            }
        }
    }
    for (std::int64_t edge = 0; edge <= blocksY; ++edge)
    {
        for (std::int64_t bi = 0; bi < blocksX; ++bi)
        {
            if (roadsEastward[static_cast<std::size_t>(edge * blocksX + bi)] != 0)
            {
                const std::int64_t i = firstBlockX + bi;
                const std::int64_t j = firstBlockY + edge;
                Rng rng(HashOf(seed, i, j, kCarSalt + 1));
                park(rng, static_cast<double>(i) * blockSize, static_cast<double>(j) * blockSize,
                     false);
            }
        }
    }
}

void Landscape::BuildCells(double x0, double y0, double x1, double y1)
{
    cellX0 = x0;
    cellY0 = y0;
    cellsX = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil((x1 - x0) / kCellSize)));
    cellsY = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil((y1 - y0) / kCellSize)));
    const auto cellCount = static_cast<std::size_t>(cellsX * cellsY);

    // Calls visit(cell) for every cell that the square of half size (ex, ey) around (x, y) touches.
    const auto forCells = [&](double x, double y, double ex, double ey, auto&& visit)
    {
        const auto clampX = [&](double v)
        {
            return std::clamp<std::int64_t>(
                static_cast<std::int64_t>(std::floor((v - cellX0) / kCellSize)), 0, cellsX - 1);
        };
        const auto clampY = [&](double v)
        {
            return std::clamp<std::int64_t>(
                static_cast<std::int64_t>(std::floor((v - cellY0) / kCellSize)), 0, cellsY - 1);
        };
        if (x + ex < cellX0 || y + ey < cellY0 ||
            x - ex > cellX0 + static_cast<double>(cellsX) * kCellSize ||
            y - ey > cellY0 + static_cast<double>(cellsY) * kCellSize)
        {
            return;
        }
        for (std::int64_t cy = clampY(y - ey); cy <= clampY(y + ey); ++cy)
        {
            for (std::int64_t cx = clampX(x - ex); cx <= clampX(x + ex); ++cx)
            {
                visit(static_cast<std::size_t>(cy * cellsX + cx));
            }
        }
    };

    // Two passes each: count per cell, then fill the lists in place.
    const auto build = [&](auto&& bounds, std::size_t objectCount,
                           std::vector<std::uint32_t>& start, std::vector<std::uint32_t>& items)
    {
        start.assign(cellCount + 1, 0);
        for (std::size_t k = 0; k < objectCount; ++k)
        {
            double x, y, ex, ey;
            bounds(k, x, y, ex, ey);
            forCells(x, y, ex, ey, [&](std::size_t cell) { ++start[cell + 1]; });
        }
        for (std::size_t cell = 0; cell < cellCount; ++cell)
        {
            start[cell + 1] += start[cell];
        }
        items.assign(start[cellCount], 0);
        std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
        for (std::size_t k = 0; k < objectCount; ++k)
        {
            double x, y, ex, ey;
            bounds(k, x, y, ex, ey);
            forCells(x, y, ex, ey,
                     [&](std::size_t cell)
                     { items[next[cell]++] = static_cast<std::uint32_t>(k); });
        }
    };

    build(
        [&](std::size_t k, double& x, double& y, double& ex, double& ey)
        {
            x = trees[k].x;
            y = trees[k].y;
            ex = ey = trees[k].radius;
        },
        trees.size(), treeStart, treeItems);
    build(
        [&](std::size_t k, double& x, double& y, double& ex, double& ey)
        {
            const Box& box = boxes[k];
            x = box.cx;
            y = box.cy;
            ex = std::fabs(box.cosA) * box.hx + std::fabs(box.sinA) * box.hy;
            ey = std::fabs(box.sinA) * box.hx + std::fabs(box.cosA) * box.hy;
        },
        boxes.size(), boxStart, boxItems);
}

} // namespace telvora::lasgen
