#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "publish/publish_target.h"

// One remote, one diary: the first diary to publish to a remote leaves its
// mark at the remote's top, a file named after its identity; a remote with
// another diary's mark is not this diary's to send to or delete from.

inline constexpr std::string_view kMarkPrefix = ".quillomat-diary-";

// The diary's identity in `file` (32 hex digits), made there when there is
// none; empty with the reason when it cannot be read or made. A file there
// that holds no identity is never replaced.
std::string DiaryIdentity(const std::string& file, std::string& why);
// The mark's name for `identity`.
std::string MarkName(const std::string& identity);

enum class MarkState { kNone, kOurs, kAnother };
// What the top of the remote tells; `another` names another diary's mark.
MarkState ReadMark(const std::vector<RemoteEntry>& top, const std::string& identity,
                   std::string& another);
