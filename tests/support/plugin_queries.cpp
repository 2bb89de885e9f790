// The query tables of plugin_library.h, the same on every system.
#include "support/plugin_library.h"

namespace korvo::test {

const std::array<NamedChannelQuery, 9> kChannelQueries = {{
    {"GetTitle", &PluginExports::GetTitle},
    {"GetLink", &PluginExports::GetLink},
    {"GetDescription", &PluginExports::GetDescription},
    {"GetLanguage", &PluginExports::GetLanguage},
    {"GetCopyright", &PluginExports::GetCopyright},
    {"GetLastBuildDate", &PluginExports::GetLastBuildDate},
    {"GetManagingEditor", &PluginExports::GetManagingEditor},
    {"GetRating", &PluginExports::GetRating},
    {"GetPubDate", &PluginExports::GetPubDate},
}};

const std::array<NamedItemQuery, 6> kItemQueries = {{
    {"GetItemTitle", &PluginExports::GetItemTitle},
    {"GetItemLink", &PluginExports::GetItemLink},
    {"GetItemDescription", &PluginExports::GetItemDescription},
    {"GetItemPubDate", &PluginExports::GetItemPubDate},
    {"GetTitleOfItems", &PluginExports::GetTitleOfItems},
    {"GetTitleOfItemsNT", &PluginExports::GetTitleOfItemsNT},
}};

}  // namespace korvo::test
