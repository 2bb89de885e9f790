# The Windows build (mingw-w64): everything is linked statically, so
# korvo.dll and the programs need nothing beside them but system DLLs, and
# TinyXML is compiled from Debian's source package, unpacked with its
# patches by scripts/fetch-tinyxml-source.
add_link_options(-static -static-libgcc -static-libstdc++)
# The DLL a user installs carries no symbols (a debug build keeps them).
add_link_options($<$<NOT:$<CONFIG:Debug>>:-s>)
# The dialog template of korvo.dll is a resource script.
enable_language(RC)

set(KORVO_TINYXML_SOURCE_DIR "${CMAKE_SOURCE_DIR}/build-win-src/tinyxml-2.6.2"
    CACHE PATH "TinyXML 2.6.2 sources as Debian ships them")
if(NOT EXISTS "${KORVO_TINYXML_SOURCE_DIR}/tinyxml.h")
  message(FATAL_ERROR "No TinyXML sources in ${KORVO_TINYXML_SOURCE_DIR}: "
                      "run scripts/fetch-tinyxml-source first (make windows does)")
endif()
add_library(korvo_tinyxml STATIC
  ${KORVO_TINYXML_SOURCE_DIR}/tinyxml.cpp
  ${KORVO_TINYXML_SOURCE_DIR}/tinyxmlerror.cpp
  ${KORVO_TINYXML_SOURCE_DIR}/tinyxmlparser.cpp
  ${KORVO_TINYXML_SOURCE_DIR}/tinystr.cpp)
# Debian's header defines TIXML_USE_STL itself; say it here as well so the
# library and its users can never disagree.
target_compile_definitions(korvo_tinyxml PUBLIC TIXML_USE_STL)
target_include_directories(korvo_tinyxml SYSTEM PUBLIC ${KORVO_TINYXML_SOURCE_DIR})
target_compile_options(korvo_tinyxml PRIVATE -w)
add_library(korvo::tinyxml ALIAS korvo_tinyxml)

# nlohmann/json is header-only: Debian's headers (nlohmann-json3-dev, the
# same files for every architecture) are copied into the build tree, so
# that the cross compiler sees them without the rest of /usr/include.
set(KORVO_JSON_HEADER_DIR "/usr/include/nlohmann"
    CACHE PATH "The nlohmann/json headers as Debian's nlohmann-json3-dev installs them")
if(NOT EXISTS "${KORVO_JSON_HEADER_DIR}/json.hpp")
  message(FATAL_ERROR "No nlohmann/json.hpp in ${KORVO_JSON_HEADER_DIR}: "
                      "run scripts/install-windows-deps first (make windows does)")
endif()
file(COPY "${KORVO_JSON_HEADER_DIR}/" DESTINATION "${CMAKE_BINARY_DIR}/nlohmann-json/nlohmann")
add_library(korvo_json INTERFACE)
target_include_directories(korvo_json SYSTEM INTERFACE "${CMAKE_BINARY_DIR}/nlohmann-json")
add_library(korvo::json ALIAS korvo_json)
