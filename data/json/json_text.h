// JSON text operations on kit's strings, data, arrays and dictionaries:
// strings and data parse themselves into JXArray / JXDictionary objects, and
// strings, arrays and dictionaries write themselves as JSON text. Each call
// makes its own decoder or serializer, so the operations may run on any
// thread at once.
//
// Parse options and serialize options are the bits of jx_constants.h.
// Failures return nil and set `error` when one is given; parse options of 16
// and above raise "Invalid parse options.".
#pragma once

#include "data/json/jx_serializer.h"
#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/error.h"
#include "kit/foundation/string.h"

// ---- Parsing ---------------------------------------------------------------

kit::Id objectFromJSONString(const kit::String& json);
kit::Id objectFromJSONStringWithParseOptions(const kit::String& json, unsigned long parseOptions);
kit::Id objectFromJSONStringWithParseOptions(const kit::String& json, unsigned long parseOptions,
                                             kit::Ref<kit::Error>* error);
kit::Id mutableObjectFromJSONString(const kit::String& json);
kit::Id mutableObjectFromJSONStringWithParseOptions(const kit::String& json, unsigned long parseOptions);
kit::Id mutableObjectFromJSONStringWithParseOptions(const kit::String& json, unsigned long parseOptions,
                                                    kit::Ref<kit::Error>* error);

kit::Id objectFromJSONData(const kit::Data& json);
kit::Id objectFromJSONDataWithParseOptions(const kit::Data& json, unsigned long parseOptions);
kit::Id objectFromJSONDataWithParseOptions(const kit::Data& json, unsigned long parseOptions,
                                           kit::Ref<kit::Error>* error);
kit::Id mutableObjectFromJSONData(const kit::Data& json);
kit::Id mutableObjectFromJSONDataWithParseOptions(const kit::Data& json, unsigned long parseOptions);
kit::Id mutableObjectFromJSONDataWithParseOptions(const kit::Data& json, unsigned long parseOptions,
                                                  kit::Ref<kit::Error>* error);

// ---- Writing a string as a JSON string value ---------------------------------

kit::Ref<kit::Data> JSONData(const kit::String& string);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::String& string, unsigned long serializeOptions, bool includeQuotes,
                                        kit::Ref<kit::Error>* error);
kit::Ref<kit::String> JSONString(const kit::String& string);
kit::Ref<kit::String> JSONStringWithOptions(const kit::String& string, unsigned long serializeOptions,
                                            bool includeQuotes, kit::Ref<kit::Error>* error);

// ---- Writing arrays and dictionaries -------------------------------------------
// An unsupported object is replaced by what the block or the delegate's
// method returns for it; without one (or when it returns nil) the write fails.

kit::Ref<kit::Data> JSONData(const kit::Array& array);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::Array& array, unsigned long serializeOptions,
                                        kit::Ref<kit::Error>* error);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::Array& array, unsigned long serializeOptions,
                                        const kit::Id& delegate, const JXSelector& selector,
                                        kit::Ref<kit::Error>* error);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::Array& array, unsigned long serializeOptions,
                                        const JXSerializer::UnsupportedClassBlock& block, kit::Ref<kit::Error>* error);
kit::Ref<kit::String> JSONString(const kit::Array& array);
kit::Ref<kit::String> JSONStringWithOptions(const kit::Array& array, unsigned long serializeOptions,
                                            kit::Ref<kit::Error>* error);
kit::Ref<kit::String> JSONStringWithOptions(const kit::Array& array, unsigned long serializeOptions,
                                            const kit::Id& delegate, const JXSelector& selector,
                                            kit::Ref<kit::Error>* error);
kit::Ref<kit::String> JSONStringWithOptions(const kit::Array& array, unsigned long serializeOptions,
                                            const JXSerializer::UnsupportedClassBlock& block,
                                            kit::Ref<kit::Error>* error);

kit::Ref<kit::Data> JSONData(const kit::Dictionary& dictionary);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::Dictionary& dictionary, unsigned long serializeOptions,
                                        kit::Ref<kit::Error>* error);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::Dictionary& dictionary, unsigned long serializeOptions,
                                        const kit::Id& delegate, const JXSelector& selector,
                                        kit::Ref<kit::Error>* error);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::Dictionary& dictionary, unsigned long serializeOptions,
                                        const JXSerializer::UnsupportedClassBlock& block, kit::Ref<kit::Error>* error);
kit::Ref<kit::String> JSONString(const kit::Dictionary& dictionary);
kit::Ref<kit::String> JSONStringWithOptions(const kit::Dictionary& dictionary, unsigned long serializeOptions,
                                            kit::Ref<kit::Error>* error);
kit::Ref<kit::String> JSONStringWithOptions(const kit::Dictionary& dictionary, unsigned long serializeOptions,
                                            const kit::Id& delegate, const JXSelector& selector,
                                            kit::Ref<kit::Error>* error);
kit::Ref<kit::String> JSONStringWithOptions(const kit::Dictionary& dictionary, unsigned long serializeOptions,
                                            const JXSerializer::UnsupportedClassBlock& block,
                                            kit::Ref<kit::Error>* error);
