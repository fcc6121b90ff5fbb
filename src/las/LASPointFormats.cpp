#include "las/LASPointFormats.h"

namespace telvora
{

template class LASPointRecord<0>;
template class LASPointRecord<1>;
template class LASPointRecord<2>;
template class LASPointRecord<3>;
template class LASPointRecord<4>;
template class LASPointRecord<5>;
template class LASPointRecord<6>;
template class LASPointRecord<7>;
template class LASPointRecord<8>;
template class LASPointRecord<9>;
template class LASPointRecord<10>;

std::size_t StandardRecordSize(unsigned format) noexcept
{
    return FormatLayout(format).size;
}

LASPoint* CreateLasPoint(unsigned format)
{
    return WithLasFormat(
        format, [](auto f) -> LASPoint* { return new LASPointRecord<decltype(f)::value>; },
        []() -> LASPoint* { return nullptr; });
}

unsigned char* RecordImage(LASPoint& point) noexcept
{
    // The record classes are final, so each cast is a plain type comparison; an object of any
    // other class has no record image we could write.
    return WithLasFormat(
        static_cast<unsigned>(point.GetFormat()),
        [&](auto f) -> unsigned char*
        {
            auto* record = dynamic_cast<LASPointRecord<decltype(f)::value>*>(&point);
            return record != nullptr ? record->record : nullptr;
        },
        []() -> unsigned char* { return nullptr; });
}

const unsigned char* RecordImage(const LASPoint& point) noexcept
{
    return RecordImage(const_cast<LASPoint&>(point));
}

const unsigned char* RecordImageFinder::Find(const LASPoint& point, std::size_t& size) noexcept
{
    const std::type_info& type = typeid(point);
    if (&type != knownType)
    {
        if (RecordImage(point) == nullptr)
        {
            return nullptr;
        }
        knownType = &type;
        knownFormat = point.GetFormat();
    }
    // The type was checked above, so the cast is exact.
    return WithLasFormat(
        static_cast<unsigned>(knownFormat),
        [&](auto f) -> const unsigned char*
        {
            using Record = LASPointRecord<decltype(f)::value>;
            size = Record::kRecordSize;
            return static_cast<const Record&>(point).record;
        },
        []() -> const unsigned char* { return nullptr; });
}

} // namespace telvora
