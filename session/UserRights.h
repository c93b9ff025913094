// Rights of a user on a database, and their one-byte form on the wire.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace korvel
{

enum TUserRight : std::uint8_t
{
    urRead,
    urInsert,
    urUpdate,
    urDelete,
    urCreate,
    urAlter,
    urDrop
};

class TUserRights
{
public:
    constexpr TUserRights() = default;
    constexpr TUserRights(std::initializer_list<TUserRight> rights)
    {
        for (TUserRight r : rights)
            Include(r);
    }

    constexpr bool Contains(TUserRight right) const { return (bits_ >> right) & 1u; }
    constexpr void Include(TUserRight right) { bits_ = static_cast<std::uint8_t>(bits_ | (1u << right)); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TUserRights&) const = default;

    // Bit n set exactly when the right with bit n is held; bit 7 is never set.
    constexpr std::uint8_t ToByte() const { return bits_; }
    // Bits 0 to 6 of the byte; bit 7 is ignored.
    static constexpr TUserRights FromByte(std::uint8_t byte)
    {
        TUserRights rights;
        rights.bits_ = static_cast<std::uint8_t>(byte & 0x7F);
        return rights;
    }

private:
    std::uint8_t bits_ = 0;
};

} // namespace korvel
