#pragma once

#include "xml/XMLParams.h"

#include <string>

// The dialect's five entities, each step applied to the result of the one before, case-sensitive:
// "&" "<" ">" and the double quote become "&amp;" "&lt;" "&gt;" "&quot;", then CR LF becomes "<br/>".
// Decoding takes the steps back in the opposite order. No other entity is known.
std::string EncodeEntities(const std::string& text);
std::string DecodeEntities(const std::string& text);

// An attribute value as the writer puts it between double quotes: the entities without the "<br/>" for
// CR LF, whose ">" would end the tag for a reader. The reader drops CR LF from tags, so a line break
// inside a value does not come back.
std::string EncodeAttributeValue(const std::string& value);

// The element name of a tag text such as '<name a="1">': up to the first space, else up to the first
// "/", else all but the closing ">".
std::string ParseTagName(const std::string& tag);

// The attributes of a tag text, one 'name=value' line each, value without its quotes and decoded.
// Attributes are split at spaces and line breaks outside double quotes; one without a value is left out.
void ParseParams(const std::string& tag, TXMLParams& list);
