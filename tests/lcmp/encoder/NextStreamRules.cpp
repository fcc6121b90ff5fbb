#include "encoder/NextStreamRules.h"

namespace telvora::testenc
{

std::optional<NextStream> LocateNextStream(const ReaderWindow& w)
{
    // Bytes outside the valid part of the buffer are neither FF nor 00.
    const auto is = [&](int k, std::uint8_t value)
    {
        const int at = w.current + k;
        return at >= 0 && k < w.bytesLeft && w.buffer[at] == value;
    };
    const auto marker = [&](int k) { return is(k, 0xFF) && is(k + 1, 0xFF) && is(k + 2, 0x00); };
    const std::int64_t here = w.filePosition - w.bytesLeft;
    const std::int64_t end = w.filePosition;
    const bool nearEnd = w.bytesLeft < 4;

    if (marker(-3) && !is(0, 0xFF))
    {
        return NextStream{here, 1};
    }
    if (marker(-2) && !is(1, 0xFF))
    {
        return NextStream{here + 1, 2};
    }
    if (marker(-1))
    {
        return NextStream{here + 2, 3};
    }
    if (marker(0))
    {
        return NextStream{here + 3, 4};
    }
    if (marker(1))
    {
        return NextStream{here + 4, 5};
    }
    if (nearEnd && is(-1, 0xFF) && is(0, 0xFF))
    {
        return NextStream{end + 1, 6};
    }
    if (nearEnd && is(0, 0xFF))
    {
        return NextStream{end + 2, 7};
    }
    if (nearEnd)
    {
        return NextStream{end + 3, 8};
    }
    if (w.bytesLeft <= 252)
    {
        return std::nullopt;
    }
    if (is(0, 0xFF) && is(1, 0x00))
    {
        return NextStream{here + 2, 10};
    }
    if (is(0, 0x00))
    {
        return NextStream{here + 1, 11};
    }
    return NextStream{here, 12};
}

} // namespace telvora::testenc
