// Member names inside the engine are UTF-8. A header's name bytes are UTF-8
// when flag bit 11 is set, otherwise code page 437, unless Info-ZIP's Unicode
// Path extra block (0x7075) carries a UTF-8 name for exactly those bytes, or
// the member was made on Unix or macOS and its bytes are well-formed UTF-8:
// tools there store the file system's UTF-8 bytes without the flag.
// The stored bytes are kept beside the UTF-8 name so that a member copied
// unchanged is written back as it was.
#pragma once

#include <cstdint>
#include <string>

// General-purpose flag bit 11: the name and comment are UTF-8.
constexpr std::uint16_t kUtf8NameFlag = 0x0800;

bool is_ascii(const std::string& bytes);
// Well-formed UTF-8: shortest forms only, no surrogates, nothing past U+10FFFF.
bool is_utf8(const std::string& bytes);
// Each code page 437 byte from 0x80 up as its UTF-8 character; ASCII as is.
std::string utf8_from_cp437(const std::string& bytes);
// The bytes with every ill-formed sequence replaced by U+FFFD, so that no
// byte of it can become a separator or a dot.
std::string utf8_repaired(const std::string& bytes);
// The UTF-8 name of Info-ZIP's Unicode Path block in extra, when the block is
// version 1, whole, holds well-formed UTF-8 and its CRC-32 is that of
// header_name (the name bytes it was made for); false otherwise.
bool unicode_path_name(const std::uint8_t* extra, std::uint32_t length,
                       const std::string& header_name, std::string* name);
// The name a new member of these name bytes has in the catalog: they
// themselves when they are UTF-8, else (a file name of another encoding,
// stored as it is) what a reader makes of them.
std::string catalog_name(const std::string& bytes);
// The UTF-8 name of a header's name bytes, by the rule at the top.
std::string member_name(const std::string& stored, std::uint16_t flags,
                        std::uint16_t version_made_by, const std::uint8_t* extra,
                        std::uint32_t extra_length);
