#pragma once

#include <string>
#include <string_view>

class NoticeSink;

// The page as it goes to disk: CP932, characters CP932 lacks as numeric
// character references, every "\n" as CR LF.
std::string EncodePage(std::string_view utf8);

// Writes the page so that a reader never sees half of it; on failure the
// previous page stays, notice 258 is posted and the result is false.
bool WritePageFile(const std::string& path, std::string_view utf8, NoticeSink& notices);

// A file or folder name as it may stand in a relative link: characters that
// would end the attribute, start a tag or change the meaning of the address
// are percent-encoded. Names the diary makes itself pass unchanged.
std::string LinkText(std::string_view name);

// Thumbnail side: side * percent / 100 in 32-bit arithmetic, truncated toward zero.
int ThumbnailSide(int side, int percent);
