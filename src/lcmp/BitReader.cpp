#include "lcmp/BitReader.h"

#include "las/LasException.h"
#include "lcmp/LcmpMessages.h"

namespace telvora
{

bool BitReader::Refill()
{
    // Beyond the single -1 bit the stream cannot be part of any archive.
    if (exhausted || source == nullptr)
    {
        throw CLasException(LcmpMessage::kStreamNotFound);
    }
    const std::size_t got = source->Read(buffer, kBufferSize);
    fileAfterFill = source->Position();
    if (got == 0)
    {
        if (endOfFile)
        {
            exhausted = true;
            return false;
        }
        // The first time the file runs out, the first two bytes of the previous fill are
        // delivered once more.
        endOfFile = true;
        bytesLeft = 2;
    }
    else
    {
        bytesLeft = static_cast<int>(got);
    }
    current = 0;
    return true;
}

} // namespace telvora
