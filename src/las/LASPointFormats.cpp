#include "las/LASPointFormats.h"

namespace telvora
{

template class LASPointRecord<0>;
template class LASPointRecord<1>;
template class LASPointRecord<2>;
template class LASPointRecord<3>;

static_assert(LASPoint0::kRecordSize == 20);
static_assert(LASPoint1::kRecordSize == 28);
static_assert(LASPoint2::kRecordSize == 26);
static_assert(LASPoint3::kRecordSize == 34);

std::size_t StandardRecordSize(unsigned format) noexcept
{
    switch (format)
    {
    case 0:
        return LASPoint0::kRecordSize;
    case 1:
        return LASPoint1::kRecordSize;
    case 2:
        return LASPoint2::kRecordSize;
    case 3:
        return LASPoint3::kRecordSize;
    default:
        return 0;
    }
}

LASPoint* CreateLasPoint(unsigned format)
{
    switch (format)
    {
    case 0:
        return new LASPoint0;
    case 1:
        return new LASPoint1;
    case 2:
        return new LASPoint2;
    case 3:
        return new LASPoint3;
    default:
        return nullptr;
    }
}

unsigned char* RecordImage(LASPoint& point) noexcept
{
    // The four classes are final, so each cast is a plain type comparison; an object of any other
    // class has no record image we could write.
    if (auto* p0 = dynamic_cast<LASPoint0*>(&point))
    {
        return p0->record;
    }
    if (auto* p1 = dynamic_cast<LASPoint1*>(&point))
    {
        return p1->record;
    }
    if (auto* p2 = dynamic_cast<LASPoint2*>(&point))
    {
        return p2->record;
    }
    if (auto* p3 = dynamic_cast<LASPoint3*>(&point))
    {
        return p3->record;
    }
    return nullptr;
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
    // The type was checked above, so these casts are exact.
    switch (knownFormat)
    {
    case 0:
        size = LASPoint0::kRecordSize;
        return static_cast<const LASPoint0&>(point).record;
    case 1:
        size = LASPoint1::kRecordSize;
        return static_cast<const LASPoint1&>(point).record;
    case 2:
        size = LASPoint2::kRecordSize;
        return static_cast<const LASPoint2&>(point).record;
    case 3:
        size = LASPoint3::kRecordSize;
        return static_cast<const LASPoint3&>(point).record;
    default:
        return nullptr;
    }
}

} // namespace telvora
