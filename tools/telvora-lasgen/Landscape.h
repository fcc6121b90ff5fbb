#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "telvora-lasgen/SurveyGenerator.h"

namespace telvora::lasgen
{

struct Rgb8
{
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

// The solid surface a pulse ends on.
enum class Cover : std::uint8_t
{
    Ground,
    Road,
    Water,
    Roof,
    Vehicle
};

// What lies at one spot, seen from above.
struct Spot
{
    double ground = 0.0;  // bare earth; the water level on water
    double surface = 0.0; // top of the solid surface: roof, vehicle, ground or water
    Cover cover = Cover::Ground;
    float reflectance = 0.0f; // mean intensity of that surface at nadir
    // What an aerial photograph shows here: the crown where one covers the spot, since points
    // are coloured from such photographs.
    Rgb8 colour;

    // Roofs only: distance to the nearest eave and the outward direction across it.
    double eaveDistance = 1e9;
    double eaveNormalX = 0.0;
    double eaveNormalY = 0.0;

    bool canopy = false; // a crown covers the spot, above the solid surface or not
    double crownTop = 0.0;
    double crownBase = 0.0;
    double crownCover = 0.0; // 1 at the stem, 0 at the rim, where leaves are sparse
};

// The surveyed landscape in local metres (x east, y north): rolling terrain, villages of houses
// along roads with parked cars, forests, fields with hedgerows, lakes. The area is cut into square
// blocks of one land use each; the four blocks at the local origin always hold one of each, so
// that even a small survey sees every kind of surface. Fixed by the seed and the area alone.
class Landscape
{
public:
    // For a survey of width (x) by length (y) metres from the local origin; objects are placed
    // up to marginX metres beyond its west and east sides and marginY beyond its south and north
    // sides, bare rolling terrain lies beyond.
    // Cover other than Mixed gives every block the one land use.
    Landscape(std::uint64_t seed, double width, double length, double marginX, double marginY,
              LandCover cover = LandCover::Mixed);

    // Bare earth, with lake basins flattened to their water level.
    double Ground(double x, double y) const;
    Spot Look(double x, double y) const;

private:
    enum class LandUse : std::uint8_t
    {
        Meadow,
        Forest,
        Village,
        Lake
    };

    enum class Shape : std::uint8_t
    {
        Flat,
        Gable,
        Hip,
        Vehicle
    };

    struct Wave
    {
        double kx;
        double ky;
        double phase;
        double amplitude;
    };

    struct Lake
    {
        double cx;
        double cy;
        double a;
        double b;
        double cosA;
        double sinA;
        double level;
    };

    // Stored in single precision: a large survey holds millions of trees, and local coordinates
    // of tens of kilometres still resolve to millimetres.
    struct Tree
    {
        float x;
        float y;
        float radius;
        float ground;
        float height; // above ground
        float base;   // crown base above ground
        bool conifer;
        Rgb8 colour;
    };

    // A building or a vehicle: an oriented rectangle with a roof. The ridge runs along the first
    // (u) axis, which is the longer one.
    struct Box
    {
        float cx;
        float cy;
        float cosA;
        float sinA;
        float hx;
        float hy;
        float base;
        float wall;
        float ridge;
        Shape shape;
        Cover cover;
        float reflectance;
        Rgb8 colour;

        double Top(double u, double v) const;
    };

    struct Block
    {
        LandUse use = LandUse::Meadow;
        std::int32_t lake = -1;
        bool fieldsAlongX = false;
        double fieldWidth = 30.0;
        std::uint64_t key = 0;
    };

    double Terrain(double x, double y) const;
    // The block holding (x, y), none outside the laid-out area; (fx, fy) are its coordinates
    // inside the block.
    const Block* BlockAt(double x, double y, double& fx, double& fy) const;
    LandUse UseOf(std::int64_t i, std::int64_t j) const;
    double GroundIn(const Block* block, double x, double y, double terrain, bool& water) const;
    bool OnRoad(const Block* block, double fx, double fy) const;
    double LakeDistance(const Lake& lake, double x, double y) const;

    void LayOutBlocks(double x0, double y0, double x1, double y1);
    void PlaceRoadsAndCars();
    void PlaceVillage(std::int64_t i, std::int64_t j);
    void PlaceForest(std::int64_t i, std::int64_t j);
    void PlaceMeadow(std::int64_t i, std::int64_t j);
    void PlaceLake(std::int64_t i, std::int64_t j);
    void AddTree(double x, double y, double height, double radius, double base, bool conifer,
                 Rgb8 colour);
    void BuildCells(double x0, double y0, double x1, double y1);

    std::uint64_t seed;
    LandCover landCover = LandCover::Mixed;
    double blockSize = 100.0;
    double baseElevation = 0.0;
    std::array<Wave, 5> waves{};

    std::int64_t firstBlockX = 0;
    std::int64_t firstBlockY = 0;
    std::int64_t blocksX = 0;
    std::int64_t blocksY = 0;
    std::vector<Block> blocks;
    // Roads along the block edges x = i * blockSize (one flag per block row and edge) and
    // y = j * blockSize (one per block column and edge).
    std::vector<std::uint8_t> roadsNorthward;
    std::vector<std::uint8_t> roadsEastward;

    std::vector<Lake> lakes;
    std::vector<Tree> trees;
    std::vector<Box> boxes;

    // Every tree and box is listed in each cell its bounding square touches, so that a lookup
    // reads one short list.
    double cellX0 = 0.0;
    double cellY0 = 0.0;
    std::int64_t cellsX = 0;
    std::int64_t cellsY = 0;
    std::vector<std::uint32_t> treeStart;
    std::vector<std::uint32_t> treeItems;
    std::vector<std::uint32_t> boxStart;
    std::vector<std::uint32_t> boxItems;
};

} // namespace telvora::lasgen
