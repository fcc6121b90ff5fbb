#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "LasErrors.h"
#include "las/LasException.h"
#include "las/LasFile.h"

namespace telvora::test
{

// What all six bulk readers return for one file, read in one go.
struct AllAttributes
{
    std::unique_ptr<float[]> positions;
    std::unique_ptr<std::uint16_t[]> intensities;
    std::unique_ptr<std::uint8_t[]> classes;
    std::unique_ptr<std::int8_t[]> angles;
    std::unique_ptr<std::uint8_t[]> returns;
    std::unique_ptr<float[]> colours;

    static AllAttributes Read(const CLasFile& file, AttributeProgress* progress,
                              INotifier* notifier)
    {
        return {file.ReadPositions(progress, notifier),
                file.ReadIntensities(progress, notifier),
                file.ReadClassifications(progress, notifier),
                file.ReadScanAngleRanks(progress, notifier),
                file.ReadReturnNumbers(progress, notifier),
                file.ReadColors(progress, notifier)};
    }
    static constexpr std::size_t kReaders = 6;

    bool All() const { return positions && intensities && classes && angles && returns && colours; }
    bool None() const
    {
        return !positions && !intensities && !classes && !angles && !returns && !colours;
    }
};

using test::ErrorOf;

} // namespace telvora::test
