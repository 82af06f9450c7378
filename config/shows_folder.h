// The folder of presentations of [web] shows=: what the web remote lists and
// opens by name, and where a backup finds the file its main opened.
#pragma once

#include <string>
#include <vector>

// The names (UTF-8) of the presentations in `folder` that OPEN can name:
// those that the program's code page holds.
std::vector<std::string> ShowNames(const std::string& folder);

// The path by which OPEN names the show `name` (UTF-8) of `folder`: in the
// program's code page, a relative folder taken from the working directory.
std::string ShowPath(const std::string& folder, const std::string& name);
