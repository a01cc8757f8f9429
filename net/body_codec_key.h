// The key table of the platform API's body scrambling: 64 entries of one
// UTF-16 unit each. Entry i is added to (when sending) or taken from (when
// reading) the character at every text position p with p % 64 == i.
//
// The client's codec and the local platform API server read the table from
// here and nowhere else. It is a secret shared with the platform API server:
// nothing may log it or put it in an error text.
#pragma once

#include <array>
#include <cstddef>

inline constexpr std::size_t kPlatformBodyKeyLength = 64;

inline constexpr std::array<char16_t, kPlatformBodyKeyLength> kPlatformBodyKey = {
    u'n', u'X', u'戏', u'L', u'H', u'z', u'&', u'C', u'-', u'币', u'7', u'2', u'm', u'I', u'a', u'G',
    u'l', u'V', u'B', u'd', u'b', u'U', u'6', u'@', u'Q', u'Y', u'E', u'S', u'F', u'*', u'h', u'K',
    u'8', u'j', u'o', u'#', u'P', u's', u'r', u'w', u'0', u'玩', u'Z', u'q', u'O', u'f', u'4', u'g',
    u'A', u'金', u'W', u'J', u'y', u'1', u'D', u'家', u'i', u'9', u'~', u'u', u'%', u'x', u'T', u'R',
};
