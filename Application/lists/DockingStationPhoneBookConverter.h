#pragma once

#include <string>

// Names and numbers to and from the hex text of the phone book mails. Numbers are packed two dial
// characters a byte ("*" B, "#" C, pause D, filler F); names are their single-byte codes.
class TDSPBC {
public:
    std::string EncodeName(const std::string& name) const;
    // The answer begins with the echo of the request's sub-code ("03 "), then the name's bytes.
    std::string DecodeName(const std::string& answer) const;
    std::string EncodeNumber(const std::string& number) const;
    // The answer begins with the echo of the request's sub-code ("04 "), then the packed bytes.
    std::string DecodeNumber(const std::string& answer) const;
};
