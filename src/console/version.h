// The program's version; the build sets it from the project's one version number.
#pragma once

#ifndef QUELBRO_VERSION
#define QUELBRO_VERSION "unknown"
#endif

namespace quelbro {

inline constexpr const char* kVersion = QUELBRO_VERSION;

}  // namespace quelbro
