// The entry points the host calls by name. Each one catches everything: no
// exception may cross into the host. A null text counts as the empty text.
#include <cstdint>
#include <string_view>

#include "platform/export.h"
#include "plugin/context.h"
#include "plugin/entry_points.h"

using korvo::Context;
using korvo::context;

namespace {

// Runs body with the live context; fallback when there is none or when
// anything is thrown.
template <typename R, typename F>
R guarded(R fallback, F&& body) {
  try {
    Context* ctx = context();
    if (ctx == nullptr) return fallback;
    return body(*ctx);
  } catch (...) {
    return fallback;
  }
}

void logCall(Context& ctx, const char* name) {
  ctx.logger().writeLine(std::string("Kestrova - ") + name + "()");
}

std::string_view text(const char* s) { return s ? std::string_view(s) : std::string_view(); }

constexpr const char* kEmpty = "";

}  // namespace

KORVO_API const char* init() {
  return guarded(korvo::kFunctionList, [](Context& ctx) {
    logCall(ctx, "init");
    return korvo::kFunctionList;
  });
}

KORVO_API int dllstartup(std::uint32_t, std::uint32_t) {
  return guarded(0, [](Context& ctx) {
    logCall(ctx, "dllstartup");
    return korvo::createMeter(ctx);
  });
}

KORVO_API int dllshutdown(int id) {
  return guarded(0, [id](Context& ctx) {
    logCall(ctx, "dllshutdown");
    korvo::removeMeter(ctx, id);
    return 0;
  });
}

KORVO_API int configure() {
  return guarded(0, [](Context& ctx) {
    logCall(ctx, "configure");
    return 0;
  });
}

KORVO_API int source_configure(int id, std::uint32_t) {
  return guarded(0, [id](Context& ctx) {
    logCall(ctx, "source_configure");
    korvo::configureMeter(ctx, id);
    return 0;
  });
}

KORVO_API int src_load_settings(int id, const char* file, const char* section) {
  return guarded(0, [&](Context& ctx) {
    logCall(ctx, "src_load_settings");
    korvo::loadMeterSettings(ctx, id, text(file), text(section));
    return 0;
  });
}

KORVO_API int src_save_settings(int id, const char* file, const char* section) {
  return guarded(0, [&](Context& ctx) {
    logCall(ctx, "src_save_settings");
    korvo::saveMeterSettings(ctx, id, text(file), text(section));
    return 0;
  });
}

KORVO_API int dlltype() {
  return guarded(5, [](Context& ctx) {
    logCall(ctx, "dlltype");
    return 5;
  });
}

KORVO_API const char* actionsprovided() {
  return guarded(korvo::kActionList, [](Context& ctx) {
    logCall(ctx, "actionsprovided");
    return korvo::kActionList;
  });
}

KORVO_API int action(std::uint32_t, std::uint32_t number, int id, std::uint32_t, std::uint32_t,
                     std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                     std::uint32_t) {
  return guarded(0, [&](Context& ctx) {
    logCall(ctx, "action");
    if (number == korvo::kClickAction) korvo::clickMeter(ctx, id);
    return 0;
  });
}

KORVO_API const char* getinfo(unsigned int index) {
  try {
    return korvo::infoText(index);
  } catch (...) {
    return kEmpty;
  }
}

KORVO_API const char* getparam(const char* name) {
  try {
    return korvo::paramText(text(name));
  } catch (...) {
    return kEmpty;
  }
}

KORVO_API int input_configure(std::uint32_t, std::uint32_t) { return 0; }
KORVO_API int input_load_settings(std::uint32_t, std::uint32_t, std::uint32_t) { return 0; }
KORVO_API int input_save_settings(std::uint32_t, std::uint32_t, std::uint32_t) { return 0; }

KORVO_API int pastemeter(int source, int destination) {
  return guarded(0, [&](Context& ctx) {
    korvo::pasteMeter(ctx, source, destination);
    return 0;
  });
}

#define KORVO_CHANNEL_QUERY(entry, fieldName)                                                       \
  KORVO_API const char* entry(int id) {                                                             \
    return guarded(kEmpty, [&](Context& ctx) { return korvo::channelQuery(ctx, id, fieldName); }); \
  }

#define KORVO_ITEM_QUERY(entry, fieldName)                                                  \
  KORVO_API const char* entry(int id, const char* number) {                                 \
    return guarded(kEmpty, [&](Context& ctx) {                                              \
      return korvo::itemQuery(ctx, id, fieldName, text(number));                            \
    });                                                                                     \
  }

KORVO_CHANNEL_QUERY(GetTitle, "title")
KORVO_CHANNEL_QUERY(GetLink, "link")
KORVO_CHANNEL_QUERY(GetDescription, "description")
KORVO_CHANNEL_QUERY(GetLanguage, "language")
KORVO_CHANNEL_QUERY(GetCopyright, "copyright")
KORVO_CHANNEL_QUERY(GetLastBuildDate, "lastBuildDate")
KORVO_CHANNEL_QUERY(GetManagingEditor, "managingEditor")
KORVO_CHANNEL_QUERY(GetRating, "rating")
KORVO_CHANNEL_QUERY(GetPubDate, "pubDate")
KORVO_ITEM_QUERY(GetItemTitle, "itemtitle")
KORVO_ITEM_QUERY(GetItemLink, "itemlink")
KORVO_ITEM_QUERY(GetItemDescription, "itemdescription")
KORVO_ITEM_QUERY(GetItemPubDate, "itempubDate")

KORVO_API const char* GetTitleOfItems(int id, const char* count) {
  return guarded(kEmpty, [&](Context& ctx) { return korvo::titleListQuery(ctx, id, text(count), false); });
}

KORVO_API const char* GetTitleOfItemsNT(int id, const char* count) {
  return guarded(kEmpty, [&](Context& ctx) { return korvo::titleListQuery(ctx, id, text(count), true); });
}
