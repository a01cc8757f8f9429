// Names shared by the JSON codec: its error domain and user-info keys, and
// the option bits of parsing and writing.
#pragma once

// Errors of the codec carry this domain, code -1, the message under the
// localized-description key and, for parse errors, where it happened.
inline constexpr const char* JXErrorDomain = "JXErrorDomain";
inline constexpr const char* JXAtIndexKey = "JXAtIndexKey";        // byte offset, from 0
inline constexpr const char* JXLineNumberKey = "JXLineNumberKey";  // line, from 1

// Parse option bits. Values of 16 and above are refused.
enum : unsigned long {
  JXParseOptionNone = 0,
  JXParseOptionComments = 1,              // "//" and "/* */" count as white space
  JXParseOptionUnicodeNewlines = 2,       // U+0085, U+2028, U+2029 are newlines between tokens
  JXParseOptionLooseUnicode = 4,          // malformed UTF-8 and unusable escapes become U+FFFD
  JXParseOptionPermitTextAfterValidJSON = 8,
  JXParseOptionValidFlags = 15,
};

// Serialize option bits.
enum : unsigned long {
  JXSerializeOptionNone = 0,
  JXSerializeOptionPretty = 1,                 // newlines, two-space indent, sorted keys
  JXSerializeOptionEscapeUnicode = 2,          // non-ASCII as \uXXXX
  JXSerializeOptionEscapeForwardSlashes = 16,  // "/" as "\/"
};

// Encode option bits, set by the text operations: the result form in the low
// three bits and checks on the top-level object.
enum : unsigned long {
  JXEncodeAsData = 1,
  JXEncodeAsString = 2,
  JXEncodeAsTypeMask = 7,
  JXEncodeRequireCollection = 8,  // the top object must be an array or a dictionary
  JXEncodeRequireString = 16,     // the top object must be a string
  JXEncodeOmitQuotes = 32,        // a top-level string is written without its quotes
};

// The deepest nesting of arrays and objects that the parser accepts and the
// writer writes; the same count in both, so whatever parses can be written.
inline constexpr unsigned JXMaximumNestingDepth = 512;
