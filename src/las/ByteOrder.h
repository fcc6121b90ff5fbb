#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace telvora
{

// Every binary format we read is little-endian. These loads and stores are explicit about it
// and compile to plain moves on little-endian hosts.
template <typename T>
inline T LoadLE(const unsigned char* bytes) noexcept
{
    static_assert(std::is_trivially_copyable_v<T>);
    if constexpr (std::endian::native == std::endian::little)
    {
        T value;
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }
    else
    {
        unsigned char swapped[sizeof(T)];
        for (std::size_t i = 0; i < sizeof(T); ++i)
        {
            swapped[i] = bytes[sizeof(T) - 1 - i];
        }
        T value;
        std::memcpy(&value, swapped, sizeof(T));
        return value;
    }
}

template <typename T>
inline void StoreLE(unsigned char* bytes, T value) noexcept
{
    static_assert(std::is_trivially_copyable_v<T>);
    if constexpr (std::endian::native == std::endian::little)
    {
        std::memcpy(bytes, &value, sizeof(T));
    }
    else
    {
        unsigned char raw[sizeof(T)];
        std::memcpy(raw, &value, sizeof(T));
        for (std::size_t i = 0; i < sizeof(T); ++i)
        {
            bytes[i] = raw[sizeof(T) - 1 - i];
        }
    }
}

} // namespace telvora
