#pragma once
// The scanner's enumerations, sets and event types.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

enum TScanStrategy { ssGlobal, ssSpecifiedDisk, ssSpecifiedDir };
enum TScanDrive { sdHard, sdCDROM, sdRAM, sdNetwork, sdFloppy };
enum TFileAttribute { faReadOnly, faHidden, faSysFile, faVolumeID, faDirectory, faArchive };
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A set of up to eight enumeration values in one byte: bit n stands for the value
// whose ordinal is n.
template <typename E> class TSmallSet {
public:
    constexpr TSmallSet() = default;
    constexpr TSmallSet(std::initializer_list<E> values) {
        for (E v : values) {
            bits_ = static_cast<std::uint8_t>(bits_ | Bit(v));
        }
    }
    static constexpr TSmallSet FromBits(std::uint8_t bits) {
        TSmallSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr std::uint8_t Bits() const { return bits_; }
    constexpr bool contains(E v) const { return (bits_ & Bit(v)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr TSmallSet& insert(E v) {
        bits_ = static_cast<std::uint8_t>(bits_ | Bit(v));
        return *this;
    }
    constexpr TSmallSet& erase(E v) {
        bits_ = static_cast<std::uint8_t>(bits_ & ~Bit(v));
        return *this;
    }
    friend constexpr bool operator==(TSmallSet a, TSmallSet b) { return a.bits_ == b.bits_; }
    friend constexpr bool operator!=(TSmallSet a, TSmallSet b) { return a.bits_ != b.bits_; }

private:
    static constexpr std::uint8_t Bit(E v) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(v));
    }
    std::uint8_t bits_ = 0;
};

using TScanDrives = TSmallSet<TScanDrive>;
// Its bits are the attribute mask: read-only 1, hidden 2, system 4, volume label 8,
// directory 16, archive 32.
using TFileAttributes = TSmallSet<TFileAttribute>;

using TDoFileFound = std::function<void(const std::string& AName, const std::string& APath,
                                        std::int32_t AAttr, std::int32_t ASize, double ADateTime)>;
using TDoProcess =
    std::function<void(std::uint32_t ACount, std::uint32_t ASize, const std::string& ACurrent,
                       std::uint32_t ACurrentSize, std::uint32_t ACurrentPos)>;
using TDoProcessDone = std::function<void(std::uint32_t ACount, std::uint32_t ASize)>;
