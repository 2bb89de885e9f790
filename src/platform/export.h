#pragma once
// How an entry point of the plug-in is declared for the host.
#ifdef _WIN32
#define KORVO_API extern "C" __declspec(dllexport)
#else
#define KORVO_API extern "C" __attribute__((visibility("default")))
#endif
