#pragma once
// Cleanup of feed texts: line-break tags to line feeds, HTML mark-up
// removed and character references decoded. Both work in place, in one
// pass over the text, allocate nothing and report nothing.
#include <string>

#include "text/character_reference.h"

namespace korvo {

// Every line-break tag becomes one line feed: "<br" or "</br" in any letter
// case, followed by a blank, "/" or ">", through the next ">" ("<br>",
// "<BR>", "<br/>", "<br />", "<br clear=all>"). Nothing else changes.
void replaceBr(std::string& text);

// What a removed tag that separates text (br, p, div, li, tr, h1-h6,
// blockquote, hr) leaves: one blank, or one line feed.
enum class TagBreak { Blank, LineFeed };

// Removes mark-up and decodes character references, reading the text once
// from left to right; what either produces is never read again.
// - Mark-up is a "<" followed by a letter, "/" and a letter, "!" or "?",
//   through the next ">" (a comment "<!--" through "-->"); script and style
//   elements go with their content. Any other "<" stays as text, and so
//   does a "<" with no ">" after it.
// - A run of removed mark-up and the blanks, tabs, carriage returns and
//   line feeds around it is a gap. A gap at the start or the end of the
//   text leaves nothing. Any other gap leaves: with LineFeed, as many line
//   feeds as it holds (at least one if it has a separating tag, at most
//   two), else one blank if it holds white space; with Blank, one blank if
//   it has a separating tag or white space; else nothing.
// - A reference is decoded only when readCharacterReference takes it, into
//   referenceText in the form given; any other "&" stays as text.
void filterHtml(std::string& text, TagBreak tagBreak = TagBreak::Blank,
                ReferenceForm references = ReferenceForm::SingleByte);

}  // namespace korvo
