#pragma once
// What the entry points do, apart from the C boundary: the constant
// answers, and the meter operations run on the live context.
#include <string_view>

#include "plugin/context.h"

namespace korvo {

inline constexpr const char* kFunctionList =
    "GetTitle|GetLink|GetDescription|GetLanguage|GetCopyright|GetLastBuildDate|"
    "GetManagingEditor|GetRating|GetPubDate|GetItemTitle|GetItemLink|GetItemDescription|"
    "GetItemPubDate|GetTitleOfItems|GetTitleOfItemsNT";
inline constexpr const char* kActionList = "5001|";
inline constexpr unsigned kClickAction = 5001;

// getinfo's constant text for an index; "" for any index it does not know.
const char* infoText(unsigned index);
// getparam's constant text for a meter function name (letter case ignored).
const char* paramText(std::string_view name);

// The item number or count of a query: leading blanks, a sign, digits up
// to the first other character; 0 when there is no number; out-of-range
// values give the nearest 32-bit end.
int parseNumber(std::string_view text);

int createMeter(Context& ctx);
void removeMeter(Context& ctx, int id);
void loadMeterSettings(Context& ctx, int id, std::string_view file, std::string_view section);
void saveMeterSettings(Context& ctx, int id, std::string_view file, std::string_view section);
void pasteMeter(Context& ctx, int source, int destination);
void clickMeter(Context& ctx, int id);
void configureMeter(Context& ctx, int id);

// Query answers: the result buffer, or the constant empty text.
const char* channelQuery(Context& ctx, int id, std::string_view field);
const char* itemQuery(Context& ctx, int id, std::string_view field, std::string_view number);
const char* titleListQuery(Context& ctx, int id, std::string_view count, bool withoutTitle);

}  // namespace korvo
