#pragma once
// Internal to the engine host: the engine's own library code, kept compiled between
// starts in the user's cache folder.

#include <jsapi.h>

// JS::InitSelfHostedCode for a new context: from the kept compiled form when there is
// a sound one for this engine library, else compiling it and keeping the result. A
// cache that is missing, stale, damaged or cannot be written only costs the compile.
[[nodiscard]] bool InitEngineLibraryCode(JSContext* cx);
