// Upper-casing and case-blind comparison of names.
//
// Every name the database stores or looks up goes through UpperCase, so that
// stored names and lookups agree byte for byte. The host code page is UTF-8:
// ASCII a-z become A-Z, every valid UTF-8 sequence is mapped by simple Unicode
// upper-casing, and every byte that is not part of a valid sequence is kept
// as it is (host names are bytes and need not be valid UTF-8).
#pragma once

#include <string>
#include <string_view>

namespace varnoke::platform {

// Returns the upper-cased form of text.
std::string UpperCase(std::string_view text);

// Appends the upper-cased form of text to out.
void AppendUpperCase(std::string_view text, std::string& out);

// Three-way comparison of the upper-cased forms of a and b in byte order:
// negative, zero or positive. Does not allocate.
int CompareNoCase(std::string_view a, std::string_view b);

}  // namespace varnoke::platform
