#pragma once
// The code page the host shows text in, and the two things every text
// handed to it needs: conversion into it, with our stand-ins for what it
// lacks, and cuts that never split a character.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text_conversion.h"

namespace korvo {

struct TargetCodePage {
  unsigned number = charset::kLatin1;
  // Korvo's narrowing to single bytes as it has always been: every
  // character up to U+00FF is its byte, the few it has always replaced keep
  // their old stand-ins, and only the characters it used to drop get the
  // stand-ins of today's table.
  bool latin1 = true;
};

// The value of the CodePage setting: "auto" (the system's code page, as
// given; latin1 for a system that shows only ASCII), "latin1", "utf-8", or
// the number of a target code page; letter case and surrounding blanks do
// not count. Nothing for any other value, and for "auto" when the system's
// code page is 0 (none of the targets).
std::optional<TargetCodePage> parseCodePageSetting(std::string_view value, unsigned systemCodePage);

// text in the target: the platform's converter maps what the code page
// has, standIn() fills in what it lacks, anything else is dropped.
std::string encodeForTarget(std::u32string_view text, const TargetCodePage& target);

// The longest start of bytes, in code page cp, that is at most maxBytes
// long and does not end inside a character (bytes that are not a well-formed
// character count as one byte each).
std::size_t characterBoundary(std::string_view bytes, std::size_t maxBytes, unsigned cp);

}  // namespace korvo
