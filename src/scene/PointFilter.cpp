#include "scene/PointFilter.h"

namespace telvora
{

ReturnKind ReturnKindOf(unsigned returnNumber, unsigned numberOfReturns) noexcept
{
    if (numberOfReturns <= 1 || returnNumber == 0 || returnNumber > numberOfReturns)
    {
        return ReturnKind::Single;
    }
    if (returnNumber == 1)
    {
        return ReturnKind::First;
    }
    return returnNumber == numberOfReturns ? ReturnKind::Last : ReturnKind::Intermediate;
}

bool ReturnShown(ReturnFilter filter, ReturnKind kind) noexcept
{
    switch (filter)
    {
    case ReturnFilter::All:
        return true;
    case ReturnFilter::First:
        return kind == ReturnKind::First || kind == ReturnKind::Single;
    case ReturnFilter::Last:
        return kind == ReturnKind::Last || kind == ReturnKind::Single;
    case ReturnFilter::Single:
        return kind == ReturnKind::Single;
    case ReturnFilter::Intermediate:
        return kind == ReturnKind::Intermediate;
    }
    return true;
}

std::uint8_t ClassCodeOf(std::uint8_t classificationByte, unsigned format) noexcept
{
    return format >= 6 ? classificationByte : static_cast<std::uint8_t>(classificationByte & 0x1Fu);
}

} // namespace telvora
