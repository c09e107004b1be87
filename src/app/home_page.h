#pragma once

#include <QUrl>
#include <filesystem>

// The address "ホームページ(&H)" opens: the README that came with this copy.
// An installed copy (<prefix>/bin/quillomat) has it in
// <prefix>/share/doc/quillomat/README.md; a copy run from its build tree
// uses the README of the source tree it was built from.
QUrl HomePageUrl();

// The same for an executable in `executable_dir` and a source tree README at
// `source_readme`: the installed README when it exists, else the source
// README when it exists, else where the installed one belongs.
QUrl HomePageUrlFor(const std::filesystem::path& executable_dir,
                    const std::filesystem::path& source_readme);
