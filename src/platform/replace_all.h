#pragma once

#include <string>
#include <string_view>

// Replaces every occurrence of `marker` in `text`, left to right; inserted
// text is not searched again. An empty marker changes nothing.
void ReplaceAll(std::string& text, std::string_view marker, std::string_view replacement);
