#pragma once
// The fixed tables of character references, built at compile time.
#include <array>
#include <cstdint>
#include <string_view>

namespace korvo {

// A name that stands for the single byte `code`.
struct LatinEntity {
  unsigned char code;
  std::string_view name;
};

// A character outside Latin-1 and its ASCII stand-in. `code` is decimal
// text; every field views a string literal, so `.data()` is zero-terminated.
struct SpecialEntity {
  std::string_view code;
  std::string_view name;
  std::string_view replacement;
};

// The 96 Latin-1 names of HTML 4.01 in code order (160..255), then the five
// markup-significant ones.
// clang-format off
inline constexpr std::array<LatinEntity, 101> LatinEntityTable = {{
    {160, "nbsp"},   {161, "iexcl"},  {162, "cent"},   {163, "pound"},  {164, "curren"},
    {165, "yen"},    {166, "brvbar"}, {167, "sect"},   {168, "uml"},    {169, "copy"},
    {170, "ordf"},   {171, "laquo"},  {172, "not"},    {173, "shy"},    {174, "reg"},
    {175, "macr"},   {176, "deg"},    {177, "plusmn"}, {178, "sup2"},   {179, "sup3"},
    {180, "acute"},  {181, "micro"},  {182, "para"},   {183, "middot"}, {184, "cedil"},
    {185, "sup1"},   {186, "ordm"},   {187, "raquo"},  {188, "frac14"}, {189, "frac12"},
    {190, "frac34"}, {191, "iquest"}, {192, "Agrave"}, {193, "Aacute"}, {194, "Acirc"},
    {195, "Atilde"}, {196, "Auml"},   {197, "Aring"},  {198, "AElig"},  {199, "Ccedil"},
    {200, "Egrave"}, {201, "Eacute"}, {202, "Ecirc"},  {203, "Euml"},   {204, "Igrave"},
    {205, "Iacute"}, {206, "Icirc"},  {207, "Iuml"},   {208, "ETH"},    {209, "Ntilde"},
    {210, "Ograve"}, {211, "Oacute"}, {212, "Ocirc"},  {213, "Otilde"}, {214, "Ouml"},
    {215, "times"},  {216, "Oslash"}, {217, "Ugrave"}, {218, "Uacute"}, {219, "Ucirc"},
    {220, "Uuml"},   {221, "Yacute"}, {222, "THORN"},  {223, "szlig"},  {224, "agrave"},
    {225, "aacute"}, {226, "acirc"},  {227, "atilde"}, {228, "auml"},   {229, "aring"},
    {230, "aelig"},  {231, "ccedil"}, {232, "egrave"}, {233, "eacute"}, {234, "ecirc"},
    {235, "euml"},   {236, "igrave"}, {237, "iacute"}, {238, "icirc"},  {239, "iuml"},
    {240, "eth"},    {241, "ntilde"}, {242, "ograve"}, {243, "oacute"}, {244, "ocirc"},
    {245, "otilde"}, {246, "ouml"},   {247, "divide"}, {248, "oslash"}, {249, "ugrave"},
    {250, "uacute"}, {251, "ucirc"},  {252, "uuml"},   {253, "yacute"}, {254, "thorn"},
    {255, "yuml"},
    {34, "quot"},    {39, "apos"},    {38, "amp"},     {60, "lt"},      {62, "gt"},
}};

// In ascending code order.
inline constexpr std::array<SpecialEntity, 30> SpecialEntityTable = {{
    {"338", "OElig", "OE"},     {"339", "oelig", "oe"},    {"352", "Scaron", "S"},
    {"353", "scaron", "s"},     {"376", "Yuml", "Y"},      {"710", "circ", "^"},
    {"732", "tilde", "~"},      {"8194", "ensp", " "},     {"8195", "emsp", " "},
    {"8201", "thinsp", " "},    {"8204", "zwnj", ""},      {"8205", "zwj", ""},
    {"8206", "lrm", ""},        {"8207", "rlm", ""},       {"8211", "ndash", "-"},
    {"8212", "mdash", "-"},     {"8216", "lsquo", "'"},    {"8217", "rsquo", "'"},
    {"8218", "sbquo", ","},     {"8220", "ldquo", "''"},   {"8221", "rdquo", "''"},
    {"8222", "bdquo", ",,"},    {"8224", "dagger", "|"},   {"8225", "Dagger", "|"},
    {"8230", "hellip", "..."},  {"8240", "permil", "%"},   {"8249", "lsaquo", "\""},
    {"8250", "rsaquo", "\""},   {"8364", "euro", "E"},     {"8482", "trade", "(TM)"},
}};
// clang-format on

// The row named exactly `name` (case-sensitive), or null.
const LatinEntity* findLatinEntity(std::string_view name);
const SpecialEntity* findSpecialEntityByName(std::string_view name);
// The row whose code text equals `codeText` byte for byte ("08217" has none).
const SpecialEntity* findSpecialEntityByCode(std::string_view codeText);

// The ASCII stand-in for a character outside Latin-1 that the special
// table lists (8217 gives "'", 8364 gives "E", 8204 gives ""); null when
// the code has no row.
const char* specialReplacementForCode(std::uint32_t code);

}  // namespace korvo
