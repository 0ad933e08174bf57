// The maker's web address behind the settings dialog's link, and the short text it shows.
#pragma once

inline constexpr const char* makerUrl = "https://velloran.example/tarnwick";
inline constexpr const char* makerUrlText = "velloran.example/tarnwick";
