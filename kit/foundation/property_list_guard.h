// Checks the shape of property-list bytes before libplist parses them.
// libplist recurses once per nesting level and expands shared objects of a
// binary property list into a tree, so hostile input could overflow the
// stack or blow up memory; these checks refuse such input up front.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kit::detail {

// True when the XML holds no NUL byte (XML forbids them; libplist aborts on
// a string holding one) and nests arrays and dictionaries no deeper than
// maxDepth. Otherwise `problem` says why.
bool xmlPropertyListFits(std::string_view bytes, size_t maxDepth, std::string& problem);

// True when the binary property list's structure is sound (trailer, offset
// table and object references in range, no reference cycle), it nests no
// deeper than maxDepth, and expanding shared objects yields at most
// maxNodes values. Otherwise `problem` says why.
bool binaryPropertyListFits(std::string_view bytes, size_t maxDepth, size_t maxNodes, std::string& problem);

}  // namespace kit::detail
