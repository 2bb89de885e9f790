// The Lua module "korvo" that Conky loads (through korvo.lua): one ConkyHost
// in a userdata, closed by the shutdown hook or, at the latest, when Conky
// closes its Lua state.
//
//   korvo.setup(hostIni [, library])   which meters, and which plug-in file
//   korvo.text(section)                the meter's text for ${lua_parse}
//   korvo.tooltip(section)             its tooltip part
//   korvo.shutdown()                   save, shut down, unload
#include <dlfcn.h>

#include <lua.hpp>
#include <new>
#include <string>

#include "conky_host.h"

namespace {

using korvo::conky::ConkyHost;

constexpr const char* kStateType = "korvo.state";

// What the module holds between calls; the paths for the next start.
struct ModuleState {
  std::string hostIni;
  std::string library;
  std::string moduleDirectory;
  ConkyHost* host = nullptr;
};

std::string moduleDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&moduleDirectory), &info) == 0 || info.dli_fname == nullptr)
    return {};
  std::string path = info.dli_fname;
  std::size_t cut = path.rfind('/');
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

ModuleState& state(lua_State* L) {
  return *static_cast<ModuleState*>(lua_touserdata(L, lua_upvalueindex(1)));
}

void closeHost(ModuleState& s) {
  delete s.host;  // shuts down
  s.host = nullptr;
}

// Every call below checks its Lua arguments first and then runs C++ code
// that raises no Lua error: a Lua error unwinds with longjmp, which would
// skip the destructors of C++ objects.

int setup(lua_State* L) {
  const char* hostIni = luaL_checkstring(L, 1);
  const char* library = luaL_optstring(L, 2, "");
  bool ok = true;
  try {
    ModuleState& s = state(L);
    closeHost(s);
    s.hostIni = hostIni;
    s.library = library;
  } catch (...) {
    ok = false;
  }
  if (!ok) return luaL_error(L, "korvo.setup: out of memory");
  return 0;
}

int show(lua_State* L, bool tooltip) {
  const char* section = luaL_checkstring(L, 1);
  lua_settop(L, 1);
  // On the heap, so that a push that fails for want of memory (a Lua
  // error) leaks the text instead of skipping a destructor.
  std::string* text = nullptr;
  try {
    ModuleState& s = state(L);
    if (s.host == nullptr) s.host = new ConkyHost(s.hostIni, s.library, s.moduleDirectory);
    text = new std::string(s.host->show(section, tooltip));
  } catch (...) {
    text = nullptr;
  }
  if (text == nullptr) {
    lua_pushstring(L, "korvo: out of memory");
    return 1;
  }
  lua_pushlstring(L, text->data(), text->size());
  delete text;
  return 1;
}

int text(lua_State* L) { return show(L, false); }
int tooltip(lua_State* L) { return show(L, true); }

int shutdown(lua_State* L) {
  closeHost(state(L));
  return 0;
}

int collect(lua_State* L) {
  auto* s = static_cast<ModuleState*>(luaL_checkudata(L, 1, kStateType));
  closeHost(*s);
  s->~ModuleState();
  return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int luaopen_korvo(lua_State* L) {
  void* memory = lua_newuserdata(L, sizeof(ModuleState));
  ModuleState* s = nullptr;
  try {
    s = new (memory) ModuleState();
    s->moduleDirectory = moduleDirectory();
    s->hostIni = s->moduleDirectory + "host.ini";
  } catch (...) {
    if (s) s->~ModuleState();
    s = nullptr;
  }
  if (s == nullptr) return luaL_error(L, "korvo: out of memory");
  if (luaL_newmetatable(L, kStateType)) {
    lua_pushcfunction(L, collect);
    lua_setfield(L, -2, "__gc");
  }
  lua_setmetatable(L, -2);

  const luaL_Reg functions[] = {{"setup", setup},
                                {"text", text},
                                {"tooltip", tooltip},
                                {"shutdown", shutdown},
                                {nullptr, nullptr}};
  luaL_newlibtable(L, functions);
  lua_pushvalue(L, -2);  // the state, shared by every function as upvalue 1
  luaL_setfuncs(L, functions, 1);
  return 1;
}
