#pragma once
// Which of the main window's commands and panes the next step offers: a set of
// named flags, and the rows the commands end with, written once.

#include <cstdint>
#include <initializer_list>

enum class Offer : unsigned {
    LoadFile,
    LoadDir,
    OptimizeFile,
    OptimizeDir,
    SaveFile,
    SaveAll,
    ChangeFile,
    ChangeDir,
    Recursive, // the "with subdirectories" option
    View,      // the text view shown
    List,      // the file list shown
    ListCaption,
    SpaceSaved, // the "Space saved" figure shown
};
inline constexpr unsigned kOfferCount = 13;

class CommandSet {
public:
    constexpr CommandSet() = default;
    constexpr CommandSet(std::initializer_list<Offer> offers) {
        for (const Offer o : offers)
            bits_ |= Bit(o);
    }
    constexpr bool Has(Offer o) const { return (bits_ & Bit(o)) != 0; }
    constexpr CommandSet With(Offer o, bool on = true) const {
        CommandSet s = *this;
        s.bits_ = on ? (bits_ | Bit(o)) : (bits_ & ~Bit(o));
        return s;
    }
    constexpr bool operator==(const CommandSet&) const = default;

private:
    static constexpr std::uint16_t Bit(Offer o) {
        return static_cast<std::uint16_t>(1u << static_cast<unsigned>(o));
    }
    std::uint16_t bits_ = 0;
};

// What each command offers once it has ended well.
namespace Offers {
using enum Offer;
inline constexpr CommandSet FileLoaded{LoadFile,   LoadDir,   OptimizeFile,
                                       ChangeFile, Recursive, View};
inline constexpr CommandSet FileOptimized{LoadFile,  LoadDir, SaveFile,  ChangeFile,
                                          Recursive, View,    SpaceSaved};
inline constexpr CommandSet FileChanged{LoadFile,   LoadDir,   OptimizeFile, SaveFile,
                                        ChangeFile, Recursive, View};
inline constexpr CommandSet NothingListed{LoadFile, LoadDir, Recursive, View, ListCaption};
inline constexpr CommandSet Listed{LoadFile,  LoadDir, OptimizeDir, ChangeDir,
                                   Recursive, View,    ListCaption};
inline constexpr CommandSet DirOptimized{LoadFile, LoadDir, SaveAll,     ChangeDir, Recursive,
                                         View,     List,    ListCaption, SpaceSaved};
inline constexpr CommandSet DirChanged{LoadFile,  LoadDir, OptimizeDir, SaveAll,    ChangeDir,
                                       Recursive, View,    List,        ListCaption};
} // namespace Offers
