#pragma once

#include <string>
#include <vector>

#include "platform/log_text.h"

// `source`, a designed text marked for lupdate with QT_TRANSLATE_NOOP in
// `context`, with %1, %2, ... replaced by `arguments` (in one pass, so that
// an argument's own "%2" stays as it is): as designed, and as the installed
// translators give it.
LogText TranslatedLogText(const char* context, const char* source,
                          const std::vector<std::string>& arguments = {});

// The same in the interface's language only (a prompt's text).
std::string TranslatedText(const char* context, const char* source,
                           const std::vector<std::string>& arguments = {});
